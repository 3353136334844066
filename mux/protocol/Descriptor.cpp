#include "mux/protocol/Descriptor.h"

namespace {

using enum ConfigField;

const FamilyDescriptor kLegacy{
    .family = MuxFamily::Legacy,
    .configurationSent = {{Speed, Mode, Seatalk, Priority, ChannelNumbers, Realtime, Heading, Ais}},
    .configurationRead = {Speed, Mode, Seatalk, Priority, ChannelNumbers, Realtime, Heading, Ais},
    .fullPanel = true,
    .channelIDs = false,
};

// The pairs leave the heading empty in the first sentence and send it alone in the second.
const FamilyDescriptor kThird{
    .family = MuxFamily::ThirdGeneration,
    .configurationSent = {{Speed, Mode, Seatalk, Priority, ChannelNumbers, Realtime, Empty},
                          {Empty, Empty, Empty, Empty, Empty, Empty, Heading}},
    .configurationRead = {Speed, Mode, Seatalk, Priority, ChannelNumbers, Realtime, Heading},
    .fullPanel = true,
    .channelIDs = false,
};

const FamilyDescriptor kModel42{
    .family = MuxFamily::Model42,
    .configurationSent = {{Speed, Mode, Seatalk, Priority, ChannelNumbers, ChannelIDs, Realtime, Empty},
                          {Empty, Empty, Empty, Empty, Empty, Empty, Empty, Heading}},
    .configurationRead = {Speed, Mode, Seatalk, Priority, ChannelNumbers, ChannelIDs, Realtime, Heading},
    .fullPanel = true,
    .channelIDs = true,
};

// Also the family while the version reply is awaited: the short command, the model-42 reading.
const FamilyDescriptor kOther{
    .family = MuxFamily::Other,
    .configurationSent = {{Speed, Mode, Seatalk}},
    .configurationRead = {Speed, Mode, Seatalk, Priority, ChannelNumbers, ChannelIDs, Realtime, Heading},
    .fullPanel = false,
    .channelIDs = false,
};

const ProgramDescriptor kLegacyProgram{
    .program = MuxVariant::Legacy,
    .queryBurst = {Query::Version, Query::Configuration, Query::TalkerIDs, Query::Speeds, Query::Filters},
    .minimumFirmware = 2.0f,
    .speeds = true,
    .filterFrequency = true,
    .aisOption = true,
    .aisModeWithBluetooth = false,
    .replyTypes = {"VE", "CF", "ID", "FL", "OV", "CN", "SP"},
    .columns = {{.title = "Mac", .width = 28},
                {.title = "Ch. 1", .width = 42},
                {.title = "Ch. 2", .width = 42},
                {.title = "Ch. 3", .width = 42},
                {.title = "Ch. 4", .width = 42},
                {.title = "Sentence", .width = 52},
                {.title = "Frequency", .width = 56}},
};

const ProgramDescriptor kCurrentProgram{
    .program = MuxVariant::Current,
    .queryBurst = {Query::Version, Query::Configuration, Query::TalkerIDs, Query::Filters},
    .minimumFirmware = 2.2f,
    .speeds = false,
    .filterFrequency = false,
    .aisOption = false,
    .aisModeWithBluetooth = true,
    .replyTypes = {"VE", "CF", "ID", "FL", "OV", "CN"},
    .columns = {{.title = "Mac", .width = 28},
                {.title = "Channel 1", .width = 56},
                {.title = "Channel 2", .width = 56},
                {.title = "Channel 3", .width = 56},
                {.title = "Channel 4", .width = 56},
                {.title = "Sentence", .width = 52}},
};

} // namespace

const ProgramDescriptor& programDescriptor(MuxVariant program) {
    return program == MuxVariant::Legacy ? kLegacyProgram : kCurrentProgram;
}

const FamilyDescriptor& familyDescriptor(MuxVariant program, MuxFamily family) {
    if (program == MuxVariant::Legacy)
        return kLegacy;
    switch (family) {
    case MuxFamily::ThirdGeneration:
        return kThird;
    case MuxFamily::Model42:
        return kModel42;
    case MuxFamily::Legacy:
    case MuxFamily::Other:
        break;
    }
    return kOther;
}

MuxFamily familyOf(MuxVariant program, const FamilyFlags& flags) {
    if (program == MuxVariant::Legacy)
        return MuxFamily::Legacy;
    if (flags.thirdGeneration)
        return MuxFamily::ThirdGeneration;
    return flags.velmar42 ? MuxFamily::Model42 : MuxFamily::Other;
}
