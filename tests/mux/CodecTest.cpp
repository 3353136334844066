// The console's protocol as plain functions: every layout in both directions for both programs,
// the reply readers on short and malformed replies, and what typing may put into a sentence.

#include "mux/protocol/Codec.h"
#include "mux/protocol/Editing.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Strings = std::vector<std::string>;

const FamilyDescriptor& legacy() {
    return familyDescriptor(MuxVariant::Legacy, MuxFamily::Legacy);
}
const FamilyDescriptor& current(MuxFamily f) {
    return familyDescriptor(MuxVariant::Current, f);
}

} // namespace

TEST(MuxCodec, ConfigurationCommandInEachLayout) {
    // Speed 4800, mode hub, channel numbers, real time on channel 1, heading, channel IDs on.
    Configuration c;
    c.speed = 0;
    c.mode = 1;
    c.channelNumbers = 1;
    c.channelIDs = 1;
    c.realtime = {1, 0, 0, 0};
    c.heading = 1;
    EXPECT_EQ(codec::configurationCommand(legacy(), c), Strings{"$PQVXCF,0,1,0,0,1,1000,1,0"});
    EXPECT_EQ(codec::configurationCommand(current(MuxFamily::ThirdGeneration), c),
              (Strings{"$PQVXCF,0,1,0,0,1,1000,", "$PQVXCF,,,,,,,1"}));
    EXPECT_EQ(codec::configurationCommand(current(MuxFamily::Model42), c),
              (Strings{"$PQVXCF,0,1,0,0,1,1,1000,", "$PQVXCF,,,,,,,,1"}));
    EXPECT_EQ(codec::configurationCommand(current(MuxFamily::Other), c), Strings{"$PQVXCF,0,1,0"});
    c.mode = -1; // no selection
    EXPECT_EQ(codec::configurationCommand(current(MuxFamily::Other), c), Strings{"$PQVXCF,0,-1,0"});
}

TEST(MuxCodec, ConfigurationReplyInEachLayout) {
    using Flags = std::array<bool, 4>;
    struct Case {
        const FamilyDescriptor* family;
        const char* reply;
        std::optional<int> speed, priority, channelIDs, heading, ais;
        std::optional<Flags> realtime;
    } cases[] = {
        {&legacy(), "$PQVXCF,1,2,1,1,0,0101,1,1", 1, 1, {}, 1, 1, Flags{false, true, false, true}},
        {&legacy(), "$PQVXCF,0,1,0,0,1,10,1,0", 0, 0, {}, 1, 0, {}}, // real time of two characters
        {&current(MuxFamily::ThirdGeneration),
         "$PQVXCF,2,0,0,1,0,1100,1",
         2,
         1,
         {},
         1,
         {},
         Flags{1, 1, 0, 0}},
        {&current(MuxFamily::Model42), "$PQVXCF,0,1,0,0,0,1,0110,1", 0, 0, 1, 1, {}, Flags{0, 1, 1, 0}},
        {&current(MuxFamily::Other), "$PQVXCF,3,1,1,1,0,0,0001,0", 3, 1, 0, 0, {}, Flags{0, 0, 0, 1}},
        {&current(MuxFamily::Other), "$PQVXCF,3,1,1", 3, {}, {}, {}, {}, {}}, // fields 4-8 absent
        {&legacy(), "$PQVXCF, 7x,,-1", 7, {}, {}, {}, {}, {}},                // blanks, a non-number, empty
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        const ConfigurationReply r = codec::readConfiguration(*c.family, c.reply);
        EXPECT_EQ(r.speed, c.speed);
        EXPECT_EQ(r.priority, c.priority);
        EXPECT_EQ(r.channelIDs, c.channelIDs);
        EXPECT_EQ(r.heading, c.heading);
        EXPECT_EQ(r.ais, c.ais);
        EXPECT_EQ(r.realtime, c.realtime);
    }
    EXPECT_EQ(codec::readConfiguration(legacy(), "$PQVXCF,,0").mode, 0); // an empty field reads 0
}

