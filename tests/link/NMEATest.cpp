// The sentence toolkit at its edges (recorded sentences: NMEADataTest).

#include "link/NMEA.h"

#include <gtest/gtest.h>

#include <climits>

using namespace std::string_literals;

namespace {

Bytes bytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

const std::optional<std::string> nil;

// Whether the line checks, and the text the fields are read from afterwards (up to the first NUL).
TEST(LinkNMEA, ChecksumAndFraming) {
    const std::string gll = "$GPGLL,4916.45,N,12311.12,W,225448,A";
    const std::tuple<const char*, std::string, bool, std::string> cases[] = {
        {"upper-case digits", gll + "*3D\r\n\0"s, true, gll},
        {"lower-case digits", gll + "*3d\r\n\0"s, true, gll},
        {"wrong checksum cuts at the star too", gll + "*3E\r\n\0"s, false, gll},
        {"encapsulated sentence", "!AIVDM,1,1,,A,H7lca<DlPPPPPPPI4koloP1h>550,0*0E\r\n\0"s, true,
         "!AIVDM,1,1,,A,H7lca<DlPPPPPPPI4koloP1h>550,0"},
        {"reply without checksum", "$PQVXVE,1.0\r\n\0"s, true, "$PQVXVE,1.0"},
        {"truncated reply: no CR", "$PQVXVE,1.0\0"s, false, "$PQVXVE,1.0"},
        {"leading blank", " " + gll + "*3D\r\n\0"s, false, " " + gll + "*3D\r\n"},
        {"other start byte", "#" + gll.substr(1) + "*3D\r\n", false, "#" + gll.substr(1) + "*3D\r\n"},
        {"non-hex digits read as 0, nothing between", "$*zz\r\n"s, true, "$"},
        {"star as the last byte", "$A*", false, "$A"},
        {"one digit only", "$GPGSV,3*7\r\n", false, "$GPGSV,3"},
        {"high bytes", "$\xff\xfe*01\r\n", true, "$\xff\xfe"},
        {"star beyond the NUL is not seen", "$A\0*41\r\n"s, false, "$A"},
        {"start byte alone", "$", false, "$"},
        {"nothing", "", false, ""},
    };
    for (const auto& [what, line, valid, textAfter] : cases) {
        Bytes b = bytes(line);
        EXPECT_EQ(NMEA::checkSumValid(b), valid) << what;
        const std::string after(b.begin(), b.end());
        EXPECT_EQ(after.substr(0, after.find('\0')), textAfter) << what;
        EXPECT_EQ(b.size(), line.size()) << what;
    }
    EXPECT_FALSE(NMEA::checkSumValid(nullptr));
    // The tail a sender appends is the one the check accepts.
    EXPECT_EQ(NMEA::checkSumTail(gll), "*3D\r\n");
    for (const std::string sentence : {"$PQVXFL", "!AIVDM,1,1,,A,13u", "$\xff\x80", "$"}) {
        Bytes line = bytes(sentence + NMEA::checkSumTail(sentence));
        EXPECT_TRUE(NMEA::checkSumValid(line)) << sentence;
    }
}

TEST(LinkNMEA, AddressCutsAndFields) {
    const Bytes reply = bytes("$PQVXCF,1,0\0"s);
    EXPECT_EQ(NMEA::address(reply, 5, 2), "CF");
    EXPECT_EQ(NMEA::address(reply, 10, 2), "0\0"s);
    EXPECT_EQ(NMEA::address(reply, 12, 0), ""); // NULs as they stand
    EXPECT_FALSE(NMEA::address(bytes("$PQVXC"), 5, 2));
    EXPECT_FALSE(NMEA::address(reply, UINT_MAX, 2));
    EXPECT_FALSE(NMEA::address(reply, 2, UINT_MAX));
    // Command and talker of ordinary sentences: NMEADataTest; here the short ones.
    EXPECT_EQ(NMEA::prefix(reply), "P");
    EXPECT_FALSE(NMEA::command(bytes("$GPRM")));
    EXPECT_FALSE(NMEA::prefix(Bytes{}));

    // The buffer, its field count, its fields from index 0 to one past the last.
    const std::tuple<std::string, unsigned, std::vector<std::optional<std::string>>> cases[] = {
        {"$PQVXFL,,,\0junk,more"s, 4, {"$PQVXFL", "", "", "", nil}},
        {"$PQVXVER\0"s, 1, {"$PQVXVER", nil}},
        {",", 2, {"", "", nil}},
        {"\0,a,b"s, 0, {nil}},
        {"", 0, {nil}},
    };
    for (const auto& [buffer, count, fields] : cases) {
        const Bytes b = bytes(buffer);
        EXPECT_EQ(NMEA::count(b), count) << buffer;
        for (unsigned i = 0; i < fields.size(); ++i)
            EXPECT_EQ(NMEA::parse(b, i), fields[i]) << buffer << " field " << i;
    }
    EXPECT_EQ(NMEA::parse(bytes("$A,b"), UINT_MAX), nil);
    EXPECT_EQ(NMEA::name("Way,point*1"s), "Way point 1");
    EXPECT_EQ(NMEA::name(nil), nil);
}

TEST(LinkNMEA, PositionAndTimeFields) {
    // No degree digits (12.5 minutes); too short, no point, one minute digit; the fraction read up to
    // a second point.
    const float none = NMEA::kNoPosition;
    const std::string huge = std::string(60, '9') + "00.0";
    // clang-format off
    const std::tuple<std::optional<std::string>, std::optional<std::string>, float> positions[] = {
        {"4807.038", "N", 48.1173f}, {"01131.000", "W", -11.516667f}, {"12.5", "N", 0.2083333f},
        {"4807.038", "X", none},     {"4807,038", "N", none},         {"-4807.038", "N", none},
        {"4807.038", nil, none},     {nil, "N", none},                {"12", "N", none},
        {"4807", "N", none},         {"1.50", "N", none},             {"4807.", "N", 48.116667f},
        {"4807.03.8", "N", 48.1172f}, {huge, "N", none},
    };
    // clang-format on
    for (const auto& [value, hemisphere, expected] : positions)
        EXPECT_NEAR(NMEA::position(value, hemisphere), expected, 1e-4)
            << value.value_or("nil") << " " << hemisphere.value_or("nil");

    // A time of day: shown as it is; as a date, today (by the clock when read) at that second.
    using namespace std::chrono;
    // clang-format off
    const std::tuple<std::optional<std::string>, std::string, int> times[] = {
        {"123519.00", "12:35:19", 45319}, {"235959.999", "23:59:59", 86399}, {"12351", "", -1}, {"1235a9", "", -1},
        {nil, "", -1},
    };
    // clang-format on
    for (const auto& [utc, formatted, second] : times) {
        EXPECT_EQ(NMEA::formatUtcToLocal(utc), formatted) << utc.value_or("nil");
        // Today's date: read again when midnight passed during the call.
        auto today = floor<days>(system_clock::now());
        auto date = NMEA::dateFromUtc(utc);
        while (floor<days>(system_clock::now()) != today) {
            today = floor<days>(system_clock::now());
            date = NMEA::dateFromUtc(utc);
        }
        ASSERT_EQ(date.has_value(), second >= 0) << utc.value_or("nil");
        if (date) {
            EXPECT_EQ(duration_cast<seconds>(*date - floor<days>(*date)).count(), second) << *utc;
            EXPECT_EQ(floor<days>(*date), today) << *utc;
        }
    }
}

// Both ways for every value; the edges of the armour ('0'..'W', '`'..'w') and of six-bit ASCII.
TEST(LinkNMEA, SixBitConversionsAndBitAccess) {
    std::string armour, ascii;
    for (uint8_t v = 0; v < 64; ++v) {
        EXPECT_EQ(NMEA::sixBitToBinary(NMEA::binaryToSixBit(v)), v);
        EXPECT_EQ(NMEA::asciiToBinary(NMEA::binaryToAscii(v)), v);
        armour += char(NMEA::binaryToSixBit(v));
        ascii += char(NMEA::binaryToAscii(v));
    }
    EXPECT_EQ(armour.substr(38, 4) + armour.back(), "VW`aw");
    EXPECT_EQ(ascii.substr(30, 4) + ascii.front() + ascii.back(), "^_ !@?");

    auto bitsOf = [](std::initializer_list<uint8_t> values) {
        std::vector<bool> bits;
        for (uint8_t v : values)
            for (int k = 5; k >= 0; --k)
                bits.push_back((v >> k) & 1);
        return bits;
    };
    // Beyond the array; the last group reading bits past the count; a group running past the end
    // (fill, trimmed away).
    const auto ab = bitsOf({0, 0, 1, 2, 0, 0});
    auto shortTail = bitsOf({1, 2});
    shortTail.resize(8);
    const std::tuple<std::vector<bool>, unsigned, unsigned, std::string> texts[] = {
        {ab, 0, 36, "AB"},           {ab, 0, 37, ""},
        {ab, 12, 8, "AB"},           {bitsOf({1, 32, 9}), 0, 18, "A I"},
        {bitsOf({1, 2}), 6, 6, "B"}, {shortTail, 0, 8, "A"},
        {ab, UINT_MAX, 6, ""},
    };
    for (const auto& [bits, start, count, text] : texts)
        EXPECT_EQ(NMEA::getAsciiBits(bits, start, count), text) << start << "+" << count;
    const auto bits = bitsOf({0x3f, 0x00, 0x2a, 0x15, 0x3f, 0x3f});
    const std::tuple<unsigned, unsigned, uint32_t> numbers[] = {
        // to the last bit, one beyond
        {0, 6, 63u},  {12, 12, 0xa95u}, {4, 4, 0xcu},      {4, 32, 0xc0a95fffu},
        {30, 6, 63u}, {31, 6, 0u},      {UINT_MAX, 2, 0u},
    };
    for (const auto& [start, count, value] : numbers)
        EXPECT_EQ(NMEA::getUnsignedBits(bits, start, count), value) << start << "+" << count;
}

} // namespace
