#include "chart/UniqueNames.h"

#include <cstdio>

namespace chart {

// Names are only ever added, so a number once found taken stays taken.
std::optional<std::string> UniqueNames::next() {
    for (; number_ <= last; ++number_) {
        char name[16];
        std::snprintf(name, sizeof name, "%04u", number_);
        std::string candidate = prefix_ + name;
        if (taken_.count(candidate) == 0) {
            taken_.insert(candidate);
            ++number_;
            return candidate;
        }
    }
    return std::nullopt;
}

} // namespace chart
