// The sentence decoder against the recorded logs; the AIS values are those gpsd's own decoder
// (gpsdecode) reads from the same sentences.

#include "link/SentenceDecoder.h"
#include "link/AisDecoder.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace {

using namespace testing_support;

std::map<std::string, std::string> byName(const DecodedSentence& d) {
    std::map<std::string, std::string> out;
    for (const DecodedField& f : d.fields)
        if (!f.name.empty() && out.count(f.name) == 0)
            out[f.name] = f.value + (f.unit.empty() ? "" : " " + f.unit);
    return out;
}

std::vector<std::string> logLines(const std::string& name) {
    std::vector<std::string> lines;
    std::istringstream in(slurp(fs::path(MUX_SHARED_DATA) / "nmea" / name));
    for (std::string raw; std::getline(in, raw);)
        if (!raw.empty() && (raw[0] == '$' || raw[0] == '!'))
            lines.push_back(raw.substr(0, raw.find('\r')));
    return lines;
}

#define NEED_LOGS()                                                                                          \
    if (!fs::is_directory(fs::path(MUX_SHARED_DATA) / "nmea"))                                               \
    GTEST_SKIP() << "sample logs not found"

// Every recorded sentence of a type in the table reads by its layout, none runs past it; and
// recorded sentences read as written.
TEST(LinkSentenceDecoder, RecordedSentencesReadAsTheirFields) {
    NEED_LOGS();
    const std::vector<std::string> known = decodedTypes();
    std::set<std::string> seen;
    for (const auto& entry : fs::directory_iterator(fs::path(MUX_SHARED_DATA) / "nmea"))
        for (const std::string& line : logLines(entry.path().filename().string())) {
            const DecodedSentence d = decodeSentence(line);
            if (std::find(known.begin(), known.end(), d.type) == known.end())
                continue;
            seen.insert(d.type);
            EXPECT_TRUE(d.known) << line;
        }
    EXPECT_GE(seen.size(), 15u); // the logs hold that many of the table's types
    const struct {
        const char* sentence;
        std::map<std::string, std::string> expected;
    } cases[] = {
        {"$GPGGA,194050.00,4221.8237733,N,07101.9411707,W,1,00,3.3,10.835,M,-33.320,M,,*62",
         {{"Time", "19:40:50.00"},
          {"Latitude", "42°21.8237733′ N"},
          {"Longitude", "71°01.9411707′ W"},
          {"Altitude", "10.835 m"},
          {"GeoidSeparation", "-33.320 m"}}},
        {"$GPRMC,130711.00,A,5012.790800,N,00806.879600,W,0.5,3.0,010611,,A*6A",
         {{"Date", "2011-06-01"}, {"SpeedOverGround", "0.5 kn"}, {"CourseOverGround", "3.0 °"}}},
        {"$SDDBT,7.7,f,2.3,M,1.3,F*05", {{"Depth", "7.7 ft"}}},
        {"$INMTW,17.9,C*1B", {{"WaterTemperature", "17.9 °C"}}},
        {"$HEROT,0.0,A*2B", {{"RateOfTurn", "0.0 °/min"}, {"Status", "A"}}},
        {"$GPZDA,193913.00,07,09,2018,00,00*63", {{"Day", "07"}, {"Year", "2018"}}},
        {"$INDPT,2.2,0.0*47", {{"Depth", "2.2 m"}, {"Offset", "0.0 m"}}},
        {"$GPHDT,274.07,T*03", {{"HeadingTrue", "274.07 °"}}},
        {"$GPXTE,V,V,,,N,S*43", {{"Units", "N"}, {"Mode", "S"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sentence);
        const auto fields = byName(decodeSentence(c.sentence));
        for (const auto& [name, value] : c.expected) {
            ASSERT_TRUE(fields.count(name)) << name;
            EXPECT_EQ(fields.at(name), value);
        }
    }
}

// Exact readings of written-out values: positions keep the minutes as written, a unit field
// joins its value, the repeated groups repeat, a type the table lacks shows numbered fields.
TEST(LinkSentenceDecoder, FieldsAreWrittenOutWithTheirUnits) {
    const struct {
        const char* sentence;
        std::map<std::string, std::string> expected;
    } cases[] = {
        {"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A",
         {{"Time", "12:35:19"},
          {"Latitude", "48°07.038′ N"},
          {"Longitude", "11°31.000′ E"},
          {"SpeedOverGround", "022.4 kn"},
          {"Date", "1994-03-23"},
          {"Variation", "003.1 W °"}}},
        {"$GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,*76",
         {{"Altitude", "61.7 m"}, {"GeoidSeparation", "55.2 m"}, {"HDOP", "1.03"}}},
        {"$IIMWV,045.0,R,12.5,N,A*0A",
         {{"WindAngle", "045.0 °"}, {"WindSpeed", "12.5 kn"}, {"Reference", "R"}}},
        {"$IIMTW,18.5,C", {{"WaterTemperature", "18.5 °C"}}},
        {"$IIVHW,,T,,M,6.1,N,11.3,K", {{"SpeedThroughWater", "6.1 kn"}}},
        {"$IIXDR,C,19.5,C,AIRTEMP,P,1.013,B,BARO", {{"TransducerType", "C"}, {"Measurement", "19.5 °C"}}},
        {"$GPGLL,4916.45,N,12311.12,W,225444,A",
         {{"Latitude", "49°16.45′ N"}, {"Longitude", "123°11.12′ W"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sentence);
        const auto fields = byName(decodeSentence(c.sentence));
        for (const auto& [name, value] : c.expected) {
            ASSERT_TRUE(fields.count(name)) << name;
            EXPECT_EQ(fields.at(name), value);
        }
    }
    const DecodedSentence xdr = decodeSentence("$IIXDR,C,19.5,C,AIRTEMP,P,1.013,B,BARO");
    ASSERT_EQ(xdr.fields.size(), 6u);
    EXPECT_EQ(xdr.fields[4].value + " " + xdr.fields[4].unit, "1.013 bar");
    const DecodedSentence other = decodeSentence("$PGRME,15.0,M,45.0,M,25.0,M*1C");
    EXPECT_FALSE(other.known);
    ASSERT_EQ(other.fields.size(), 6u);
    EXPECT_EQ(other.fields[2].index, 3u);
    EXPECT_EQ(other.fields[2].value, "45.0");
    EXPECT_TRUE(decodeSentence("GPRMC,1").type.empty());
    EXPECT_TRUE(byName(decodeSentence("$GPRMC")).empty()); // no fields at all: nothing to read
}

// Every type the decoder claims has a layout that reads a made-up sentence of enough fields
// without leaving its bounds; a sentence shorter than its layout reads what it has.
TEST(LinkSentenceDecoder, EveryLayoutReadsLongAndShortSentences) {
    for (const std::string& type : decodedTypes()) {
        if (type == "VDM" || type == "VDO")
            continue;
        std::string sentence = "$II" + type;
        for (int k = 0; k < 30; ++k)
            sentence += "," + std::to_string(k);
        EXPECT_TRUE(decodeSentence(sentence).known) << type;
        EXPECT_EQ(decodeSentence("$II" + type + ",1").fields.size(), 1u) << type;
    }
    EXPECT_GE(decodedTypes().size(), 30u);
}

std::map<std::string, std::string> aisFields(const std::vector<std::string>& fragments) {
    return byName(AisDecoder::decode(fragments));
}

// AIS messages of the logs, whole and in fragments, as gpsdecode reads them.
TEST(LinkAisDecoder, ReportsReadAsAnIndependentDecoderReadsThem) {
    NEED_LOGS();
    AisDecoder joiner;
    std::vector<std::vector<std::string>> messages;
    for (const std::string& line : logLines("ais_unpack_sixbit.log"))
        if (auto whole = joiner.add(line))
            messages.push_back(*whole);
    ASSERT_EQ(messages.size(), 13u);
    const auto first = aisFields(messages[0]); // type 5, two fragments
    EXPECT_EQ(first.at("MessageType"), "5");
    EXPECT_EQ(first.at("MMSI"), "244660390");
    EXPECT_EQ(first.at("CallSign"), "PB4664");
    EXPECT_EQ(first.at("ShipName"), "LAHRINGEN");
    EXPECT_EQ(first.at("Destination"), "R'DAM/LWARDEN");
    EXPECT_EQ(first.at("Draught"), "3.0 m");
    const auto classB = aisFields(messages[9]); // type 19
    EXPECT_EQ(classB.at("MMSI"), "413778459");
    EXPECT_EQ(classB.at("ShipName"), "YUXINHUO10388");
    EXPECT_EQ(classB.at("Latitude"), "31.936722° N");
    EXPECT_EQ(classB.at("Longitude"), "120.180460° E");
    EXPECT_EQ(classB.at("CourseOverGround"), "69.7 °");
    EXPECT_EQ(classB.at("SpeedOverGround"), "0.0 kn");
    EXPECT_EQ(aisFields(messages[10]).at("HeadingTrue"), "");       // 511: not available
    EXPECT_EQ(aisFields(messages[11]).at("ShipName"), "HASNUR_05"); // type 24, part A
    const auto partB = aisFields(messages[12]);
    EXPECT_EQ(partB.at("CallSign"), "YD3747");
    EXPECT_EQ(partB.at("ShipType"), "52");

    const auto own = byName(decodeSentence("!AIVDM,1,1,,B,13aGhtw0R<OJf=6LgQ?Ad1FF05`L,0*24")); // saab-r4.log
    EXPECT_EQ(own.at("MessageType"), "1");
    EXPECT_EQ(own.at("MMSI"), "244707571");
    EXPECT_EQ(own.at("Latitude"), "50.231142° N");
    EXPECT_EQ(own.at("Longitude"), "8.143515° W");
    EXPECT_EQ(own.at("SpeedOverGround"), "14.0 kn");
    EXPECT_EQ(own.at("CourseOverGround"), "43.2 °");
}

// Fragments out of order, from another message, or cut short never make a message.
TEST(LinkAisDecoder, FragmentsJoinOnlyInOrder) {
    AisDecoder joiner;
    EXPECT_FALSE(joiner.add("!AIVDM,2,2,7,B,Q1C`8888880,2*63"));
    EXPECT_FALSE(
        joiner.add("!AIVDM,2,1,7,B,53aDpaT000010;CKKB0h4Q8TpLDr222222222216<P:656rd07Tai0CKk5hD,0*74"));
    EXPECT_FALSE(joiner.add("!AIVDM,2,2,3,B,Q1C`8888880,2*63")); // another message's second part
    EXPECT_FALSE(joiner.add("!AIVDM,2,2,7,B,Q1C`8888880,2*63")); // its first part was dropped
    EXPECT_FALSE(joiner.add("!AIVDM,x,1,,B,13aG,0"));
    EXPECT_FALSE(AisDecoder::decode({"!AIVDM,1,1,,B,1,0"}).known); // too short for a type and MMSI
    EXPECT_TRUE(AisDecoder::decode({"!AIVDM,1,1,,B,13aGhtw0,0"}).known);
}

} // namespace
