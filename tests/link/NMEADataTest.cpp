// The toolkit against lines recorded from real receivers, sounders and AIS transponders.

#include "link/NMEA.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>

namespace {

using namespace testing_support;

std::vector<bool> payloadBits(const std::string& payload) {
    std::vector<bool> bits;
    for (char c : payload)
        for (int k = 5; k >= 0; --k)
            bits.push_back((NMEA::sixBitToBinary(static_cast<uint8_t>(c)) >> k) & 1);
    return bits;
}

// Every line of every log (comments and blank lines left out), as the reader thread hands it over:
// the bytes read with their own line end, then one NUL. A checksummed sentence checks; its fields,
// joined again, give it back; command and talker are its letters. The one line cut short in the
// recording ("*7") is refused. The AIS messages, their parts joined, decode.
TEST(LinkNMEAData, RecordedSentencesCheckReadBackAndDecode) {
    const fs::path logs = fs::path(MUX_SHARED_DATA) / "nmea";
    if (!fs::is_directory(logs))
        GTEST_SKIP() << "sample logs not found in " << logs;
    const std::regex fullChecksum(R"(\*[0-9A-Fa-f]{2}$)");
    std::map<std::string, int> valid;
    int refused = 0, lines = 0;
    std::vector<std::string> payloads(1);
    for (const auto& entry : fs::directory_iterator(logs)) {
        const std::string file = entry.path().filename().string();
        std::istringstream in(slurp(entry.path()));
        for (std::string raw; entry.path().extension() == ".log" && std::getline(in, raw);) {
            const std::string s = raw.substr(0, raw.find('\r'));
            if (s.empty() || s[0] == '#')
                continue;
            ++lines;
            Bytes b(raw.begin(), raw.end());
            b.push_back('\n'), b.push_back(0);
            const bool ok = NMEA::checkSumValid(b);
            valid.try_emplace(file, 0);
            if (!std::regex_search(s, fullChecksum)) {
                EXPECT_FALSE(ok) << file << ": " << s;
                ++refused;
                continue;
            }
            ASSERT_TRUE(ok) << file << ": " << s;
            ++valid[file];
            const std::string body = s.substr(0, s.rfind('*'));
            const unsigned n = NMEA::count(b);
            ASSERT_EQ(n, std::count(body.begin(), body.end(), ',') + 1) << s;
            std::string joined;
            for (unsigned i = 0; i < n; ++i)
                joined += (i ? "," : "") + NMEA::parse(b, i).value_or("<nil>");
            EXPECT_EQ(joined, body) << file << ": " << s;
            EXPECT_FALSE(NMEA::parse(b, n)) << file << ": " << s;
            EXPECT_EQ(NMEA::command(b), body.substr(3, 3)) << s;
            EXPECT_EQ(NMEA::talker(b), body.substr(1, 2)) << s;
            if (file == "ais_unpack_sixbit.log") {
                payloads.back() += *NMEA::parse(b, 5);
                if (NMEA::parse(b, 1) == NMEA::parse(b, 2))
                    payloads.emplace_back();
            }
        }
    }
    EXPECT_GT(lines, 1500);
    EXPECT_EQ(refused, 1);
    for (const auto& [file, sentences] : valid)
        EXPECT_GT(sentences, 0) << file;

    // Message type, MMSI and a text field (vessel name, call sign or aid name): each kind of
    // message once, text at each of its offsets.
    const std::tuple<size_t, unsigned, uint32_t, unsigned, unsigned, std::string> expected[] = {
        {0, 5, 244660390, 112, 120, "LAHRINGEN"},
        {2, 5, 367438020, 70, 42, "WDF3270"},
        {3, 5, 214181421, 302, 120, "NOVOROSSIYSK;RUSSIA"},
        {4, 21, 993672009, 43, 120, "FORT PIERCE INLET LB"},
        {9, 19, 413778459, 143, 120, "YUXINHUO10388"},
        {11, 24, 525003057, 40, 120, "HASNUR_05"},
        {12, 24, 525003057, 90, 42, "YD3747"},
    };
    ASSERT_EQ(payloads.size(), 13u + 1); // and the one begun after the last
    for (const auto& [i, type, mmsi, textStart, textBits, text] : expected) {
        const auto bits = payloadBits(payloads[i]);
        EXPECT_EQ(NMEA::getUnsignedBits(bits, 0, 6), type) << i;
        EXPECT_EQ(NMEA::getUnsignedBits(bits, 8, 30), mmsi) << i;
        EXPECT_EQ(NMEA::getAsciiBits(bits, textStart, textBits), text) << i;
    }
}

} // namespace
