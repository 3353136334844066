#pragma once
// libplist glue: an owning handle, parsing with limits, and conversion to and from SettingValue.

#include "support/Settings.h"

#include <map>
#include <memory>
#include <optional>
#include <plist/plist.h>
#include <string>

namespace support {

enum class PlistKind { Boolean, Integer, Real, Text, Array, Dictionary, Date, Data, Other };

PlistKind plistKind(plist_t node);

struct PlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};

// Owns a plist tree (a root node, not one held by a parent).
class Plist {
public:
    Plist() = default;
    explicit Plist(plist_t node) : node_(node) {}
    plist_t get() const { return node_.get(); }
    plist_t release() { return node_.release(); }
    explicit operator bool() const { return node_ != nullptr; }
    PlistKind kind() const { return plistKind(get()); }

private:
    std::unique_ptr<void, PlistFree> node_;
};

// Nesting deeper than this is refused: a hostile file must not exhaust the stack.
inline constexpr int maxPlistDepth = 128;

// Parses XML or binary property-list bytes; nothing for malformed, oversized or too deeply
// nested input.
std::optional<Plist> parsePlist(const std::string& bytes);
std::string toXml(plist_t node);

// Node to value; nothing for types the store does not keep (data, UID) or too deep nesting.
// Elements of those types inside arrays and dictionaries are left out.
std::optional<SettingValue> toSettingValue(plist_t node, int depth = 0);
Plist fromSettingValue(const SettingValue& value);

// The text entries of a dictionary (string tables).
std::map<std::string, std::string, std::less<>> stringEntries(plist_t dictionary);

// Seconds between 1970-01-01 and 2001-01-01, the epoch of property-list dates.
inline constexpr int64_t plistDateEpoch = 978307200;

} // namespace support
