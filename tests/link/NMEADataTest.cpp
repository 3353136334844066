// The toolkit against lines recorded from real receivers, sounders and AIS transponders.
#include "link/NMEA.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const fs::path kLogs = fs::path(MUX_SHARED_DATA) / "nmea";

#define REQUIRE_LOGS()                                                                                       \
    if (!fs::is_directory(kLogs))                                                                            \
    GTEST_SKIP() << "sample logs not found in " << kLogs

struct LogLine {
    std::string file;
    std::string raw; // with its own line end, LF or CR LF
    std::string sentence() const { return raw.substr(0, raw.find_first_of("\r\n")); }
};

std::vector<LogLine> logLines() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(kLogs))
        if (entry.path().extension() == ".log")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<LogLine> lines;
    for (const auto& path : files) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        const std::string content = all.str();
        for (size_t start = 0; start < content.size();) {
            size_t end = content.find('\n', start);
            end = end == std::string::npos ? content.size() : end + 1;
            LogLine line{path.filename().string(), content.substr(start, end - start)};
            start = end;
            if (line.sentence().empty() || line.raw[0] == '#')
                continue;
            lines.push_back(line);
        }
    }
    return lines;
}

// As the reader thread hands a line over: the bytes read, then one NUL.
Bytes buffer(const std::string& raw) {
    Bytes b(raw.begin(), raw.end());
    b.push_back(0);
    return b;
}

bool hasFullChecksum(const std::string& s) {
    const size_t star = s.rfind('*');
    return star != std::string::npos && star + 3 == s.size() &&
           std::isxdigit(static_cast<unsigned char>(s[star + 1])) &&
           std::isxdigit(static_cast<unsigned char>(s[star + 2]));
}

std::vector<bool> payloadBits(const std::string& payload) {
    std::vector<bool> bits;
    for (char c : payload) {
        const uint8_t v = NMEA::sixBitToBinary(static_cast<uint8_t>(c));
        for (int k = 5; k >= 0; --k)
            bits.push_back((v >> k) & 1);
    }
    return bits;
}

int32_t signedBits(const std::vector<bool>& bits, unsigned start, unsigned count) {
    const uint32_t u = NMEA::getUnsignedBits(bits, start, count);
    return static_cast<int32_t>(u << (32 - count)) >> (32 - count);
}

// The field of a checked sentence, parsed.
std::string field(const Bytes& b, unsigned index) {
    return NMEA::parse(b, index).value_or("<nil>");
}

} // namespace

TEST(LinkNMEAData, EveryChecksummedSentenceChecksAndReadsBack) {
    REQUIRE_LOGS();
    const auto lines = logLines();
    ASSERT_GT(lines.size(), 1500u);
    std::map<std::string, int> valid;
    int refused = 0;
    for (const auto& line : lines) {
        valid.try_emplace(line.file, 0);
        const std::string s = line.sentence();
        Bytes b = buffer(line.raw);
        const bool ok = NMEA::checkSumValid(b);
        if (!hasFullChecksum(s)) {
            // A line cut short in the recording ("*7"): refused, never read further.
            EXPECT_FALSE(ok) << line.file << ": " << s;
            ++refused;
            continue;
        }
        ASSERT_TRUE(ok) << line.file << ": " << s;
        ++valid[line.file];

        // The fields, joined again, give back the sentence without its checksum.
        const std::string body = s.substr(0, s.rfind('*'));
        const unsigned n = NMEA::count(b);
        ASSERT_EQ(n, std::count(body.begin(), body.end(), ',') + 1) << s;
        std::string joined;
        for (unsigned i = 0; i < n; ++i)
            joined += (i ? "," : "") + field(b, i);
        EXPECT_EQ(joined, body) << line.file;
        EXPECT_FALSE(NMEA::parse(b, n)) << s;
        EXPECT_EQ(NMEA::command(b), body.substr(3, 3)) << s;
        EXPECT_EQ(NMEA::talker(b), body.substr(1, 2)) << s;
    }
    EXPECT_EQ(refused, 1);
    for (const auto& [file, sentences] : valid)
        EXPECT_GT(sentences, 0) << file;
}

TEST(LinkNMEAData, PositionAndTimeFields) {
    REQUIRE_LOGS();
    int positions = 0;
    for (const auto& line : logLines()) {
        Bytes b = buffer(line.raw);
        if (!NMEA::checkSumValid(b))
            continue;
        const std::string code = NMEA::command(b).value_or("");
        unsigned time = 0, lat = 0;
        if (code == "GGA")
            time = 1, lat = 2;
        else if (code == "RMC")
            time = 1, lat = 3;
        else if (code == "GLL")
            time = 5, lat = 1;
        else
            continue;
        const float y = NMEA::position(NMEA::parse(b, lat), NMEA::parse(b, lat + 1));
        const float x = NMEA::position(NMEA::parse(b, lat + 2), NMEA::parse(b, lat + 3));
        if (field(b, lat).empty()) {
            EXPECT_EQ(y, NMEA::kNoPosition) << line.sentence();
            continue;
        }
        ++positions;
        EXPECT_LE(std::abs(y), 90.0f) << line.sentence();
        EXPECT_LE(std::abs(x), 180.0f) << line.sentence();
        // The hemisphere gives the sign.
        EXPECT_EQ(y < 0, field(b, lat + 1) == "S") << line.sentence();
        EXPECT_EQ(x < 0, field(b, lat + 3) == "W") << line.sentence();

        const std::string utc = field(b, time);
        if (!utc.empty()) {
            EXPECT_EQ(NMEA::formatUtcToLocal(utc).size(), 8u) << utc;
            EXPECT_TRUE(NMEA::dateFromUtc(utc)) << utc;
        }
    }
    EXPECT_GT(positions, 300);
}

