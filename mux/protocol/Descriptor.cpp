#include "mux/protocol/Descriptor.h"

namespace {

using enum ConfigField;

const FamilyDescriptor kLegacy{
    MuxFamily::Legacy,
    {{Speed, Mode, Seatalk, Priority, ChannelNumbers, Realtime, Heading, Ais}},
    {Speed, Mode, Seatalk, Priority, ChannelNumbers, Realtime, Heading, Ais},
    true,
    false,
};

// The pairs leave the heading empty in the first sentence and send it alone in the second.
const FamilyDescriptor kThird{
    MuxFamily::ThirdGeneration,
    {{Speed, Mode, Seatalk, Priority, ChannelNumbers, Realtime, Empty},
     {Empty, Empty, Empty, Empty, Empty, Empty, Heading}},
    {Speed, Mode, Seatalk, Priority, ChannelNumbers, Realtime, Heading},
    true,
    false,
};

const FamilyDescriptor kModel42{
    MuxFamily::Model42,
    {{Speed, Mode, Seatalk, Priority, ChannelNumbers, ChannelIDs, Realtime, Empty},
     {Empty, Empty, Empty, Empty, Empty, Empty, Empty, Heading}},
    {Speed, Mode, Seatalk, Priority, ChannelNumbers, ChannelIDs, Realtime, Heading},
    true,
    true,
};

// Also the family while the version reply is awaited: the short command, the model-42 reading.
const FamilyDescriptor kOther{
    MuxFamily::Other,
    {{Speed, Mode, Seatalk}},
    {Speed, Mode, Seatalk, Priority, ChannelNumbers, ChannelIDs, Realtime, Heading},
    false,
    false,
};

const ProgramDescriptor kLegacyProgram{
    MuxVariant::Legacy,
    {Query::Version, Query::Configuration, Query::TalkerIDs, Query::Speeds, Query::Filters},
    2.0f,
    true,
    true,
    true,
    false,
    {"VE", "CF", "ID", "FL", "OV", "CN", "SP"},
    {{"Mac", 28},
     {"Ch. 1", 42},
     {"Ch. 2", 42},
     {"Ch. 3", 42},
     {"Ch. 4", 42},
     {"Sentence", 52},
     {"Frequency", 56}},
};

const ProgramDescriptor kCurrentProgram{
    MuxVariant::Current,
    {Query::Version, Query::Configuration, Query::TalkerIDs, Query::Filters},
    2.2f,
    false,
    false,
    false,
    true,
    {"VE", "CF", "ID", "FL", "OV", "CN"},
    {{"Mac", 28},
     {"Channel 1", 56},
     {"Channel 2", 56},
     {"Channel 3", 56},
     {"Channel 4", 56},
     {"Sentence", 52}},
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
