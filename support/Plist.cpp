#include "support/Plist.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace support {

PlistKind plistKind(plist_t node) {
    if (!node)
        return PlistKind::Other;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN:
        return PlistKind::Boolean;
    case PLIST_UINT:
        return PlistKind::Integer;
    case PLIST_REAL:
        return PlistKind::Real;
    case PLIST_STRING:
        return PlistKind::Text;
    case PLIST_ARRAY:
        return PlistKind::Array;
    case PLIST_DICT:
        return PlistKind::Dictionary;
    case PLIST_DATE:
        return PlistKind::Date;
    case PLIST_DATA:
        return PlistKind::Data;
    default:
        return PlistKind::Other;
    }
}

bool forEachEntry(plist_t dictionary, const std::function<bool(const std::string&, plist_t)>& visit) {
    if (plistKind(dictionary) != PlistKind::Dictionary)
        return false;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(dictionary, &it);
    std::unique_ptr<void, decltype(&std::free)> iterator(it, &std::free);
    for (;;) {
        plist_t value = nullptr;
        // The key is read from its own node: the combined read asserts on a key that is not text.
        plist_dict_next_item(dictionary, it, nullptr, &value);
        if (!value)
            return true;
        plist_t keyNode = plist_dict_item_get_key(value);
        if (!keyNode || plist_get_node_type(keyNode) != PLIST_KEY)
            return false;
        char* name = nullptr;
        plist_get_key_val(keyNode, &name);
        if (!name)
            return false;
        std::string key(name);
        std::free(name);
        if (!visit(key, value))
            return false;
    }
}

std::optional<std::string> plistText(plist_t node) {
    if (plistKind(node) != PlistKind::Text)
        return std::nullopt;
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return std::string(text ? text : "", text ? size_t(length) : 0);
}

namespace {

// Depth of XML element nesting, counted cheaply before the parser sees the text. Counts every
// opening tag that is not self-closing, a declaration, comment or closing tag; an over-estimate
// is harmless.
bool xmlNestingWithin(const std::string& text, int limit) {
    int depth = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '<')
            continue;
        char next = text[i + 1];
        if (next == '/') {
            if (depth > 0)
                --depth;
        } else if (next != '?' && next != '!') {
            size_t close = text.find('>', i);
            if (close == std::string::npos)
                return true; // the parser rejects it
            if (text[close - 1] != '/' && ++depth > limit)
                return false;
            i = close;
        }
    }
    return true;
}

// The binary reader follows object references recursively and copies an object each time it is
// referenced, so a small file can nest without end or expand enormously. The object graph is
// checked first: no cycles, bounded depth and a bounded number of nodes once expanded.
class BinaryShape {
public:
    explicit BinaryShape(const std::string& bytes)
        : data_(reinterpret_cast<const uint8_t*>(bytes.data())), size_(bytes.size()) {}

    bool acceptable() {
        if (size_ < 8 + 32)
            return false;
        const uint8_t* trailer = data_ + size_ - 32;
        offsetSize_ = trailer[6];
        refSize_ = trailer[7];
        uint64_t objects = readBE(trailer + 8, 8), top = readBE(trailer + 16, 8),
                 table = readBE(trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8 || objects == 0 ||
            top >= objects || objects > size_ || table >= size_ || (size_ - table) / offsetSize_ < objects)
            return false;
        count_ = objects;
        table_ = table;
        memo_.assign(objects, Unvisited);
        nodes_.assign(objects, 0);
        return visit(top, 0) && nodes_[top] <= maxNodes;
    }

private:
    static constexpr uint64_t maxNodes = 1u << 20;
    enum : uint8_t { Unvisited, OnPath, Done };

    static uint64_t readBE(const uint8_t* p, unsigned n) {
        uint64_t v = 0;
        for (unsigned i = 0; i < n; ++i)
            v = v << 8 | p[i];
        return v;
    }

