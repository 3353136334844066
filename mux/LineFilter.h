#pragma once
// The monitor's filter: a line is shown when it holds the text, in any letter case, or, for a text
// of five characters with "?" or "-" among letters and digits, when its address matches it as a
// pattern ("GP???": any GPS sentence; "--RMC": RMC from any talker). An empty filter shows all.

#include <string>
#include <string_view>

class LineFilter {
public:
    explicit LineFilter(std::string_view text = {});
    bool empty() const { return text_.empty(); }
    bool isPattern() const { return pattern_; }
    bool matches(std::string_view line) const;

private:
    std::string text_; // upper case
    bool pattern_ = false;
};
