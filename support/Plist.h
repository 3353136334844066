#pragma once
// libplist glue: an owning handle, parsing with limits, the XML form, and one walk over a
// dictionary's entries. Knows nothing of what the trees hold (preferences, string tables, models).

#include <cstdint>
#include <functional>
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

// Calls visit(key, value) for each entry in the dictionary's order until it returns false.
// False when the node is no dictionary, a key is not text, or visit stopped the walk.
bool forEachEntry(plist_t dictionary, const std::function<bool(const std::string&, plist_t)>& visit);

// A text node's contents; nothing for any other kind of node.
std::optional<std::string> plistText(plist_t node);

// The text entries of a dictionary (string tables).
std::map<std::string, std::string, std::less<>> stringEntries(plist_t dictionary);

// Seconds between 1970-01-01 and 2001-01-01, the epoch of property-list dates.
inline constexpr int64_t plistDateEpoch = 978307200;

} // namespace support