    bool visit(uint64_t index, int depth) {
        if (depth > maxPlistDepth || memo_[index] == OnPath)
            return false;
        if (memo_[index] == Done)
            return true;
        memo_[index] = OnPath;
        uint64_t offset = readBE(data_ + table_ + index * offsetSize_, offsetSize_);
        if (offset < 8 || offset >= size_ - 32)
            return false;
        uint8_t marker = data_[offset];
        unsigned type = marker >> 4;
        uint64_t total = 1;
        if (type == 0xA || type == 0xC || type == 0xD) {
            uint64_t count = marker & 0xF;
            uint64_t refs = offset + 1;
            if (count == 0xF) {
                if (refs >= size_ || (data_[refs] >> 4) != 0x1)
                    return false;
                unsigned width = 1u << (data_[refs] & 0xF);
                if (width > 8 || refs + 1 + width > size_)
                    return false;
                count = readBE(data_ + refs + 1, width);
                refs += 1 + width;
            }
            uint64_t entries = type == 0xD ? count * 2 : count;
            if (count > size_ || entries > (size_ - refs) / refSize_)
                return false;
            for (uint64_t i = 0; i < entries; ++i) {
                uint64_t child = readBE(data_ + refs + i * refSize_, refSize_);
                if (child >= count_ || !visit(child, depth + 1))
                    return false;
                total += nodes_[child];
                if (total > maxNodes)
                    return false;
            }
        }
        nodes_[index] = total;
        memo_[index] = Done;
        return true;
    }

    const uint8_t* data_;
    size_t size_;
    unsigned offsetSize_ = 0, refSize_ = 0;
    uint64_t count_ = 0, table_ = 0;
    std::vector<uint8_t> memo_;
    std::vector<uint64_t> nodes_;
};

bool isBinary(const std::string& bytes) {
    return bytes.size() >= 8 && bytes.compare(0, 8, "bplist00") == 0;
}

// The binary form references objects by index; a hostile file can nest them deeply, and the
// reader accepts dictionary keys that are not text, which the library's own dictionary
// functions then trip over. Such a tree is refused whole.
bool wellFormed(plist_t node, int depth) {
    if (depth > maxPlistDepth)
        return false;
    if (plist_get_node_type(node) == PLIST_ARRAY) {
        uint32_t n = plist_array_get_size(node);
        for (uint32_t i = 0; i < n; ++i) {
            plist_t item = plist_array_get_item(node, i);
            if (!item || !wellFormed(item, depth + 1))
                return false;
        }
    } else if (plist_get_node_type(node) == PLIST_DICT) {
        return forEachEntry(
            node, [depth](const std::string&, plist_t value) { return wellFormed(value, depth + 1); });
    }
    return true;
}

} // namespace

std::optional<Plist> parsePlist(const std::string& bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max() / 2)
        return std::nullopt;
    plist_t root = nullptr;
    if (isBinary(bytes)) {
        // The binary reader keeps lengths that its own accessors later assert on (keys with
        // NUL bytes, keys that are not text); the XML form of the tree is read back instead.
        if (!BinaryShape(bytes).acceptable())
            return std::nullopt;
        plist_from_bin(bytes.data(), uint32_t(bytes.size()), &root);
        if (!root)
            return std::nullopt;
        std::string xml = toXml(Plist(root).get());
        return xml.empty() ? std::nullopt : parsePlist(xml);
    } else {
        if (!xmlNestingWithin(bytes, maxPlistDepth + 4))
            return std::nullopt;
        plist_from_xml(bytes.data(), uint32_t(bytes.size()), &root);
    }
    if (!root)
        return std::nullopt;
    Plist owned(root);
    if (!wellFormed(root, 0))
        return std::nullopt;
    return owned;
}

std::string toXml(plist_t node) {
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node, &xml, &length);
    std::string text = xml ? std::string(xml, length) : std::string();
    plist_to_xml_free(xml);
    return text;
}

std::map<std::string, std::string, std::less<>> stringEntries(plist_t dictionary) {
    std::map<std::string, std::string, std::less<>> entries;
    forEachEntry(dictionary, [&entries](const std::string& key, plist_t value) {
        if (auto text = plistText(value))
            entries.insert_or_assign(key, std::move(*text));
        return true;
    });
    return entries;
}

} // namespace support
