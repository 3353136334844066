#include "nav/UnitsModel.h"

#include "support/Settings.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

UnitsModel& UnitsModel::units() {
    static UnitsModel shared;
    return shared;
}

void UnitsModel::saveSettings() const {
    const std::pair<const char*, unsigned> values[] = {
        {"positionFormatUnits", positionFormatUnits_},
        {"surfaceDistanceUnits", surfaceDistanceUnits_},
        {"waterDepthUnits", waterDepthUnits_},
        {"boatSpeedUnits", boatSpeedUnits_},
        {"windSpeedUnits", windSpeedUnits_},
        {"temperatureUnits", temperatureUnits_},
        {"modeUnits", modeUnits_},
    };
    for (const auto& [key, value] : values)
        Settings::setItem(std::string(key), SettingValue(static_cast<int64_t>(value)));
}

void UnitsModel::loadSettings() {
    struct Slot {
        const char* key;
        unsigned* field;
        unsigned validCodes;
    };
    const Slot slots[] = {
        {"positionFormatUnits", &positionFormatUnits_, 4},
        {"surfaceDistanceUnits", &surfaceDistanceUnits_, 5},
        {"waterDepthUnits", &waterDepthUnits_, 3},
        {"boatSpeedUnits", &boatSpeedUnits_, 3},
        {"windSpeedUnits", &windSpeedUnits_, 4},
        {"temperatureUnits", &temperatureUnits_, 3},
        {"modeUnits", &modeUnits_, 3},
    };
    for (const Slot& slot : slots) {
        const std::optional<double> stored = Settings::number(slot.key);
        if (!stored)
            continue;
        // Negative, fractional-but-out-of-range and non-finite values all fall back to code 0.
        const double v = *stored;
        *slot.field = (std::isfinite(v) && v >= 0.0 && v < slot.validCodes) ? static_cast<unsigned>(v) : 0u;
    }
}
