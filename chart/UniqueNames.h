#pragma once
// Unique names for many records at once ("WP0001" .. "WP9999"): the names taken are gathered once
// and each new name goes on from the last one given, so naming n records costs O(n) in all. Only
// a name of the prefix and four digits can be one a record would be given, so the taken ones are
// kept as the bits of their numbers: no set of strings to fill.

#include <bitset>
#include <optional>
#include <string>
#include <string_view>

namespace chart {

class UniqueNames {
public:
    static constexpr unsigned last = 9999;

    explicit UniqueNames(std::string prefix) : prefix_(std::move(prefix)) {}
    // A name some record bears.
    void take(std::string_view name);
    // The first name from the prefix and 1 .. 9999 that no record bears, taken from then on;
    // nothing when all are borne.
    std::optional<std::string> next();

private:
    std::string prefix_;
    std::bitset<last + 1> taken_;
    unsigned number_ = 1;
};

} // namespace chart
