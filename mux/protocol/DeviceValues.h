#pragma once
// The plain values the console's panes hand to the protocol and get back from it.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The configuration as the panel holds it; a combo box without a selection is -1.
struct Configuration {
    int speed = -1; // host-port speed index: 4800, 9600, 19200, 38400
    int mode = -1;  // server, hub, auto (and AIS)
    int seatalk = 0, priority = 0, channelNumbers = 0, channelIDs = 0, heading = 0, ais = 0;
    std::array<int, 4> realtime{}; // channel 1 first
};

// What a configuration reply carries: only the fields it has. A real-time field is only read
// when it has four characters.
struct ConfigurationReply {
    std::optional<int> speed, mode, seatalk, priority, channelNumbers, channelIDs, heading, ais;
    std::optional<std::array<bool, 4>> realtime;
};

// Version reply: firmware, name and serial number are always present, the flags when readable.
struct Version {
    std::string firmware, name, serial;
    std::optional<uint64_t> flags;
};

using TalkerIDs = std::array<std::string, 4>;

// Speed indexes of inputs 1-4 and output 2.
using Speeds = std::array<int, 5>;
using SpeedsReply = std::array<std::optional<int>, 5>;
