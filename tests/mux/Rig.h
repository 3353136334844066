#pragma once
// A console window against a simulated multiplexer, with short timings, a clock the test moves,
// and the panels, the beep and the program's end observed instead of shown.

#include "mux/MuxController.h"
#include "mux/MuxWindow.h"
#include "mux/panes/ConfigurationPane.h"
#include "mux/panes/DevicePane.h"
#include "mux/panes/FilterPane.h"
#include "mux/panes/LogFilePane.h"
#include "mux/panes/MonitorPane.h"
#include "mux/panes/ServerPane.h"
#include "sim/SimulatedMux.h"
#include "support/AlertPanels.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct RigOptions {
    MuxFamily family = MuxFamily::ThirdGeneration; // the earlier generation runs the legacy program
    bool bluetooth = false;
    std::string firmware{};
    double traffic = 0;
    bool stableLink = false; // the device's terminal is reached through a symbolic link
    bool selectPort = true;
    bool noPorts = false;  // the machine has no serial port at all
    bool unlisted = false; // the device's port is not among the listed ones
    std::vector<MuxFilterEntry> filters{};
    Reader::Opener opener{};
    std::function<void(MuxController&)> beforeStart{}; // observers, preferences
    std::function<void(MuxOptions&)> tune{};           // timings, file dialogs
};

class Rig {
public:
    explicit Rig(RigOptions options = {});
    ~Rig();

    MuxController& ctl() { return *controller_; }
    MuxWindow& win() { return controller_->window(); }
    DevicePane& device() { return *win().device; }
    ConfigurationPane& config() { return *win().configuration; }
    FilterPane& filters() { return *win().filters; }
    MonitorPane& monitorPane() { return *win().monitor; }
    LogFilePane& files() { return *win().files; }
    SimulatedMux& sim() { return *sim_; }
    const std::string& folder() const { return folder_; }

    // Waits, running the main loop, until the condition holds; false after the time-out.
    static bool waitFor(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5));
    bool waitIdentified();
    // Until the device has answered all the console wrote so far and the console has handled
    // the answers (a port must be open).
    void settle();
    // Moves the console's clock on.
    void advance(std::chrono::milliseconds by) { now_ += by; }

    // Lines the device has read, each with its checksum and line end (the rig's own aside).
    std::vector<std::string> sentLines();
    // Waits until the device has read this line (the text before the checksum).
    bool waitSent(const std::string& sentence, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Puts a reply on the line, with its checksum and line end.
    void reply(const std::string& sentence);
    // A reply of its own after the ones before it; returns once the monitor shows it.
    bool barrier();
    QString monitor();

    std::vector<AlertRequest> alerts;
    std::function<void()> duringAlert; // runs while a panel is "open"
    int terminations = 0;
    int beeps = 0;
    std::string storePath;

private:
    std::string folder_;
    std::unique_ptr<SimulatedMux> sim_;
    std::unique_ptr<MuxController> controller_;
    std::chrono::steady_clock::time_point now_ = std::chrono::steady_clock::now();
    int marks_ = 0;
};

// "$PQVXCFQ" -> "$PQVXCFQ*5B\r\n".
std::string framed(const std::string& sentence);
