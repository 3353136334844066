#pragma once
// Text rules shared by the chart records and models: trimming, the name order, and the
// case-insensitive matching of the waypoint search. Texts are UTF-8, folded by Unicode's case
// folding; bytes that are not UTF-8 compare as they are.

#include <string>
#include <string_view>

namespace chart {

// Without blanks (space, tab, line feed, carriage return, vertical tab, form feed) at both ends.
std::string trimBlanks(std::string_view text);

// Case-insensitive, with each run of digits compared by its numeric value: "wp2" before "WP10".
// Runs of equal value but different length ("7" and "007") order the shorter first, and texts
// equal in that order fall back to plain byte order, so the order is total.
int compareNames(std::string_view a, std::string_view b);
inline bool nameLess(std::string_view a, std::string_view b) {
    return compareNames(a, b) < 0;
}

// The text case-folded (for repeated matching): "Байкал" and "БАЙКАЛ" fold alike.
std::string foldCase(std::string_view text);
// Both on folded texts.
inline bool beginsWith(std::string_view folded, std::string_view foldedPattern) {
    return folded.substr(0, foldedPattern.size()) == foldedPattern;
}
inline bool contains(std::string_view folded, std::string_view foldedPattern) {
    return folded.find(foldedPattern) != std::string_view::npos;
}

// Number of characters (code points; a stray byte counts as one).
size_t characterCount(std::string_view text);

} // namespace chart
