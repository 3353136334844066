// The device's side of every $PQVX query and command, for each family, byte for byte.

#include "SimConsole.h"
#include "base/Format.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Device {
    SimulatedMux mux;
    SimConsole console;
    explicit Device(SimOptions options)
        : mux(std::move(options)), console(mux.start() ? mux.portPath() : "") {}
};

// Sends the commands, then the query, and returns the reply line.
std::string ask(SimConsole& console, const std::vector<std::string>& commands, const std::string& query) {
    for (const auto& command : commands)
        EXPECT_TRUE(console.send(command));
    EXPECT_TRUE(console.send(query));
    return console.readLine();
}

TEST(SimProtocol, VersionReplyNamesFamilyFlagsAndFirmware) {
    const std::tuple<MuxFamily, bool, std::string, std::string> cases[] = {
        {MuxFamily::Legacy, true, "1.9", "$PQVXVER,1.9,Velmar-4,VL4-010233,0002"},
        {MuxFamily::ThirdGeneration, true, "", "$PQVXVER,3.2,Velmar-3G,VL3-004217,8002"},
        {MuxFamily::Model42, false, "2.1", "$PQVXVER,2.1,Velmar-42,V42-002750,0008"},
        {MuxFamily::Other, true, "", "$PQVXVER,2.2,Velmar-2,VL2-001864,0002"},
        // A firmware text that would break the reply's fields is made safe.
        {MuxFamily::Other, false, "2,9*", "$PQVXVER,2 9 ,Velmar-2,VL2-001864,0000"},
    };
    for (const auto& [family, bluetooth, firmware, reply] : cases) {
        SimOptions options = quiet(family, bluetooth);
        options.firmware = firmware;
        Device device(options);
        EXPECT_EQ(ask(device.console, {}, "$PQVXVER"), framed(reply));
    }
}

TEST(SimProtocol, ConfigurationCommandsInEveryLayout) {
    // The factory settings first; devices without family flags report all eight fields.
    const std::pair<MuxFamily, const char*> factory[] = {
        {MuxFamily::Legacy, "$PQVXCF,0,0,0,0,0,0000,0,0"},
        {MuxFamily::ThirdGeneration, "$PQVXCF,0,0,0,0,0,0000,0"},
        {MuxFamily::Model42, "$PQVXCF,0,0,0,0,0,0,0000,0"},
        {MuxFamily::Other, "$PQVXCF,0,0,0,1,1,0,1100,1"}};
    for (const auto& [family, reply] : factory) {
        Device device(quiet(family));
        EXPECT_EQ(ask(device.console, {}, "$PQVXCFQ"), framed(reply));
    }

    struct Case {
        MuxFamily family;
        bool bluetooth;
        std::vector<std::string> commands; // as the console of that family sends them
        std::string reply;                 // the configuration query's answer afterwards
    } cases[] = {
        {MuxFamily::Legacy, false, {"$PQVXCF,0,1,0,0,1,1000,1,0"}, "$PQVXCF,0,1,0,0,1,1000,1,0"},
        // Bad values are refused field by field.
        {MuxFamily::Legacy,
         false,
         {"$PQVXCF,2,1,0,0,0,0110,0,0", "$PQVXCF,4,-1,1,x,2,10,1,1"},
         "$PQVXCF,2,1,1,0,0,0110,1,1"},
        {MuxFamily::ThirdGeneration,
         false,
         {"$PQVXCF,2,1,1,0,1,0101,", "$PQVXCF,,,,,,,1"},
         "$PQVXCF,2,1,1,0,1,0101,1"},
        {MuxFamily::ThirdGeneration,
         false,
         {"$PQVXCF,1,2,1"},
         "$PQVXCF,1,2,1,0,0,0000,0"}, // the short layout
        {MuxFamily::Model42,
         false,
         {"$PQVXCF,3,2,0,1,1,1,0110,", "$PQVXCF,,,,,,,,1"},
         "$PQVXCF,3,2,0,1,1,1,0110,1"},
        // Devices without family flags take the first three fields only.
        {MuxFamily::Other,
         false,
         {"$PQVXCF,1,2,1", "$PQVXCF,2,1,1,0,0,1,1111,"},
         "$PQVXCF,2,1,1,1,1,0,1100,1"},
        // The AIS mode only with Bluetooth.
        {MuxFamily::ThirdGeneration, true, {"$PQVXCF,0,3,0,0,0,0000,"}, "$PQVXCF,0,3,0,0,0,0000,0"},
        {MuxFamily::Model42, false, {"$PQVXCF,0,3,0,0,0,0,0000,"}, "$PQVXCF,0,0,0,0,0,0,0000,0"},
    };
    for (const auto& c : cases) {
        Device device(quiet(c.family, c.bluetooth));
        EXPECT_EQ(ask(device.console, c.commands, "$PQVXCFQ"), framed(c.reply));
    }
}

