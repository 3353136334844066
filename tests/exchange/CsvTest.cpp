// CSV: waypoint lines in each position form, track lines with values not logged, reading rules.

#include "Helpers.h"
#include "exchange/CSVExport.h"
#include "exchange/CSVImport.h"
#include "nav/UnitsModel.h"

#include <cmath>

namespace {

using namespace exchange_test;

const std::string o = "\xC2\xBA"; // the degree mark of forms 0 and 3

// The position forms themselves are the formatters' (tests/nav); here the line around them, and
// the description as the rest of the line.
TEST(Csv, WaypointsInEachPositionForm) {
    const std::pair<unsigned, std::string> cases[] = {
        {0, "Kiel Light,54" + o + "30.00'N,010" + o + "16.38'E,lit, white\n"},
        {2, "Kiel Light,54.500000N,010.273050E,lit, white\n"}};
    for (const auto& [code, line] : cases) {
        PositionForm form(code);
        Models m;
        EXPECT_EQ(CSVExport::waypointLine(*place(m, "Kiel Light", 10.27305f, 54.5f, "lit, white")), line);
        Models back;
        ASSERT_TRUE(CSVImport(back.exchange()).importWaypointsText(line, &back.delegate)) << code;
        EXPECT_EQ(listed(back.waypoints),
                  code ? "Kiel Light|lit, white|0|10.2731,54.5\n" : "Kiel Light|lit, white|0|10.273,54.5\n");
    }
}

TEST(Csv, WaypointReadingRules) {
    const std::string form0 = "A,54" + o + "30.00'N,010" + o + "00.00'E\n";
    // Form, text, whether it reads, how many waypoints are made, the message shown last.
    const std::tuple<unsigned, std::string, bool, size_t, const char*> cases[] = {
        {2, form0, false, 0, "NSInvalidLatitudeFormat3"},              // written in form 0, read in form 2
        {2, "A,1.5N,2.5E\rB,1.5S,2.5W\r", true, 2, ""},                // carriage returns only
        {2, "A,1.5N,2.5E\nB,1.5N\nC,1N,1E\n", false, 1, ""},           // too few fields: stop
        {2, "A, B,1.5N,2.5E\n", false, 0, "NSInvalidLatitudeFormat3"}, // a comma in the name shifts
        {2, "A,1.5N,2.5E\n\nC,1N,1E\n", true, 1, ""},                  // an empty line ends the import
        {2, "A,91N,2.5E\n", false, 0, "NSInvalidLatitudeRange3"},
        {2, "", false, 0, ""},
    };
    for (const auto& [code, text, ok, made, message] : cases) {
        PositionForm form(code);
        Models m;
        EXPECT_EQ(CSVImport(m.exchange()).importWaypointsText(text, &m.delegate), ok) << text;
        const auto& shown = m.delegate.messages();
        EXPECT_EQ(m.waypoints.count(), made) << text;
        EXPECT_EQ(shown.empty() ? std::string() : shown.back(), message) << text;
    }
    PositionForm form(2);
    Models m;
    Route route; // made waypoints go into the route too; without a delegate nothing is made
    EXPECT_TRUE(CSVImport(m.exchange()).importWaypointsText("A,1N,1E\nB,2N,2E", &m.delegate, &route));
    EXPECT_FALSE(CSVImport(m.exchange()).importWaypointsText("C,1N,1E", nullptr, &route));
    EXPECT_EQ(route.count(), 2);
}

// Values not logged stay empty; the description is the rest of the line; a line without a zone is
// local time, one without a date is now.
TEST(Csv, TrackLinesRoundTrip) {
    Env tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    Folder folder;
    Models m;
    const ChartColor blue{0, 0, 1};
    ASSERT_TRUE(
        CSVImport(m.exchange())
            .importTracksText("2024-05-01 14:30:45,54.5,10.25\n" // three fields, local time
                              "2024-05-01 12:31:45 +0200,54.6,10.3,,,090,5.5,12.0,-045,14.2,reef, north\r\n"
                              "x\n"              // too short: skipped
                              "not a date,1,1\n" // skipped
                              ",1,2,,,,,,,\n",
                              blue));
    ASSERT_EQ(m.tracks.count(), 3u);
    const Track& first = *m.tracks.track(0);
    EXPECT_EQ(first.date(), 1714566645.0);
    EXPECT_EQ(first.name(), "1714566645");
    EXPECT_EQ(first.color(), blue);
    EXPECT_EQ(CSVExport::trackLine(first), "2024-05-01 12:30:45 +0000,54.500000,10.250000,,,,,,,\n");
    EXPECT_EQ(CSVExport::trackLine(*m.tracks.track(1)),
              "2024-05-01 10:31:45 +0000,54.599998,10.300000,,,090,5.5,12.0,-45,14.2,reef, north\n");
    EXPECT_GT(m.tracks.track(2)->date(), 1.7e9);

    ASSERT_TRUE(CSVExport(m.exchange()).exportTracks(folder.file("t.csv")));
    Models back;
    ASSERT_TRUE(CSVImport(back.exchange()).importTracks(folder.file("t.csv"), std::nullopt));
    ASSERT_EQ(back.tracks.count(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(CSVExport::trackLine(*back.tracks.track(i)), CSVExport::trackLine(*m.tracks.track(i)));
    EXPECT_FALSE(CSVImport(back.exchange()).importTracks(folder.file("none.csv"), std::nullopt));
}

} // namespace
