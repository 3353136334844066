#include "mux/protocol/Filter.h"

#include <algorithm>
#include <cctype>

void Filter::setSentence(const std::optional<std::string>& text) {
    if (!text) {
        sentenceString_.reset();
        return;
    }
    std::string upper = *text;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    if (upper.size() == 2)
        upper += "---";
    else if (upper.size() == 3)
        upper = "--" + upper;
    sentenceString_ = std::move(upper);
}

std::string Filter::flagString() const {
    std::string flags;
    for (bool f : {usb, channel1, channel2, channel3, channel4})
        flags += f ? '1' : '0';
    return flags;
}

bool filterSortBySentence(const Filter& a, const Filter& b) {
    const std::string& x = a.sentence() ? *a.sentence() : std::string();
    const std::string& y = b.sentence() ? *b.sentence() : std::string();
    return std::lexicographical_compare(
        x.begin(), x.end(), y.begin(), y.end(),
        [](unsigned char p, unsigned char q) { return std::tolower(p) < std::tolower(q); });
}
