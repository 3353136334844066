// The toolkit against lines recorded from real receivers, sounders and AIS transponders.
#include "link/NMEA.h"

#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>

namespace {

using namespace testing_support;

const fs::path kLogs = fs::path(MUX_SHARED_DATA) / "nmea";

#define REQUIRE_LOGS()                                                                                       \
    if (!fs::is_directory(kLogs))                                                                            \
    GTEST_SKIP() << "sample logs not found in " << kLogs

struct LogLine {
    std::string file;
    std::string raw; // with its own line end, LF or CR LF
    std::string sentence() const { return raw.substr(0, raw.find_first_of("\r\n")); }
};

// The lines of every log, comments and blank lines left out.
std::vector<LogLine> logLines() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(kLogs))
        if (entry.path().extension() == ".log")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<LogLine> lines;
    for (const auto& path : files) {
        std::istringstream in(slurp(path));
        for (std::string raw; std::getline(in, raw);)
            if (LogLine line{path.filename().string(), raw + "\n"}; !line.sentence().empty() && raw[0] != '#')
                lines.push_back(line);
    }
    return lines;
}

// As the reader thread hands a line over: the bytes read, then one NUL.
Bytes buffer(const std::string& raw) {
    Bytes b(raw.begin(), raw.end());
    b.push_back(0);
    return b;
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

// The field of a checked sentence, parsed.
std::string field(const Bytes& b, unsigned index) {
    return NMEA::parse(b, index).value_or("<nil>");
}

} // namespace

TEST(LinkNMEAData, EveryChecksummedSentenceChecksAndReadsBack) {
    REQUIRE_LOGS();
    const auto lines = logLines();
    ASSERT_GT(lines.size(), 1500u);
    const std::regex fullChecksum(R"(\*[0-9A-Fa-f]{2}$)");
    std::map<std::string, int> valid;
    int refused = 0;
    for (const auto& line : lines) {
        valid.try_emplace(line.file, 0);
        const std::string s = line.sentence();
        Bytes b = buffer(line.raw);
        const bool ok = NMEA::checkSumValid(b);
        if (!std::regex_search(s, fullChecksum)) {
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
    // A selection: each kind of message once, text at each of its offsets.
    const std::map<size_t, Expected> expected = {
        {0, {5, 244660390, 112, 120, "LAHRINGEN"}},
        {2, {5, 367438020, 70, 42, "WDF3270"}},
        {3, {5, 214181421, 302, 120, "NOVOROSSIYSK;RUSSIA"}},
        {4, {21, 993672009, 43, 120, "FORT PIERCE INLET LB"}},
        {9, {19, 413778459, 143, 120, "YUXINHUO10388"}},
        {11, {24, 525003057, 40, 120, "HASNUR_05"}},
        {12, {24, 525003057, 90, 42, "YD3747"}},
    };
    ASSERT_EQ(payloads.size(), 13u);
    for (const auto& [i, e] : expected) {
        const auto bits = payloadBits(payloads[i]);
        EXPECT_EQ(NMEA::getUnsignedBits(bits, 0, 6), e.type) << i;
        EXPECT_EQ(NMEA::getUnsignedBits(bits, 8, 30), e.mmsi) << i;
        EXPECT_EQ(NMEA::getAsciiBits(bits, e.textStart, e.textBits), e.text) << i;
    }
}
