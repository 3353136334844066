#include "chart/UniqueNames.h"

namespace chart {

void UniqueNames::take(std::string_view name) {
    if (name.size() != prefix_.size() + 4 || name.substr(0, prefix_.size()) != prefix_)
        return;
    unsigned number = 0;
    for (char c : name.substr(prefix_.size())) {
        if (c < '0' || c > '9')
            return;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    taken_.set(number);
}

// Names are only ever added, so a number once found taken stays taken.
std::optional<std::string> UniqueNames::next() {
    for (; number_ <= last; ++number_) {
        if (taken_.test(number_))
            continue;
        taken_.set(number_);
        std::string name = prefix_ + "0000";
        for (unsigned rest = number_, at = 0; rest != 0; rest /= 10, ++at)
            name[name.size() - 1 - at] = static_cast<char>('0' + rest % 10);
        ++number_;
        return name;
    }
    return std::nullopt;
}

} // namespace chart
