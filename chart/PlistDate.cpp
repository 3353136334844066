#include "chart/PlistDate.h"

#include "support/Plist.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace chart {

namespace {

// "bplist00", a date object (0x33, a big-endian double of seconds since 2001), the offset table
// and the trailer: one object, one-byte offsets and references, the table at byte 17.
constexpr size_t dateAt = 9, tableAt = 17;

std::string binaryDate(double since2001) {
    std::string bytes = "bplist00";
    bytes += '\x33';
    uint64_t bits = 0;
    std::memcpy(&bits, &since2001, sizeof bits);
    for (int shift = 56; shift >= 0; shift -= 8)
        bytes += static_cast<char>((bits >> shift) & 0xFF);
    bytes += static_cast<char>(8); // the object's offset
    bytes.append(6, '\0');
    bytes += '\1'; // offset size
    bytes += '\1'; // reference size
    for (uint64_t value : {uint64_t{1}, uint64_t{0}, uint64_t{tableAt}})
        for (int shift = 56; shift >= 0; shift -= 8)
            bytes += static_cast<char>((value >> shift) & 0xFF);
    return bytes;
}

} // namespace

plist_t newPlistDate(ChartDate date) {
    if (!std::isfinite(date))
        return nullptr;
    const std::string bytes = binaryDate(date - static_cast<double>(support::plistDateEpoch));
    plist_t node = nullptr;
    plist_from_bin(bytes.data(), static_cast<uint32_t>(bytes.size()), &node);
    return node;
}

std::optional<ChartDate> plistDateValue(plist_t node) {
    if (support::plistKind(node) != support::PlistKind::Date)
        return std::nullopt;
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(node, &bytes, &length);
    std::optional<ChartDate> date;
    if (bytes && length >= dateAt + 8 && static_cast<unsigned char>(bytes[dateAt - 1]) == 0x33) {
        uint64_t bits = 0;
        for (size_t i = 0; i < 8; ++i)
            bits = (bits << 8) | static_cast<unsigned char>(bytes[dateAt + i]);
        double since2001 = 0.0;
        std::memcpy(&since2001, &bits, sizeof since2001);
        if (std::isfinite(since2001))
            date = since2001 + static_cast<double>(support::plistDateEpoch);
    }
    std::free(bytes);
    return date;
}

} // namespace chart
