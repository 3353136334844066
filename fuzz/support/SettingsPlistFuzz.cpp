// Bytes as a preference store file: read as the store reads it, every value converted, and the
// store written back must read again.
#include "support/PlistValue.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    auto root = support::parsePlist(bytes);
    if (!root || root->kind() != support::PlistKind::Dictionary)
        return 0;
    auto value = support::toSettingValue(root->get());
    if (!value || !std::holds_alternative<SettingDictionary>(*value))
        std::abort();
    support::Plist rebuilt = support::fromSettingValue(*value);
    std::string xml = support::toXml(rebuilt.get());
    auto again = support::parsePlist(xml);
    if (!again || again->kind() != support::PlistKind::Dictionary)
        std::abort();
    return 0;
}
