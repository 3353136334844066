// The importers' common operations and the date readers.

#include "Helpers.h"
#include "exchange/DateText.h"
#include "exchange/ExportText.h"
#include "exchange/LenientDate.h"

#include <charconv>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

using namespace exchange_test;

// Fixed-width forms count characters, not bytes: "å" is one place.
TEST(Importer, FixedForms) {
    const std::tuple<const char*, unsigned, bool, const char*, const char*> cases[] = {
        {"Hello world", 6, false, "HELLO-", "HELLO "},
        {"ab", 4, true, "AB  ", "AB  "},
        {"ab", 4, false, "AB", "AB  "},
        {"", 4, true, "", ""},
        {"\xC3\xA5r 2", 4, false, "-R-2", " R 2"},
        {"x", 0, true, "", ""}};
    for (const auto& [text, width, pad, name, description] : cases) {
        EXPECT_EQ(Importer::formattedName(text, width, pad), name) << text;
        EXPECT_EQ(Importer::formattedDescription(text, width, pad), description) << text;
    }
}

// Records made through the delegate only; a track point only within -180..180 by -90..90, the
// limits included (a pole, the date line, and what single precision rounds onto them).
TEST(Importer, RecordsFromTheDevice) {
    Models m;
    Importer importer(m.exchange());
    EXPECT_FALSE(importer.createWaypointFromGPS("A", {1, 1}, "", false));
    importer.setDelegate(&m.delegate);
    const struct {
        NavPoint position;
        bool made;
    } cases[] = {{{179.9f, 1}, true},     {{180, 1}, true},        {{-180, 1}, true},
                 {{1, -90}, true},        {{1, 90}, true},         {{179.999999f, 89.999998994f}, true},
                 {{180.0001f, 1}, false}, {{1, -90.0001f}, false}, {{kNoCoordinate, 1}, false}};
    for (const auto& c : cases)
        EXPECT_EQ(importer.createTrackFromGPS("t", c.position, 0, 0, 0, 0, 0, 0, 0, 0, 1000000) != nullptr,
                  c.made)
            << c.position.x << "," << c.position.y;
    EXPECT_EQ(m.tracks.count(), 6);
    EXPECT_EQ(m.tracks.firstTrack()->date(), 1000000.0);
}

TEST(Dates, LenientForms) {
    const double noon = 1714566645; // 2024-05-01 12:30:45 UTC
    auto read = [](const char* text) { return exchange::readDate(text, exchange::DefaultZone::Utc); };
    for (const char* text :
         {"2024-05-01 12:30:45", "05/01/2024 12:30:45", "01.05.2024 12:30:45", "1 May 2024 12:30:45",
          "May 1, 2024 12:30:45 PM", "may 1 2024 12:30:45 p.m.", "Wednesday, May 1, 2024 at 12:30:45",
          "01-May-2024 12:30:45 GMT", "2024-05-01T14:30:45+0200", "2024-05-01T07:30:45 -05",
          "12:30:45 UTC 2024-05-01"})
        EXPECT_EQ(read(text), noon) << '"' << text << '"';
    EXPECT_EQ(read("2024-05-01T12:30:45.25Z"), noon + 0.25);
    EXPECT_EQ(read("2024-05-01"), noon - 45045);
    EXPECT_EQ(read("2024-05-01T12:30"), noon - 45);
    for (const char* bad : {"May 2024", "2024-05-01 12:30:45 +1500", "2024-05-01 13:30:45 PM",
                            "2024-05-01 12:30:45 junk", "1 2 May 2024", "2023-02-29", "",
                            "2024-05-01T12:60:00", "99999999999999-05-01", "2024-05-01 12:30:45 ~"})
        EXPECT_FALSE(read(bad)) << '"' << bad << '"';
}

