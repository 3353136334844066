// What typing may put into a sentence, what a capture takes, and which firmware counts. The
// layouts, replies and flags of each family are in the golden transcripts.

#include "mux/protocol/Codec.h"
#include "mux/protocol/TypedText.h"

#include <gtest/gtest.h>

TEST(MuxCodec, OnlyADecimalFirmwareReachesTheMinimum) {
    const std::tuple<const char*, float, bool> cases[] = {
        {"2.2", 2.2f, true},  {"2.1", 2.2f, false},  {"1.9", 2.0f, false}, {"2.0", 2.0f, true},
        {" 3", 2.2f, true},   {"2.6b", 2.2f, true},  {"nan", 2.2f, false}, {"inf", 2.0f, false},
        {"NaN", 0.0f, false}, {"-3.0", 2.0f, false}, {"1e9", 2.0f, false}, {"0x10", 2.0f, false}};
    for (const auto& [firmware, minimum, supported] : cases)
        EXPECT_EQ(codec::firmwareSupported(firmware, minimum), supported) << firmware;
}

TEST(MuxEditing, TalkerIDTyping) {
    const std::tuple<const char*, const char*, bool, bool> cases[] = {
        // typed, kept, refused, sent
        {"g", "g", false, false}, {"gp", "gp", false, true},  {"gps", "gp", true, true},
        {"", "", false, true},    {"g*", "g", true, false},   {"éx", "x", true, false},
        {"ÄÄ", "", true, false},  {"g ", "g ", false, false}, {"a,b", "ab", true, true},
    };
    for (const auto& [typed, kept, refused, send] : cases) {
        const TalkerIDEdit e = editTalkerID(typed);
        EXPECT_EQ(std::tie(e.text, e.refused, e.send), std::tie(kept, refused, send)) << typed;
    }
}

TEST(MuxEditing, FilterAddressesAndTheSentenceBox) {
    const std::pair<const char*, std::optional<std::string>> addresses[] = {
        {"rmc", "--RMC"}, {"gp", "GP---"}, {"--hdt", "--HDT"}, {"ii---", "II---"}, {"LR1", "--LR1"},
        {"GPRM", {}},     {"ÄÄ", {}},      {"-----", {}},      {"G-RMC", {}},      {"GP,RM", {}},
        {"", {}},         {"AB*", {}},     {"GPRMCX", {}},     {"--R,1", {}}};
    for (const auto& [text, address] : addresses)
        EXPECT_EQ(filterAddress(text), address) << text;

    const std::tuple<const char*, size_t, const char*, bool, bool> boxes[] = {
        // typed, rows in the list, kept, refused, Add enabled
        {"GPRMCX", 0, "GPRMC", true, true}, {" rmc ", 0, "rmc", false, true},
        {"gprm", 0, "gprm", false, false},  {"ÄÄ", 0, "", true, false},
        {"rmc", 50, "rmc", false, true},    {"rmc", 51, "rmc", false, false},
    };
    for (const auto& [typed, rows, kept, refused, addable] : boxes) {
        const FilterTextEdit e = editFilterText(typed, rows);
        EXPECT_EQ(std::tie(e.text, e.refused, e.addable), std::tie(kept, refused, addable)) << typed;
    }
}

TEST(MuxEditing, CaptureTakesTheAddressFieldOnly) {
    const std::tuple<const char*, bool, std::optional<std::string>> cases[] = {
        // sentence, talker IDs imposed, address
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
    for (const auto& [sentence, byFormatter, address] : cases)
        EXPECT_EQ(captureAddress(sentence, byFormatter), address) << sentence << " " << byFormatter;
}