TEST(LinkNMEAData, AisPayloadsDecode) {
    REQUIRE_LOGS();
    // Multi-part messages joined in order; each armoured character survives the round trip.
    std::vector<std::string> payloads;
    std::string pending;
    for (const auto& line : logLines()) {
        if (line.file != "ais_unpack_sixbit.log")
            continue;
        Bytes b = buffer(line.raw);
        ASSERT_TRUE(NMEA::checkSumValid(b));
        const std::string payload = field(b, 5);
        for (char c : payload)
            ASSERT_EQ(NMEA::binaryToSixBit(NMEA::sixBitToBinary(static_cast<uint8_t>(c))),
                      static_cast<uint8_t>(c));
        pending += payload;
        if (field(b, 1) == field(b, 2)) {
            payloads.push_back(pending);
            pending.clear();
        }
    }

    // Message type, MMSI and a text field (vessel name, call sign or aid name) of each message.
    struct Expected {
        unsigned type;
        uint32_t mmsi;
        unsigned textStart, textBits;
        std::string text;
    };
    const Expected expected[] = {
        {5, 244660390, 112, 120, "LAHRINGEN"},
        {5, 244538000, 112, 120, "ARCTIC SUNRISE"},
        {5, 367438020, 70, 42, "WDF3270"},
        {5, 214181421, 302, 120, "NOVOROSSIYSK;RUSSIA"},
        {21, 993672009, 43, 120, "FORT PIERCE INLET LB"},
        {5, 244730351, 112, 120, "WILJO"},
        {21, 993672028, 43, 120, "HILLSBRGH CUT C CH L"},
        {5, 244630162, 70, 42, "PE6235"},
        {21, 993672009, 43, 120, "FORT PIERCE INLET LB"},
        {19, 413778459, 143, 120, "YUXINHUO10388"},
        {19, 413990342, 143, 120, "GUIGANG GANGTAI 889"},
        {24, 525003057, 40, 120, "HASNUR_05"},
        {24, 525003057, 90, 42, "YD3747"},
    };
    ASSERT_EQ(payloads.size(), std::size(expected));
    for (size_t i = 0; i < payloads.size(); ++i) {
        const auto bits = payloadBits(payloads[i]);
        EXPECT_EQ(NMEA::getUnsignedBits(bits, 0, 6), expected[i].type) << i;
        EXPECT_EQ(NMEA::getUnsignedBits(bits, 8, 30), expected[i].mmsi) << i;
        EXPECT_EQ(NMEA::getAsciiBits(bits, expected[i].textStart, expected[i].textBits), expected[i].text)
            << i;
    }
}

TEST(LinkNMEAData, OwnShipAisPositionAgreesWithTheReceiver) {
    REQUIRE_LOGS();
    // The same recording holds the vessel's own AIS reports and its GPS fixes.
    std::vector<std::pair<float, float>> fixes;
    std::vector<std::pair<float, float>> reports;
    const auto lines = logLines();
    // The recording of a transponder: the one log that holds own-ship reports.
    const auto own = std::find_if(lines.begin(), lines.end(),
                                  [](const auto& line) { return line.raw.starts_with("!AIVDO"); });
    ASSERT_NE(own, lines.end());
    for (const auto& line : lines) {
        if (line.file != own->file)
            continue;
        Bytes b = buffer(line.raw);
        ASSERT_TRUE(NMEA::checkSumValid(b));
        if (NMEA::command(b) == "GGA") {
            fixes.emplace_back(NMEA::position(NMEA::parse(b, 2), NMEA::parse(b, 3)),
                               NMEA::position(NMEA::parse(b, 4), NMEA::parse(b, 5)));
        } else if (NMEA::parse(b, 0) == "!AIVDO") {
            const auto bits = payloadBits(field(b, 5));
            ASSERT_EQ(NMEA::getUnsignedBits(bits, 0, 6), 1u);
            reports.emplace_back(signedBits(bits, 89, 27) / 600000.0f, signedBits(bits, 61, 28) / 600000.0f);
        }
    }
    ASSERT_FALSE(fixes.empty());
    ASSERT_GE(reports.size(), 10u);
    for (const auto& [lat, lon] : reports) {
        EXPECT_NEAR(lat, fixes.front().first, 1e-3);
        EXPECT_NEAR(lon, fixes.front().second, 1e-3);
    }
}
