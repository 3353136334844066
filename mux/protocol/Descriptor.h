#pragma once
// What the console knows of each program and device family, as data: the configuration layouts,
// the query burst, the minimum firmware, the controls a family lets the user edit and the filter
// table's columns. The rest of the console asks these tables instead of branching on the family.

#include "mux/protocol/MuxFamily.h"

#include <cstdint>
#include <string>
#include <vector>

// Which program the console is: muxconsole-legacy (the earlier generation) or muxconsole.
enum class MuxVariant {
    Legacy,
    Current,
};

// The flags the version reply sets; the version query clears the two family flags again.
struct FamilyFlags {
    bool bluetooth = false;
    bool velmar42 = false;
    bool thirdGeneration = false;
    bool operator==(const FamilyFlags&) const = default;
};

// The query codes, shared with the sentence types they ask for.
enum class Query : unsigned {
    Configuration = 5,
    TalkerIDs = 6,
    Filters = 7,
    Version = 10,
    Speeds = 11,
};

// One field of a configuration sentence.
enum class ConfigField : uint8_t {
    Empty, // sent as an empty field, skipped when read
    Speed,
    Mode,
    Seatalk,
    Priority,
    ChannelNumbers,
    ChannelIDs,
    Realtime, // four digits, channel 1 first
    Heading,
    Ais,
};

struct FamilyDescriptor {
    MuxFamily family;
    // The configuration command: one sentence, or a pair, each listing its fields after the address.
    std::vector<std::vector<ConfigField>> configurationSent;
    // The configuration reply, field 1 first.
    std::vector<ConfigField> configurationRead;
    // Priority, channel numbers, heading, real time, talker IDs, the filter list and capture.
    bool fullPanel;
    bool channelIDs; // the channel-ID option
};

struct FilterColumn {
    const char* title;
    int width; // pixels
};

struct ProgramDescriptor {
    MuxVariant program;
    std::vector<Query> queryBurst; // what the timer asks an unidentified device, in order
    float minimumFirmware;
    bool speeds;          // channel speeds (SP) of inputs 1-4 and output 2
    bool filterFrequency; // filter entries carry a frequency
    bool aisOption;       // the AIS option; the other program has the channel-ID option instead
    bool aisModeWithBluetooth;
    std::vector<std::string> replyTypes; // the replies that have a handler
    std::vector<FilterColumn> columns;   // five route flags, the sentence, then any others
};

const ProgramDescriptor& programDescriptor(MuxVariant program);
// The earlier program knows one family; muxconsole knows the three others, and reads an
// unidentified device as one without family flags.
const FamilyDescriptor& familyDescriptor(MuxVariant program, MuxFamily family);
MuxFamily familyOf(MuxVariant program, const FamilyFlags& flags);
