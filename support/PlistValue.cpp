#include "support/PlistValue.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

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

bool isBinary(const std::string& bytes) {
    return bytes.size() >= 8 && bytes.compare(0, 8, "bplist00") == 0;
}

// The binary form references objects by index; a hostile file can nest them (or loop) deeply.
int plistDepth(plist_t node, int depth) {
    if (depth > maxPlistDepth)
        return depth;
    int deepest = depth;
    if (plist_get_node_type(node) == PLIST_ARRAY) {
        uint32_t n = plist_array_get_size(node);
        for (uint32_t i = 0; i < n && deepest <= maxPlistDepth; ++i)
            deepest = std::max(deepest, plistDepth(plist_array_get_item(node, i), depth + 1));
    } else if (plist_get_node_type(node) == PLIST_DICT) {
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            std::free(key);
            if (!value || deepest > maxPlistDepth)
                break;
            deepest = std::max(deepest, plistDepth(value, depth + 1));
        }
        std::free(it);
    }
    return deepest;
}

} // namespace

std::optional<Plist> parsePlist(const std::string& bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max() / 2)
        return std::nullopt;
    plist_t root = nullptr;
    if (isBinary(bytes)) {
        plist_from_bin(bytes.data(), uint32_t(bytes.size()), &root);
    } else {
        if (!xmlNestingWithin(bytes, maxPlistDepth + 4))
            return std::nullopt;
        plist_from_xml(bytes.data(), uint32_t(bytes.size()), &root);
    }
    if (!root)
        return std::nullopt;
    Plist owned(root);
    if (plistDepth(root, 0) > maxPlistDepth)
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

std::optional<SettingValue> toSettingValue(plist_t node, int depth) {
    if (!node || depth > maxPlistDepth)
        return std::nullopt;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return SettingValue(value != 0);
    }
    case PLIST_UINT: {
        // Stored as the 64-bit pattern; the XML form writes it signed.
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return SettingValue(static_cast<int64_t>(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return SettingValue(value);
    }
    case PLIST_STRING: {
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return SettingValue(std::string(text ? text : "", text ? size_t(length) : 0));
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        auto since1970 =
            std::chrono::seconds(int64_t(sec) + plistDateEpoch) + std::chrono::microseconds(usec);
        return SettingValue(SettingDate(std::chrono::duration_cast<SettingDate::duration>(since1970)));
    }
    case PLIST_ARRAY: {
        SettingArray array;
        uint32_t n = plist_array_get_size(node);
        array.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            if (auto item = toSettingValue(plist_array_get_item(node, i), depth + 1))
                array.push_back(std::move(*item));
        }
        return SettingValue(std::move(array));
    }
    case PLIST_DICT: {
        SettingDictionary dictionary;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            if (!value) {
                std::free(key);
                break;
            }
            std::string name = key ? key : "";
            std::free(key);
            if (auto item = toSettingValue(value, depth + 1))
                dictionary.insert_or_assign(std::move(name), std::move(*item));
        }
        std::free(it);
        return SettingValue(std::move(dictionary));
    }
    default:
        return std::nullopt;
    }
}

namespace {

plist_t newDate(SettingDate date) {
    // Property-list dates are 32-bit seconds from 2001 (years 1933 to 2069); later or earlier
    // dates are held at the nearest end rather than wrapped.
    auto micros = std::chrono::duration_cast<std::chrono::microseconds>(date.time_since_epoch()).count();
    int64_t sec = micros / 1000000;
    int64_t usec = micros % 1000000;
    if (usec < 0) {
        usec += 1000000;
        sec -= 1;
    }
    sec -= plistDateEpoch;
    if (sec > std::numeric_limits<int32_t>::max()) {
        sec = std::numeric_limits<int32_t>::max();
        usec = 0;
    } else if (sec < std::numeric_limits<int32_t>::min()) {
        sec = std::numeric_limits<int32_t>::min();
        usec = 0;
    }
    return plist_new_date(int32_t(sec), int32_t(usec));
}

struct ToNode {
    plist_t operator()(bool value) const { return plist_new_bool(value ? 1 : 0); }
    plist_t operator()(int64_t value) const { return plist_new_uint(static_cast<uint64_t>(value)); }
    plist_t operator()(double value) const { return plist_new_real(value); }
    plist_t operator()(const std::string& value) const { return plist_new_string(value.c_str()); }
    plist_t operator()(const SettingDate& value) const { return newDate(value); }
    plist_t operator()(const SettingArray& value) const {
        plist_t array = plist_new_array();
        for (const SettingValue& item : value)
            plist_array_append_item(array,
                                    std::visit(*this, static_cast<const SettingValue::variant&>(item)));
        return array;
    }
    plist_t operator()(const SettingDictionary& value) const {
        plist_t dictionary = plist_new_dict();
        for (const auto& [key, item] : value)
            plist_dict_set_item(dictionary, key.c_str(),
                                std::visit(*this, static_cast<const SettingValue::variant&>(item)));
        return dictionary;
    }
};

} // namespace

Plist fromSettingValue(const SettingValue& value) {
    return Plist(std::visit(ToNode{}, static_cast<const SettingValue::variant&>(value)));
}

std::map<std::string, std::string, std::less<>> stringEntries(plist_t dictionary) {
    std::map<std::string, std::string, std::less<>> entries;
    if (plistKind(dictionary) != PlistKind::Dictionary)
        return entries;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(dictionary, &it);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dictionary, it, &key, &value);
        if (!value) {
            std::free(key);
            break;
        }
        if (key && plist_get_node_type(value) == PLIST_STRING) {
            uint64_t length = 0;
            const char* text = plist_get_string_ptr(value, &length);
            entries.insert_or_assign(key, std::string(text ? text : "", text ? size_t(length) : 0));
        }
        std::free(key);
    }
    std::free(it);
    return entries;
}

} // namespace support