TEST(MuxCodec, VersionFlagsNameTheFamily) {
    struct Case {
        MuxVariant program;
        const char* flags;
        FamilyFlags expected;
        MuxFamily family;
    } cases[] = {
        {MuxVariant::Current, "8000", {false, true, true}, MuxFamily::ThirdGeneration},
        {MuxVariant::Current, "0008", {false, true, false}, MuxFamily::Model42},
        {MuxVariant::Current, "0x0002", {true, false, false}, MuxFamily::Other},
        {MuxVariant::Current, "a", {true, true, false}, MuxFamily::Model42}, // "a" and "A" are 10
        {MuxVariant::Current, "0X800A", {true, true, true}, MuxFamily::ThirdGeneration},
        {MuxVariant::Current, "zz", {}, MuxFamily::Other}, // not hexadecimal: no flag
        {MuxVariant::Legacy, "800A", {true, false, false}, MuxFamily::Legacy},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        auto v = codec::readVersion(std::string("$PQVXVER,2.6,Velmar,S1,") + c.flags);
        ASSERT_TRUE(v);
        const FamilyFlags flags = codec::applyVersion(c.program, {}, *v);
        EXPECT_EQ(flags, c.expected);
        EXPECT_EQ(familyOf(c.program, flags), c.family);
    }
    // Flags are only ever set by a reply.
    auto model42 = codec::readVersion("$PQVXVER,2.6,V,S,0008");
    EXPECT_TRUE(codec::applyVersion(MuxVariant::Current, {true, true, true}, *model42).thirdGeneration);
    EXPECT_FALSE(codec::readVersion("$PQVXVER,2.6,Velmar"));
    auto noFlags = codec::readVersion("$PQVXVER,2.6,Velmar,S1");
    ASSERT_TRUE(noFlags);
    EXPECT_EQ(noFlags->name, "Velmar");
    EXPECT_FALSE(noFlags->flags);
}

TEST(MuxCodec, OnlyADecimalFirmwareReachesTheMinimum) {
    struct Case {
        const char* firmware;
        float minimum;
        bool supported;
    } cases[] = {{"2.2", 2.2f, true},  {"2.1", 2.2f, false},  {"1.9", 2.0f, false},  {"2.0", 2.0f, true},
                 {" 3", 2.2f, true},   {"2.6b", 2.2f, true},  {"nan", 2.2f, false},  {"inf", 2.0f, false},
                 {"NaN", 0.0f, false}, {"beta", 2.2f, false}, {"-3.0", 2.0f, false}, {"1e9", 2.0f, false},
                 {"", 2.0f, false},    {"0x10", 2.0f, false}};
    for (const Case& c : cases)
        EXPECT_EQ(codec::firmwareSupported(c.firmware, c.minimum), c.supported) << c.firmware;
}

TEST(MuxCodec, FilterSentencesBothWays) {
    auto f = codec::readFilter("$PQVXFL,--RMC,01000", false);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->sentence(), "--RMC");
    EXPECT_EQ(f->flagString(), "01000");
    EXPECT_EQ(codec::filterCommand(*f, false), "$PQVXFL,--RMC,01000");
    auto withFrequency = codec::readFilter("$PQVXFL,gp,10100,2", true);
    ASSERT_TRUE(withFrequency);
    EXPECT_EQ(codec::filterCommand(*withFrequency, true), "$PQVXFL,GP---,10100,2");
    EXPECT_EQ(codec::readFilter("$PQVXFL,GPGGA,1x1y1,-4", true)->flagString(), "10101");
    EXPECT_EQ(codec::readFilter("$PQVXFL,GPGGA,00000,-4", true)->frequency, 0u);
    for (const char* bad : {"$PQVXFL,--RMC,0100", "$PQVXFL,--RMC", "$PQVXFL", "$PQVXFL,--RMC,010000"})
        EXPECT_FALSE(codec::readFilter(bad, true)) << bad;
    EXPECT_EQ(codec::clearFiltersCommand(), "$PQVXFL");
}

TEST(MuxCodec, FilterEntriesWidenOnceAndSortWithoutCase) {
    Filter f;
    for (auto [text, stored] : {std::pair{"gp", "GP---"}, {"rmc", "--RMC"}, {"gprm", "GPRM"}, {"", ""}}) {
        f.setSentence(std::string(text));
        f.setSentence(f.sentence()); // again on its own result: unchanged
        EXPECT_EQ(f.sentence(), stored) << text;
    }
    std::vector<Filter> list(3);
    list[0].setSentence(std::string("IIMWV"));
    list[1].setSentence(std::string("aivdm"));
    list[2].setSentence(std::string("--rmc"));
    std::sort(list.begin(), list.end(), filterSortBySentence);
    EXPECT_EQ(list[0].sentence(), "--RMC");
    EXPECT_EQ(list[2].sentence(), "IIMWV");
}

