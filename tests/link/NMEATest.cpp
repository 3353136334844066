#include "link/NMEA.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <ctime>

using namespace std::string_literals;

namespace {

Bytes bytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// The buffer as the reader sees it after a check: text up to the first NUL.
std::string textOf(const Bytes& b) {
    std::string s(b.begin(), b.end());
    return s.substr(0, s.find('\0'));
}

const std::optional<std::string> nil;

} // namespace

TEST(LinkNMEA, ChecksumAndFraming) {
    const std::string gll = "$GPGLL,4916.45,N,12311.12,W,225448,A";
    struct Case {
        const char* what;
        std::string line;
        bool valid;
        std::string textAfter; // the text the fields are read from afterwards
    };
    const Case cases[] = {
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
    };
    for (const auto& c : cases) {
        Bytes b = bytes(c.line);
        EXPECT_EQ(NMEA::checkSumValid(b), c.valid) << c.what;
        EXPECT_EQ(textOf(b), c.textAfter) << c.what;
        EXPECT_EQ(b.size(), c.line.size()) << c.what;
    }
    Bytes empty;
    EXPECT_FALSE(NMEA::checkSumValid(empty));
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
    EXPECT_EQ(NMEA::address(bytes("$PQVXC"), 5, 2), nil);
    EXPECT_EQ(NMEA::address(reply, UINT_MAX, 2), nil);
    EXPECT_EQ(NMEA::address(reply, 2, UINT_MAX), nil);
    EXPECT_EQ(NMEA::address(reply, 12, 0), "");
    // The cut takes bytes as they stand, NULs included.
    EXPECT_EQ(NMEA::address(reply, 10, 2), "0\0"s);

    // Sentences from the recorded logs check command and talker; here the short ones.
    EXPECT_EQ(NMEA::prefix(reply), "P");
    EXPECT_EQ(NMEA::command(bytes("$GPRM")), nil);
    EXPECT_EQ(NMEA::prefix(Bytes{}), nil);

    struct Case {
        std::string buffer;
        unsigned count;
        std::vector<std::optional<std::string>> fields; // from index 0, one past the last
    };
    const Case cases[] = {
        {"$PQVXFL,,,\0junk,more"s, 4, {"$PQVXFL", "", "", "", nil}},
        {"$PQVXVER\0"s, 1, {"$PQVXVER", nil}},
        {",", 2, {"", "", nil}},
        {"\0,a,b"s, 0, {nil}},
        {"", 0, {nil}},
    };
    for (const auto& c : cases) {
        const Bytes b = bytes(c.buffer);
        EXPECT_EQ(NMEA::count(b), c.count) << c.buffer;
        for (unsigned i = 0; i < c.fields.size(); ++i)
            EXPECT_EQ(NMEA::parse(b, i), c.fields[i]) << c.buffer << " field " << i;
    }
    EXPECT_EQ(NMEA::parse(bytes("$A,b"), UINT_MAX), nil);

    EXPECT_EQ(NMEA::name("Way,point*1"s), "Way point 1");
    EXPECT_EQ(NMEA::name(nil), nil);
}

