#pragma once
// A simulated Velmar multiplexer on a pseudo-terminal: keeps the device's state, answers every
// $PQVX query, applies every command, sends overflow and channel-number sentences of its own
// accord, and streams instrument traffic. The console reaches it through its real serial code.

#include "base/Bytes.h"
#include "mux/protocol/MuxFamily.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TrafficSource; // sim/Traffic.h

// A snapshot of what the device holds, for tests.
struct MuxFilterEntry {
    std::string sentence; // five characters, e.g. "--RMC", "GP---", "GPRMC"
    std::string flags;    // five characters "0"/"1": host link, channels 1 to 4
    unsigned frequency = 0;
};

struct SimOptions {
    MuxFamily family = MuxFamily::ThirdGeneration;
    bool bluetooth = false;              // adds flag 0002 to the version reply
    std::string firmware;                // empty: the family's usual version
    double linesPerSecond = 10.0;        // instrument traffic; 0 for none
    std::string logFile;                 // replayed as the traffic when set
    std::string linkPath;                // optional stable path (a symbolic link) kept across unplug/replug
    double statusSeconds = 4.0;          // period of the overflow and channel-number sentences; 0 for none
    std::string deviceName;              // empty: the family's usual name
    std::string serialNumber;            // empty: the family's usual serial number
    std::vector<MuxFilterEntry> filters; // the list the device starts with
    std::shared_ptr<TrafficSource> traffic; // replaces the built-in instruments and logFile when set
    size_t receivedLimit = 4u << 20;        // received() keeps at most this many of the latest bytes
};

struct MuxState {
    std::string firmware, name, serial, flags;
    int hostSpeed = 0, mode = 0;
    int seatalk = 0, priority = 0, channelNumbers = 0, channelIDs = 0, heading = 0, ais = 0;
    std::string realtime = "0000";
    std::vector<std::string> talkerIDs{"", "", "", ""};
    std::vector<int> channelSpeeds{0, 0, 0, 0, 0}; // inputs 1-4, output 2
    std::vector<MuxFilterEntry> filters;
};

class SimulatedMux {
public:
    explicit SimulatedMux(SimOptions options);
    ~SimulatedMux(); // stops the device and closes its terminal
    SimulatedMux(const SimulatedMux&) = delete;
    SimulatedMux& operator=(const SimulatedMux&) = delete;

    bool start(); // opens the pseudo-terminal and starts the device
    void stop();
    std::string portPath() const; // linkPath when set, else the terminal's own path (/dev/pts/N)

    void unplug(); // the device goes away: its end of the terminal closes
    bool replug(); // back on a new terminal; linkPath, when set, points at it

    MuxState state() const;
    Bytes received() const; // every byte the device has read from the line, in order
    // Lines the device has read from the computer since it started (line feeds), all of them,
    // however many received() still holds. Played lines are input like any other: the device
    // answers its own queries and commands among them and sends nothing back for the rest.
    unsigned long receivedLines() const;
    void clearReceived();
    void sendRaw(const std::string& bytes); // put bytes on the line as they stand (tests)

    // Lines not sent because nobody was reading: unsolicited ones (traffic, status), and replies
    // beyond what the device's output holds.
    unsigned long droppedLines() const;
    // Whether a console's exclusive claim is on the terminal.
    bool exclusiveClaim() const;
    // Why start() failed (an unreadable log file, no pseudo-terminal, a path in the way).
    std::string lastError() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