// Talker IDs everywhere, speeds on the earlier generation only; filter entries added, replaced,
// removed and cleared.
TEST(SimProtocol, TalkerIDsSpeedsAndFilterEditsInEachFamily) {
    for (MuxFamily family : kMuxFamilies) {
        Device device(quiet(family));
        SimConsole& console = device.console;
        EXPECT_EQ(ask(console, {"$PQVXID,GP,,ii,AI"}, "$PQVXIDQ"), framed("$PQVXID,GP,,II,AI"));
        // One letter waits for the second, three are too many, an empty field clears.
        EXPECT_EQ(ask(console, {"$PQVXID,G,,XYZ,"}, "$PQVXIDQ"), framed("$PQVXID,GP,,II,"));
        console.send("$PQVXSP,1,2,3,0,2");
        console.send("$PQVXSP,,9,,,1"); // an index beyond the list and empty fields change nothing
        if (family == MuxFamily::Legacy) {
            EXPECT_EQ(ask(console, {}, "$PQVXSPQ"), framed("$PQVXSP,1,2,3,0,1"));
        } else { // neither the command nor the query means anything here
            console.send("$PQVXSPQ");
            EXPECT_TRUE(ask(console, {}, "$PQVXVER").starts_with("$PQVXVER,"));
            EXPECT_EQ(device.mux.state().channelSpeeds, (std::vector<int>{0, 0, 0, 0, 0}));
        }

        const std::string zero = family == MuxFamily::Legacy ? ",0" : ""; // the frequency
        const std::vector<std::string> list{
            framed("$PQVXFL,--RMC,00100" + std::string(zero.empty() ? "" : ",2")),
            framed("$PQVXFL,AIVDM,01001" + zero), framed("$PQVXFL,--HDT,00010" + zero)};
        auto readList = [&] {
            console.send("$PQVXFLQ");
            std::vector<std::string> lines;
            for (size_t i = 0; i < list.size(); ++i)
                lines.push_back(console.readLine());
            return lines;
        };
        // Added, widened, replaced (keeping the frequency), removed with all five flags.
        for (const char* command : {"$PQVXFL,--RMC,00000,2", "$PQVXFL,GP---,10000", "$PQVXFL,aivdm,01001",
                                    "$PQVXFL,hdt,00010", "$PQVXFL,--RMC,00100", "$PQVXFL,GP---,11111"})
            console.send(command);
        EXPECT_EQ(readList(), list);
        // Entries the device cannot take; removing what is not there; a frequency beyond 10.
        for (const char* command : {"$PQVXFL,--RMC,0100", "$PQVXFL,,00000", "$PQVXFL,GPRM,00000",
                                    "$PQVXFL,--VTG", "$PQVXFL,--GGA,0x000", "$PQVXFL,--ZDA,11111"})
            console.send(command);
        if (family == MuxFamily::Legacy)
            console.send("$PQVXFL,--GSV,00000,11");
        EXPECT_EQ(readList(), list);
        // The bare sentence clears the list: the list query then has nothing to say.
        console.send("$PQVXFL");
        console.send("$PQVXFLQ");
        EXPECT_EQ(ask(console, {}, "$PQVXIDQ"), framed("$PQVXID,GP,,II,"));
        EXPECT_TRUE(device.mux.state().filters.empty());
    }
}

TEST(SimProtocol, FullFilterListRefusesMore) {
    Device device(quiet(MuxFamily::Model42));
    SimConsole& console = device.console;
    for (int i = 0; i <= 64; ++i)
        console.send(base::textf("$PQVXFL,%c%c---,00000", 'A' + i / 26, 'A' + i % 26));
    console.send("$PQVXFL,AA---,10000"); // replacing still works on a full list
    ask(console, {}, "$PQVXIDQ");
    MuxState state = device.mux.state();
    ASSERT_EQ(state.filters.size(), 64u);
    EXPECT_EQ(state.filters.front().flags, "10000");
    EXPECT_EQ(state.filters.back().sentence, "CL---"); // the 65th, CM---, was refused
    console.send("$PQVXFL,BA---,11111");
    console.send("$PQVXFL,CM---,00000");
    ask(console, {}, "$PQVXIDQ");
    EXPECT_EQ(device.mux.state().filters.back().sentence, "CM---");
}

// Lines played from a CR LF log come with their own CR before the CR LF: input like any other.
// The device answers its own queries among them and sends nothing back for the rest.
TEST(SimProtocol, PlayedLinesAreInputOnTheHostLink) {
    Device device(quiet(MuxFamily::ThirdGeneration));
    for (const char* sentence :
         {"$GPRMC,120000,A,4807.038,N,01131.000,E,,,", "!AIVDM,1,1,,A,13aG?P0P,0", "$PQVXVER"})
        device.console.sendLine(framed(sentence).substr(0, framed(sentence).size() - 1));
    EXPECT_EQ(device.console.readLine(), framed("$PQVXVER,3.2,Velmar-3G,VL3-004217,8000"));
    EXPECT_EQ(device.mux.receivedLines(), 3u);
}

// A console that writes without reading: the device keeps reading and applying its commands,
// and the replies that do not fit its output are dropped.
TEST(SimProtocol, KeepsReadingWhileRepliesPileUp) {
    SimOptions options = quiet(MuxFamily::Legacy);
    for (int i = 0; i < 60; ++i)
        options.filters.push_back({base::textf("G%c%d--", 'A' + i % 26, i % 10), "01010", 3});
    Device device(options);
    for (int i = 0; i < 100; ++i) // 100 lists of 60 entries: about 150 KB of replies owed
        ASSERT_TRUE(device.console.send("$PQVXFLQ"));
    ASSERT_TRUE(eventually([&] { return device.mux.receivedLines() == 100; }));
    ASSERT_TRUE(device.console.send("$PQVXCF,3,1,0,0,0,0000,0,0"));
    EXPECT_TRUE(eventually([&] { return device.mux.state().hostSpeed == 3; }));
    EXPECT_GT(device.mux.droppedLines(), 0u);
}

} // namespace
