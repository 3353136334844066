#include "chart/UniqueNames.h"

namespace chart {

// Names are only ever added, so a number once found taken stays taken.
std::optional<std::string> UniqueNames::next() {
    for (; number_ <= last; ++number_) {
        std::string candidate = prefix_ + "0000";
        for (unsigned rest = number_, at = 0; rest != 0; rest /= 10, ++at)
            candidate[candidate.size() - 1 - at] = static_cast<char>('0' + rest % 10);
        if (taken_.insert(candidate).second) {
            ++number_;
            return candidate;
        }
    }
    return std::nullopt;
}

} // namespace chart
