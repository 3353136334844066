// CSV: waypoint lines in each position form, track lines with values not logged, reading rules.

#include "Helpers.h"
#include "nav/UnitsModel.h"
#include "nav/exchange/CSVExport.h"
#include "nav/exchange/CSVImport.h"

#include <cmath>

namespace {

using namespace exchange_test;

struct PositionForm {
    unsigned saved = UnitsModel::units().positionFormatUnits();
    explicit PositionForm(unsigned form) { UnitsModel::units().setPositionFormatUnits(form); }
    ~PositionForm() { UnitsModel::units().setPositionFormatUnits(saved); }
};

const std::string o = "\xC2\xBA"; // the degree mark of forms 0 and 3

TEST(Csv, WaypointsInEachPositionForm) {
    struct Case {
        unsigned form;
        std::string line;
        float tolerance; // degrees the form keeps
    } cases[] = {
        {0, "Kiel Light,54" + o + "30.00'N,010" + o + "16.38'E,lit, white\n", 1.0f / 6000},
        {1, "Kiel Light,N54.30.000,E010.16.383,lit, white\n", 1.0f / 60000},
        {2, "Kiel Light,54.500000N,010.273050E,lit, white\n", 2e-6f},
        {3, "Kiel Light,54" + o + "30'00.0\"N,010" + o + "16'23.0\"E,lit, white\n", 1.0f / 36000},
    };
    for (const Case& c : cases) {
        PositionForm form(c.form);
        Waypoint w;
        w.setName("Kiel Light");
        w.setPositionOnGPS({10.27305f, 54.5f});
        w.setDescription("lit, white");
        EXPECT_EQ(CSVExport::waypointLine(w), c.line) << c.form;
        Models m;
        CSVImport importer(m.exchange());
        ASSERT_TRUE(importer.importWaypointsText(c.line, &m.delegate)) << c.form << importer.error();
        ASSERT_EQ(m.waypoints.count(), 1u);
        EXPECT_NEAR(m.waypoints.at(0)->longitude(), 10.27305f, c.tolerance) << c.form;
        EXPECT_NEAR(m.waypoints.at(0)->latitude(), 54.5f, c.tolerance);
        EXPECT_EQ(m.waypoints.at(0)->description(), "lit, white"); // the rest of the line
    }
}

TEST(Csv, WaypointReadingRules) {
    const std::string form0 = "A,54" + o + "30.00'N,010" + o + "00.00'E\n";
    struct Case {
        unsigned form;
        std::string text;
        bool ok;
        size_t waypoints;
        const char* message;
    } cases[] = {
        {0, form0, true, 1, ""},
        {2, form0, false, 0, "NSInvalidLatitudeFormat3"},              // written in form 0, read in form 2
        {2, "A,1.5N,2.5E\rB,1.5S,2.5W\r", true, 2, ""},                // carriage returns only
        {2, "A,1.5N,2.5E\nB,1.5N\nC,1N,1E\n", false, 1, ""},           // too few fields: stop
        {2, "A, B,1.5N,2.5E\n", false, 0, "NSInvalidLatitudeFormat3"}, // a comma in the name shifts
        {2, "A,1.5N,2.5E\n\nC,1N,1E\n", true, 1, ""},                  // an empty line ends the import
        {2, "A,91N,2.5E\n", false, 0, "NSInvalidLatitudeRange3"},
        {2, "", false, 0, ""},
    };
    for (const Case& c : cases) {
        PositionForm form(c.form);
        Models m;
        CSVImport importer(m.exchange());
        EXPECT_EQ(importer.importWaypointsText(c.text, &m.delegate), c.ok) << c.text;
        EXPECT_EQ(m.waypoints.count(), c.waypoints) << c.text;
        const auto& shown = m.delegate.messages();
        EXPECT_EQ(shown.empty() ? std::string() : shown.back(), c.message) << c.text;
    }
    PositionForm form(2);
    Models m;
    Route route;
    CSVImport importer(m.exchange());
    EXPECT_FALSE(importer.importRoute("/nonexistent.csv", &m.delegate, &route));
    EXPECT_FALSE(importer.importRoute("/nonexistent.csv", &m.delegate, nullptr));
    EXPECT_TRUE(importer.importWaypointsText("A,1N,1E\nB,2N,2E", &m.delegate, &route));
    EXPECT_EQ(route.count(), 2u);
    EXPECT_FALSE(importer.importWaypointsText("A,1N,1E\nB,2N,2E", nullptr, &route)); // nothing made
}

TEST(Csv, TrackLinesRoundTrip) {
    Folder folder;
    Models m;
    CSVImport importer(m.exchange());
    const ChartColor blue{0, 0, 1};
    ASSERT_TRUE(importer.importTracksText(
        "2024-05-01 12:30:45 +0000,54.5,10.25\n" // three fields
        "2024-05-01 12:31:45 +0200,54.6,10.3,,,090,5.5,12.0,-045,14.2,reef, north\r\n"
        "x\n"              // too short: skipped
        "not a date,1,1\n" // skipped
        ",1,2,,,,,,,\n",   // no date: now
        blue));
    ASSERT_EQ(m.tracks.count(), 3u);
    const Track& first = *m.tracks.track(0);
    EXPECT_EQ(first.date(), 1714566645.0);
    EXPECT_EQ(first.name(), "1714566645");
    EXPECT_EQ(first.positionOnGPS(), (NavPoint{10.25f, 54.5f}));
    EXPECT_EQ(first.cog(), kNotLogged);
    EXPECT_EQ(first.windSpeed(), kNotLogged);
    EXPECT_EQ(first.color(), blue);
    const Track& second = *m.tracks.track(1);
    EXPECT_EQ(second.date(), 1714566645.0 + 60 - 7200);
    EXPECT_EQ(second.sog(), kNotLogged);
    EXPECT_EQ(second.heading(), 90.0f);
    EXPECT_EQ(second.windAngle(), -45.0f);
    EXPECT_EQ(second.temperature(), kNotLogged);
    EXPECT_EQ(second.description(), "reef, north");
    EXPECT_GT(m.tracks.track(2)->date(), 1.7e9);

    EXPECT_EQ(CSVExport::trackLine(first), "2024-05-01 12:30:45 +0000,54.500000,10.250000,,,,,,,\n");
    EXPECT_EQ(CSVExport::trackLine(second),
              "2024-05-01 10:31:45 +0000,54.599998,10.300000,,,090,5.5,12.0,-45,14.2,reef, north\n");

    ASSERT_TRUE(CSVExport(m.exchange()).exportTracks(folder.file("t.csv")));
    Models back;
    ASSERT_TRUE(CSVImport(back.exchange()).importTracks(folder.file("t.csv"), std::nullopt));
    ASSERT_EQ(back.tracks.count(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(CSVExport::trackLine(*back.tracks.track(i)), CSVExport::trackLine(*m.tracks.track(i)));
        EXPECT_EQ(back.tracks.track(i)->date(), std::floor(m.tracks.track(i)->date()));
    }
    EXPECT_TRUE(CSVExport::isCSV("/a/b.CSV"));
    EXPECT_FALSE(CSVImport(back.exchange()).importTracks(folder.file("none.csv"), std::nullopt));
}

} // namespace
