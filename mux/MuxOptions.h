#pragma once
// What the window's controller is given: the program, its timings, and the parts of the machine
// that tests and the demonstration replace (ports, dialogs, the beep, the program's end).

#include "mux/FileDialog.h"
#include "mux/Reader.h"
#include "mux/protocol/Descriptor.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct MuxOptions {
    MuxVariant variant = MuxVariant::Current;
    std::chrono::milliseconds startDelay{2000};     // before the reader's first port open
    std::chrono::milliseconds sanityInterval{5000}; // the timer that keeps the device queried
    std::chrono::milliseconds idleSleep{1000};      // the reader's longest sleep while no port is open
    std::chrono::milliseconds silence{5000};        // a read that waited this long came back empty
    std::chrono::milliseconds retryFirst{1000};     // a lost port is tried again after this, doubling ...
    std::chrono::milliseconds retryLongest{4000};   // ... up to this
    std::chrono::milliseconds captureTime{10000};   // how long a capture gathers, at least
    std::chrono::milliseconds frameInterval{0};     // the monitor's frame; 0: the screen's refresh
    std::chrono::milliseconds fileStatus{250};      // how often the log files' progress is shown
    std::chrono::milliseconds recordFlush{100};     // a recording reaches its file at least this often
    // The capture's clock; the steady clock when not set.
    std::function<std::chrono::steady_clock::time_point()> clock;
    // The machine's serial ports (short names); the system's listing when not set.
    std::function<std::vector<std::string>()> listPorts;
    // Ports the listing cannot know (a pseudo-terminal, a symbolic link), offered as items.
    std::vector<std::string> extraPorts;
    // Selected after the preferences were loaded, as if the user had picked it.
    std::optional<std::string> selectPort;
    // How the program ends (firmware too old, no ports, window closed, system sleep).
    std::function<void()> terminate;
    // The system beep.
    std::function<void()> beep;
    // Opens a port for the reader; the real serial port when not set.
    Reader::Opener openPort;
    // The open and save dialogs of Send File and Record; the real ones when not set.
    FileChooser chooseFile;
};