TEST(LinkNMEA, PositionFields) {
    struct Case {
        std::optional<std::string> value, hemisphere;
        float expected;
    };
    const float none = NMEA::kNoPosition;
    const Case cases[] = {
        {"4807.038", "N", 48.1173f},
        {"01131.000", "W", -11.516667f},
        {"12.5", "N", 0.2083333f}, // no degree digits: 12.5 minutes
        {"4807.038", "X", none},
        {"4807,038", "N", none},
        {"-4807.038", "N", none},
        {"4807.038", nil, none},
        {nil, "N", none},
        {"12", "N", none},   // too short
        {"4807", "N", none}, // no point
        {"1.50", "N", none}, // one minute digit
        {"4807.", "N", 48.116667f},
        {"4807.03.8", "N", 48.1172f}, // the fraction reads up to the second point
        {std::string(60, '9') + "00.0", "N", none},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(NMEA::position(c.value, c.hemisphere), c.expected, 1e-4)
            << c.value.value_or("nil") << " " << c.hemisphere.value_or("nil");
}

TEST(LinkNMEA, TimeFields) {
    struct Case {
        std::optional<std::string> utc;
        std::string formatted;
        int secondOfDay; // -1: no date
    };
    const Case cases[] = {
        {"123519.00", "12:35:19", 12 * 3600 + 35 * 60 + 19},
        {"235959.999", "23:59:59", 86399},
        {"12351", "", -1},
        {"1235a9", "", -1},
        {nil, "", -1},
    };
    using namespace std::chrono;
    for (const auto& c : cases) {
        EXPECT_EQ(NMEA::formatUtcToLocal(c.utc), c.formatted) << c.utc.value_or("nil");
        const auto before = floor<days>(system_clock::now());
        const auto date = NMEA::dateFromUtc(c.utc);
        const auto after = floor<days>(system_clock::now());
        if (c.secondOfDay < 0) {
            EXPECT_FALSE(date) << *c.utc;
            continue;
        }
        ASSERT_TRUE(date) << *c.utc;
        const auto offset = duration_cast<seconds>(*date - floor<days>(*date)).count();
        EXPECT_EQ(offset, c.secondOfDay) << *c.utc;
        EXPECT_TRUE(floor<days>(*date) == before || floor<days>(*date) == after) << *c.utc;
    }
}

// Both ways for every value; the edges of the armour ('0'..'W', '`'..'w') and of six-bit ASCII.
TEST(LinkNMEA, SixBitConversions) {
    std::string armour, ascii;
    for (uint8_t v = 0; v < 64; ++v) {
        EXPECT_EQ(NMEA::sixBitToBinary(NMEA::binaryToSixBit(v)), v);
        EXPECT_EQ(NMEA::asciiToBinary(NMEA::binaryToAscii(v)), v);
        armour += char(NMEA::binaryToSixBit(v));
        ascii += char(NMEA::binaryToAscii(v));
    }
    EXPECT_EQ(armour.substr(38, 4) + armour.back(), "VW`aw");
    EXPECT_EQ(ascii.substr(30, 4) + ascii.front() + ascii.back(), "^_ !@?");
}

TEST(LinkNMEA, BitAccess) {
    auto bitsOf = [](std::initializer_list<uint8_t> values) {
        std::vector<bool> bits;
        for (uint8_t v : values)
            for (int k = 5; k >= 0; --k)
                bits.push_back((v >> k) & 1);
        return bits;
    };
    const auto ab = bitsOf({0, 0, 1, 2, 0, 0});
    EXPECT_EQ(NMEA::getAsciiBits(ab, 0, 36), "AB");
    EXPECT_EQ(NMEA::getAsciiBits(ab, 0, 37), "");   // beyond the array
    EXPECT_EQ(NMEA::getAsciiBits(ab, 12, 8), "AB"); // last group reads bits past the count
    EXPECT_EQ(NMEA::getAsciiBits(bitsOf({1, 32, 9}), 0, 18), "A I");
    EXPECT_EQ(NMEA::getAsciiBits(bitsOf({1, 2}), 6, 6), "B");
    auto shortTail = bitsOf({1, 2});
    shortTail.resize(8); // the second group runs past the end: fill, trimmed away
    EXPECT_EQ(NMEA::getAsciiBits(shortTail, 0, 8), "A");
    EXPECT_EQ(NMEA::getAsciiBits(ab, UINT_MAX, 6), "");

    const auto bits = bitsOf({0x3f, 0x00, 0x2a, 0x15, 0x3f, 0x3f});
    EXPECT_EQ(NMEA::getUnsignedBits(bits, 0, 6), 63u);
    EXPECT_EQ(NMEA::getUnsignedBits(bits, 12, 12), 0xa95u);
    EXPECT_EQ(NMEA::getUnsignedBits(bits, 4, 4), 0xcu);
    EXPECT_EQ(NMEA::getUnsignedBits(bits, 4, 32), 0xc0a95fffu);
    EXPECT_EQ(NMEA::getUnsignedBits(bits, 30, 6), 63u);
    EXPECT_EQ(NMEA::getUnsignedBits(bits, 31, 6), 0u); // one beyond
    EXPECT_EQ(NMEA::getUnsignedBits(bits, UINT_MAX, 2), 0u);
}
