#include "mux/MonitorPreferences.h"

#include "support/Settings.h"

#include <algorithm>
#include <cmath>

MonitorPreferences MonitorPreferences::load() {
    MonitorPreferences p;
    if (auto lines = Settings::number("monitorScrollback"); lines && std::isfinite(*lines) && *lines > 0)
        p.scrollback = size_t(std::min(*lines, double(Scrollback::kLargest)));
    p.look.time = Settings::boolean("monitorShowTime").value_or(false);
    p.look.errors = Settings::boolean("monitorShowErrors").value_or(false);
    p.look.sent = Settings::boolean("monitorShowSent").value_or(false);
    p.look.filter = Settings::text("monitorFilter").value_or("");
    return p;
}

void MonitorPreferences::save() const {
    Settings::setItem("monitorScrollback", SettingValue(int64_t(scrollback)));
    Settings::setItem("monitorShowTime", SettingValue(look.time));
    Settings::setItem("monitorShowErrors", SettingValue(look.errors));
    Settings::setItem("monitorShowSent", SettingValue(look.sent));
    Settings::setItem("monitorFilter", SettingValue(look.filter));
}
