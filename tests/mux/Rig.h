#pragma once
// A console window against a simulated multiplexer, with fast timings and the panels, the beep
// and the program's end observed instead of shown.

#include "mux/MuxController.h"
#include "mux/MuxWindow.h"
#include "sim/SimulatedMux.h"
#include "support/AlertPanels.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct RigOptions {
    MuxVariant variant = MuxVariant::Current;
    MuxFamily family = MuxFamily::ThirdGeneration;
    bool bluetooth = false;
    std::string firmware;
    double traffic = 0;
    bool stableLink = false; // the device's terminal is reached through a symbolic link
    bool selectPort = true;
    bool noPorts = false;  // the machine has no serial port at all
    bool unlisted = false; // the device's port is not among the listed ones

    static RigOptions of(MuxVariant v, MuxFamily f) {
        RigOptions o;
        o.variant = v;
        o.family = f;
        return o;
    }
    RigOptions& withBluetooth(bool on) { return bluetooth = on, *this; }
    RigOptions& withFirmware(std::string text) { return firmware = std::move(text), *this; }
    RigOptions& withTraffic(double perSecond) { return traffic = perSecond, *this; }
    RigOptions& withStableLink(bool on) { return stableLink = on, *this; }
    RigOptions& withSelectPort(bool on) { return selectPort = on, *this; }
    RigOptions& withNoPorts() { return noPorts = true, selectPort = false, *this; }
    RigOptions& withUnlisted() { return unlisted = true, selectPort = false, *this; }
};

class Rig {
public:
    explicit Rig(RigOptions options = {});
    ~Rig();

    MuxController& ctl() { return *controller_; }
    MuxWindow& win() { return controller_->window(); }
    SimulatedMux& sim() { return *sim_; }

    // Waits, running the main loop, until the condition holds; false after the time-out.
    static bool waitFor(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool identified();
    bool waitIdentified() {
        return waitFor([this] { return identified(); });
    }
    // Runs the main loop until neither side has sent anything for a while.
    void settle();

    // Lines the device has read, each with its checksum and line end.
    std::vector<std::string> sentLines();
    // Waits until the device has read this line (the text before the checksum).
    bool waitSent(const std::string& sentence, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Puts a reply on the line, with its checksum and line end.
    void reply(const std::string& sentence);
    QString monitor();

    std::vector<AlertRequest> alerts;
    int terminations = 0;
    int beeps = 0;
    std::string storePath;

private:
    std::string folder_;
    std::unique_ptr<SimulatedMux> sim_;
    std::unique_ptr<MuxController> controller_;
};

// "$PQVXCFQ" -> "$PQVXCFQ*35\r\n".
std::string framed(const std::string& sentence);
