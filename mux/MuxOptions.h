#pragma once
// What the window's controller is given: the program, its timings, and the parts of the machine
// that tests and the demonstration replace (ports, dialogs, the beep, the program's end).

#include "mux/FileDialog.h"
#include "mux/MuxCore.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The core's own (CoreOptions: program, timings, port opener, the program's end), and the window's.
struct MuxOptions : CoreOptions {
    std::chrono::milliseconds captureTime{10000}; // how long a capture gathers, at least
    std::chrono::milliseconds frameInterval{0};   // the monitor's frame; 0: the screen's refresh
    std::chrono::milliseconds fileStatus{250};    // how often the log files' progress is shown
    // The capture's and the Sentences view's clock; the steady clock when not set.
    std::function<std::chrono::steady_clock::time_point()> clock;
    // The time of day the monitor gives each line; the system's when not set.
    std::function<std::chrono::system_clock::time_point()> wallClock;
    // The machine's serial ports (short names); the system's listing when not set.
    std::function<std::vector<std::string>()> listPorts;
    // Ports the listing cannot know (a pseudo-terminal, a symbolic link), offered as items.
    std::vector<std::string> extraPorts;
    // Selected after the preferences were loaded, as if the user had picked it.
    std::optional<std::string> selectPort;
    // The system beep.
    std::function<void()> beep;
    // The open and save dialogs of Send File and Record; the real ones when not set.
    FileChooser chooseFile;
};
