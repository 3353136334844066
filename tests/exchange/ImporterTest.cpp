// The importers' common operations and the date readers.

#include "Helpers.h"
#include "nav/exchange/DateText.h"
#include "nav/exchange/ExportText.h"

#include <cstdlib>

namespace {

using namespace exchange_test;

TEST(Importer, FixedForms) {
    struct Case {
        const char* text;
        unsigned width;
        bool pad;
        const char* name;
        const char* description;
    } cases[] = {
        {"Hello world", 6, false, "HELLO-", "HELLO "},
        {"ab", 4, true, "AB  ", "AB  "},
        {"ab", 4, false, "AB", "AB  "},
        {"", 4, true, "", ""},
        {"\xC3\xA5r 2", 4, false, "-R-2", " R 2"},
        {"x", 0, true, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Importer::formattedName(c.text, c.width, c.pad), c.name) << c.text;
        EXPECT_EQ(Importer::formattedDescription(c.text, c.width, c.pad), c.description) << c.text;
    }
    EXPECT_EQ(Importer::stringFromPosition(12.5f, 0), "1230.000");
    EXPECT_EQ(Importer::stringFromPosition(-151.25f, 1), "15115.000");
}

TEST(Importer, DelegateCallsAndTheMatchList) {
    Models m;
    Importer importer(m.exchange());
    EXPECT_FALSE(importer.createWaypointFromGPS("A", {1, 1}, "", false)); // no delegate
    importer.setDelegate(&m.delegate);
    EXPECT_TRUE(importer.createWaypointFromGPS("A", {1, 1}, "d", false));
    EXPECT_FALSE(importer.createWaypointFromGPS("B", {1, 90}, "", false)); // the model could not keep it
    EXPECT_TRUE(importer.createTrackFromGPS("t", {179.9f, 1}, 0, 0, 0, 0, 0, 0, 0, 0, 1000000));
    EXPECT_FALSE(importer.createTrackFromGPS("t", {180, 1}, 0, 0, 0, 0, 0, 0, 0, 0, 1000000));
    EXPECT_FALSE(importer.createTrackFromGPS("t", {1, -90}, 0, 0, 0, 0, 0, 0, 0, 0, 1000000));
    EXPECT_EQ(m.tracks.count(), 1u);
    EXPECT_EQ(m.tracks.firstTrack()->date(), 1000000.0);
    EXPECT_EQ(importer.count(), 0u);
    m.waypoints.setMatch(std::nullopt);
    EXPECT_EQ(importer.count(), 1u);
    EXPECT_EQ(importer.waypoint(0)->description(), "d");
    EXPECT_FALSE(importer.waypoint(1));
}

TEST(Dates, FixedPositionsInLocalTime) {
    Env tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_FALSE(Importer::dateFromString("2024-05-0"));
    EXPECT_EQ(Importer::dateFromString("2024-05-01"), 1714514400.0);
    EXPECT_EQ(Importer::dateFromString("2024-05-01T12:30:45Z"), 1714566645.0 - 7200); // zone not read
    EXPECT_EQ(Importer::dateFromString("2024-01-01T12:30:45"), 1704112245.0 - 3600);
    EXPECT_FALSE(Importer::dateFromString("2024-13-01"));
    EXPECT_FALSE(Importer::dateFromString("yyyy-mm-dd"));
    // A text without a zone read as local time by the lenient reader; with one, in that zone.
    EXPECT_EQ(exchange::readDate("2024-05-01 12:30:45", exchange::DefaultZone::Local), 1714566645.0 - 7200);
    EXPECT_EQ(exchange::readDate("2024-05-01 12:30:45 +0000", exchange::DefaultZone::Local), 1714566645.0);
}

TEST(Dates, LenientForms) {
    const double noon = 1714566645; // 2024-05-01 12:30:45 UTC
    struct Case {
        const char* text;
        std::optional<double> date;
    } cases[] = {
        {"2024-05-01T12:30:45.25Z", noon + 0.25},
        {"2024-05-01 12:30:45", noon},
        {"05/01/2024 12:30:45", noon},
        {"01.05.2024 12:30:45", noon},
        {"1 May 2024 12:30:45", noon},
        {"May 1, 2024 12:30:45 PM", noon},
        {"may 1 2024 12:30:45 p.m.", noon},
        {"Wednesday, May 1, 2024 at 12:30:45", noon},
        {"01-May-2024 12:30:45 GMT", noon},
        {"2024-05-01T14:30:45+0200", noon},
        {"2024-05-01T07:30:45 -05", noon},
        {"12:30:45 UTC 2024-05-01", noon},
        {"2024-05-01", noon - 45045},
        {"2024-05-01T12:30", noon - 45},
        {"May 2024", {}},
        {"2024-05-01 12:30:45 +1500", {}},
        {"2024-05-01 13:30:45 PM", {}},
        {"2024-05-01 12:30:45 junk", {}},
        {"1 2 May 2024", {}},
        {"2023-02-29", {}},
        {"", {}},
        {"2024-05-01T12:60:00", {}},
        {"99999999999999-05-01", {}},
        {"2024-05-01 12:30:45 ~", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(exchange::readDate(c.text, exchange::DefaultZone::Utc), c.date) << '"' << c.text << '"';
    EXPECT_EQ(exchange::isoDateText(noon + 0.9), "2024-05-01T12:30:45Z");
    EXPECT_EQ(exchange::standardDateText(-1), "1969-12-31 23:59:59 +0000");
}

TEST(ExportText, EscapesAndNumbers) {
    EXPECT_EQ(exchange::xmlEscaped("a&b<c>d\"e'f]]>"), "a&amp;b&lt;c&gt;d\"e'f]]&gt;");
    EXPECT_EQ(exchange::xmlEscaped("x\ry\tz\n"), "x&#13;y\tz\n");
    EXPECT_EQ(exchange::xmlEscaped(std::string("\x01\x80\xC3\x28\xED\xA0\x80\xEF\xBF\xBE", 10)),
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD(\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(exchange::xmlEscaped("\xF0\x9F\x8C\x8A \xC3\xB8"), "\xF0\x9F\x8C\x8A \xC3\xB8");
    EXPECT_EQ(exchange::zeroPadded(5, 3, 0), "005");
    EXPECT_EQ(exchange::zeroPadded(-5, 3, 0), "-05");
    EXPECT_EQ(exchange::zeroPadded(359.6, 3, 0), "360");
    EXPECT_EQ(exchange::fixed(-0.0000004, 6), "-0.000000");
    float f = 0;
    EXPECT_TRUE(exchange::readFloat("+1.5e1", &f));
    EXPECT_EQ(f, 15.0f);
    for (const char* bad : {"", "1,5", "nan", "1e99", " 1", "--1", "++1"})
        EXPECT_FALSE(exchange::readFloat(bad, &f)) << bad;
}

} // namespace
