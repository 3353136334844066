#include "mux/LineFilter.h"

#include <algorithm>
#include <cctype>

namespace {

char upper(char c) {
    return char(std::toupper(uint8_t(c)));
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(uint8_t(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(uint8_t(text.back())))
        text.remove_suffix(1);
    return text;
}

} // namespace

LineFilter::LineFilter(std::string_view text) {
    for (char c : trimmed(text))
        text_ += upper(c);
    const bool wild = text_.find_first_of("?-") != std::string::npos;
    pattern_ = text_.size() == 5 && wild && std::all_of(text_.begin(), text_.end(), [](char c) {
                   return std::isalnum(uint8_t(c)) || c == '?' || c == '-';
               });
}

bool LineFilter::matches(std::string_view line) const {
    if (text_.empty())
        return true;
    if (pattern_) {
        if (line.size() < 6 || (line[0] != '$' && line[0] != '!'))
            return false;
        for (size_t k = 0; k < 5; ++k)
            if (text_[k] != '?' && text_[k] != '-' && text_[k] != upper(line[k + 1]))
                return false;
        return true;
    }
    auto found = std::search(line.begin(), line.end(), text_.begin(), text_.end(),
                             [](char a, char b) { return upper(a) == b; });
    return found != line.end();
}
