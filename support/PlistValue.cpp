#include "support/PlistValue.h"

#include <limits>

namespace support {

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
    case PLIST_STRING:
        return SettingValue(*plistText(node));
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
        forEachEntry(node, [&dictionary, depth](const std::string& key, plist_t value) {
            if (auto item = toSettingValue(value, depth + 1))
                dictionary.insert_or_assign(key, std::move(*item));
            return true;
        });
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

} // namespace support