TEST(MuxCodec, TalkerIDsSpeedsOverflowAndReplyTypes) {
    EXPECT_EQ(codec::talkerIDCommand({"gp", "", "éx", "a*"}), "$PQVXID,GP,,X,A");
    EXPECT_EQ(codec::readTalkerIDs("$PQVXID,GP,II"), (TalkerIDs{"GP", "II", "", ""}));
    EXPECT_EQ(codec::speedsCommand({0, 3, 0, 0, 1}), "$PQVXSP,0,3,0,0,1");
    EXPECT_EQ(codec::readSpeeds("$PQVXSP,1,,x"), (SpeedsReply{1, 0, 0, std::nullopt, std::nullopt}));
    EXPECT_EQ(codec::readOverflow("$PQVXOV,5"), 5u);
    EXPECT_EQ(codec::readOverflow("$PQVXOV"), std::nullopt);
    EXPECT_EQ(codec::replyType("$PQVXCF,1"), "CF");
    EXPECT_EQ(codec::replyType("$PQVXVER,2"), "VE");
    EXPECT_EQ(codec::replyType("$GPRMC,1"), "C,");
    EXPECT_EQ(codec::replyType("$PQVXC"), std::nullopt);
    for (Query q : {Query::Configuration, Query::TalkerIDs, Query::Filters, Query::Version, Query::Speeds})
        EXPECT_TRUE(codec::query(q).starts_with("$PQVX"));
}

TEST(MuxEditing, TalkerIDTyping) {
    struct Case {
        const char* typed;
        const char* kept;
        bool refused, send;
    } cases[] = {
        {"g", "g", false, false}, {"gp", "gp", false, true},  {"gps", "gp", true, true},
        {"", "", false, true},    {"g*", "g", true, false},   {"éx", "x", true, false},
        {"ÄÄ", "", true, false},  {"g ", "g ", false, false}, {"a,b", "ab", true, true},
    };
    for (const Case& c : cases) {
        const TalkerIDEdit e = editTalkerID(c.typed);
        EXPECT_EQ(e.text, c.kept) << c.typed;
        EXPECT_EQ(e.refused, c.refused) << c.typed;
        EXPECT_EQ(e.send, c.send) << c.typed;
    }
}

TEST(MuxEditing, FilterAddressesAndTheSentenceBox) {
    struct Case {
        const char* text;
        std::optional<std::string> address;
    } cases[] = {{"rmc", "--RMC"},   {"gp", "GP---"},  {"GPRMC", "GPRMC"}, {"--hdt", "--HDT"},
                 {"ii---", "II---"}, {"LR1", "--LR1"}, {"GPRM", {}},       {"ÄÄ", {}},
                 {"-----", {}},      {"G-RMC", {}},    {"GP,RM", {}},      {"", {}},
                 {"AB*", {}},        {"GPRMCX", {}},   {"--R,1", {}}};
    for (const Case& c : cases)
        EXPECT_EQ(filterAddress(c.text), c.address) << c.text;

    struct Box {
        const char* typed;
        size_t rows;
        const char* kept;
        bool refused, addable;
    } boxes[] = {
        {"GPRMCX", 0, "GPRMC", true, true}, {" rmc ", 0, "rmc", false, true},
        {"gprm", 0, "gprm", false, false},  {"ÄÄ", 0, "", true, false},
        {"rmc", 50, "rmc", false, true},    {"rmc", 51, "rmc", false, false},
    };
    for (const Box& b : boxes) {
        const FilterTextEdit e = editFilterText(b.typed, b.rows);
        EXPECT_EQ(e.text, b.kept) << b.typed;
        EXPECT_EQ(e.refused, b.refused) << b.typed;
        EXPECT_EQ(e.addable, b.addable) << b.typed;
    }
}

TEST(MuxEditing, CaptureTakesTheAddressFieldOnly) {
    struct Case {
        const char* sentence;
        bool byFormatter;
        std::optional<std::string> address;
    } cases[] = {
        {"$GPRMC,1,2", false, "GPRMC"},
        {"!AIVDM,1,1", false, "AIVDM"},
        {"$IIRMC,1", true, "--RMC"},
        {"$PUBX,00,1", false, {}},
        {"$GPR,1,2", false, "--GPR"},
        {"$GPR,1,2", true, {}},
        {"$AB", false, "AB---"},
        {"$AB", true, {}},
        {"$GP-MC,1", false, {}},
        {"GPRMC,1", false, {}},
        {"$", false, {}},
        {"$,", false, {}},
        {"$GPRMCA,1", false, {}},
        {"$GPRMC", true, "--RMC"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(captureAddress(c.sentence, c.byFormatter), c.address) << c.sentence << " " << c.byFormatter;
}
