#pragma once
// The monitor's preferences: the scrollback's length and the view options, all off unless the
// user turned them on. Keys: "monitorScrollback" (lines), "monitorShowTime", "monitorShowErrors",
// "monitorShowSent" (booleans), "monitorFilter" (text).

#include "mux/MonitorView.h"

#include <cstddef>

struct MonitorPreferences {
    size_t scrollback = Scrollback::kDefaultLimit;
    MonitorLook look;

    static MonitorPreferences load();
    void save() const;
};
