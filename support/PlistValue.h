#pragma once
// The preference store's values in and out of property-list nodes.

#include "support/Plist.h"
#include "support/Settings.h"

#include <optional>

namespace support {

// Node to value; nothing for types the store does not keep (data, UID) or too deep nesting.
// Elements of those types inside arrays and dictionaries are left out.
std::optional<SettingValue> toSettingValue(plist_t node, int depth = 0);
Plist fromSettingValue(const SettingValue& value);

} // namespace support