// The time form of nearly every GPX and KML file is read on a short path: it agrees with the
// general reading (upper-case letters only; a lower-case "t" or "z" takes the general one).
TEST(Dates, PlainUtcForm) {
    const double noon = 1714566645; // 2024-05-01 12:30:45 UTC
    const struct {
        const char* text;
        std::optional<double> date;
    } cases[] = {
        {"2024-05-01T12:30:45Z", noon},
        {"2024-05-01t12:30:45z", noon},
        {"2024-05-01T12:30:45.5Z", noon + 0.5},
        {"2024-05-01T12:30:45.123456789Z", noon + 0.123456789},
        {"2024-02-29T00:00:00Z", 1709164800},
        {"0001-01-01T00:00:00Z", -62135596800},
        {"2023-02-29T00:00:00Z", std::nullopt},
        {"2024-13-01T00:00:00Z", std::nullopt},
        {"2024-00-01T00:00:00Z", std::nullopt},
        {"0000-01-01T00:00:00Z", std::nullopt},
        {"2024-05-01T24:00:00Z", std::nullopt},
        {"2024-05-01T12:30:45.Z", std::nullopt},
        {"2024-05-01T12:30:45.1234567890Z", std::nullopt},
        {"2024-05-01T12:30:4xZ", std::nullopt},
        {"2024-05-01T12:30:45.5xZ", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto date = exchange::readDate(c.text, exchange::DefaultZone::Local);
        ASSERT_EQ(date.has_value(), c.date.has_value()) << c.text;
        if (date) {
            EXPECT_NEAR(*date, *c.date, 1e-6) << c.text;
        }
    }
}

TEST(Dates, WrittenForms) {
    const struct {
        double date;
        const char *iso, *standard;
    } cases[] = {
        {1714566645.75, "2024-05-01T12:30:45Z", "2024-05-01 12:30:45 +0000"},
        {0, "1970-01-01T00:00:00Z", "1970-01-01 00:00:00 +0000"},
        {-1, "1969-12-31T23:59:59Z", "1969-12-31 23:59:59 +0000"},
        {-1e15, "0001-01-01T00:00:00Z", "0001-01-01 00:00:00 +0000"},
        {1e15, "9999-12-31T23:59:59Z", "9999-12-31 23:59:59 +0000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(exchange::isoDateText(c.date), c.iso);
        EXPECT_EQ(exchange::standardDateText(c.date), c.standard);
    }
}

// Single-precision values take a shorter way to their digits: the same digits as the general
// conversion, ties to even included.
TEST(ExportText, FixedAgreesWithTheGeneralConversion) {
    const auto general = [](double value, int decimals) {
        char buffer[400];
        const auto r =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
        return std::string(buffer, r.ptr);
    };
    std::vector<double> values = {0.0,         -0.0,        0.5,         1.5,     2.5,           0.0078125,
                                  -0.0234375,  -1e-7,       179.999999f, -180.0f, 89.999998994f, 0.1,
                                  123456.789f, 999999936.0, 1e9,         -4.0e-45};
    unsigned seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245u + 12345u;
        values.push_back(static_cast<float>((static_cast<double>(seed >> 8) / (1 << 24) - 0.5) * 360.0));
    }
    for (double value : values)
        for (int decimals = 0; decimals <= 10; ++decimals)
            ASSERT_EQ(exchange::fixed(value, decimals), general(value, decimals)) << value << " " << decimals;
}

TEST(ExportText, EscapesAndNumbers) {
    EXPECT_EQ(exchange::xmlEscaped("a&b<c>d\"e'f]]>"), "a&amp;b&lt;c&gt;d\"e'f]]&gt;");
    EXPECT_EQ(exchange::xmlEscaped("x\ry\tz\n"), "x&#13;y\tz\n");
    EXPECT_EQ(exchange::xmlEscaped(std::string("\x01\x80\xC3\x28\xED\xA0\x80\xEF\xBF\xBE", 10)),
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD(\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(exchange::xmlEscaped("\xF0\x9F\x8C\x8A \xC3\xB8"), "\xF0\x9F\x8C\x8A \xC3\xB8");
    EXPECT_EQ(exchange::zeroPadded(-5, 3, 0) + exchange::zeroPadded(359.6, 3, 0), "-05360");
    float f = 0;
    EXPECT_TRUE(exchange::readFloat("+1.5e1", &f));
    EXPECT_EQ(f, 15.0f);
    for (const char* bad : {"", "1,5", "nan", "1e99", " 1", "--1", "++1"})
        EXPECT_FALSE(exchange::readFloat(bad, &f)) << bad;
}

} // namespace
