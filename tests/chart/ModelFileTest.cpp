// The stored form and the model files: round trips, the original platform's binary form, bad
// records, and saves that fail without harm.

#include "chart/RoutesModel.h"
#include "chart/TracksModel.h"
#include "chart/WaypointsModel.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

namespace {

using namespace testing_support;
using Folder = TempFolder;

std::shared_ptr<Waypoint> place(const char* name, float lon, float lat) {
    auto w = std::make_shared<Waypoint>();
    w->setName(name);
    w->setPositionOnGPS({lon, lat});
    return w;
}

const char* const plistHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";

TEST(StoredForm, RouteNamesItsWaypointsInOrder) {
    auto a = place("A", 1, 1), b = place("B", 2, 2), c = place("C", 3, 3);
    Route r;
    r.setName("Out");
    for (const auto& w : {a, b, c})
        r.addWaypointReference({w});
    const support::Plist dict = chart::toDictionary(r);
    const std::string xml = support::toXml(dict.get());
    const auto keyAt = [&](const char* text) { return xml.find(text); };
    EXPECT_LT(keyAt("<key>name</key>"), keyAt("<key>waypoint_0</key>"));
    EXPECT_NE(xml.find("<key>waypoint_2</key>\n\t<string>C</string>"), std::string::npos) << xml;

    WaypointsModel without;
    without.add(a, false);
    without.add(c, false);
    Route back;
    chart::fromDictionary(back, dict.get(), [&](std::string_view n) { return without.waypointFromName(n); });
    ASSERT_EQ(back.count(), 2u);
    EXPECT_EQ(back.waypointReference(1)->waypoint, c);

    Route empty;
    empty.setName("Empty");
    EXPECT_FALSE(chart::toDictionary(empty));
    EXPECT_FALSE(chart::toDictionary(Waypoint{}));
}

TEST(ModelFile, WaypointsTracksAndRoutesSurviveSaveAndLoad) {
    Folder folder;
    WaypointsModel waypoints;
    auto a = place("Anchorage", 10.25f, 54.5f);
    a->setIconIndex(17), a->setDescription("sand, 5 m"), a->setShow(false), a->addGroup("Baltic");
    waypoints.add(a, false);
    waypoints.add(place("Twin", 1, 1), false);
    waypoints.add(place("Twin", 2, 2), false); // a repeated name is kept all the same
    ASSERT_TRUE(waypoints.save(folder.file("waypoints.plist")));
    EXPECT_FALSE(waypoints.changed());
    EXPECT_TRUE(waypoints.lastSaveDate());

    RoutesModel routes;
    auto r = std::make_shared<Route>();
    r->setName("Out"), r->addWaypointReference({a}), r->addWaypointReference({a});
    routes.add(r);
    ASSERT_TRUE(routes.save(folder.file("routes.plist")));

    TracksModel tracks;
    auto t = std::make_shared<Track>();
    t->set(1243857600.25, "p1", {10.25f, 54.5f}, 45, 5.5f, 40, 5, 12, 60, -30, 14, {1, 0.5f, 0});
    t->setDescription("reef");
    tracks.add(t);
    ASSERT_TRUE(tracks.save(folder.file("tracks.plist")));

    WaypointsModel w2;
    ASSERT_TRUE(w2.load(folder.file("waypoints.plist")));
    ASSERT_EQ(w2.count(), 3u);
    const auto b = w2.waypointFromName("Anchorage");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->positionOnGPS(), a->positionOnGPS());
    EXPECT_EQ(b->iconIndex(), 17);
    EXPECT_FALSE(b->show());
    EXPECT_EQ(b->description(), "sand, 5 m");
    EXPECT_EQ(b->allGroups(), "Baltic");
    // The groups the loaded waypoints name are in the groups model at once.
    ASSERT_EQ(w2.groupsModel().count(), 1u);
    EXPECT_EQ(w2.groupsModel().group(0)->name(), "Baltic");

    RoutesModel r2;
    ASSERT_TRUE(r2.load(folder.file("routes.plist"), w2));
    ASSERT_EQ(r2.count(), 1);
    ASSERT_EQ(r2.route(0)->count(), 2);
    EXPECT_EQ(r2.route(0)->waypointReference(1)->waypoint, b);

    TracksModel t2;
    ASSERT_TRUE(t2.load(folder.file("tracks.plist")));
    ASSERT_EQ(t2.count(), 1u);
    const Track& u = *t2.firstTrack();
    EXPECT_EQ(u.date(), 1243857600.0); // the XML form keeps whole seconds
    EXPECT_EQ(u.positionOnGPS(), t->positionOnGPS());
    EXPECT_EQ(u.color(), t->color());
    EXPECT_EQ(u.windAngle(), -30.0f);
    EXPECT_EQ(u.description(), "reef");
}

TEST(ModelFile, OutOfRangeRecordsAndMissingWaypointsAreDropped) {
    Folder folder;
    spit(folder.file("w.plist"),
         std::string(plistHead) +
             "<dict><key>A</key><dict><key>name</key><string>A</string><key>latitude</key><real>54</real>"
             "<key>longitude</key><integer>10</integer></dict>"
             "<key>X</key><dict><key>name</key><string>X</string><key>latitude</key><real>91</real>"
             "<key>longitude</key><real>10</real></dict>"
             "<key>E</key><dict><key>name</key><string>E</string><key>latitude</key><real>1</real>"
             "<key>longitude</key><real>180</real></dict>"
             "<key>N</key><string>not a record</string>"
             "<key>C</key><dict><key>name</key><string>C</string><key>latitude</key><real>-1</real>"
             "<key>longitude</key><real>-1</real><key>icon</key><string>wrong type</string></dict>"
             "</dict></plist>");
    WaypointsModel waypoints;
    ASSERT_TRUE(waypoints.load(folder.file("w.plist")));
    ASSERT_EQ(waypoints.count(), 3u); // latitude 91 is dropped, longitude 180 (the date line) kept
    EXPECT_EQ(waypoints.at(0)->name(), "A");
    EXPECT_EQ(waypoints.at(1)->iconIndex(), 0);

    spit(folder.file("r.plist"), std::string(plistHead) +
                                     "<dict><key>R</key><dict><key>name</key><string>R</string>"
                                     "<key>waypoint_0</key><string>A</string><key>waypoint_1</key>"
                                     "<string>B</string><key>waypoint_2</key><string>C</string>"
                                     "<key>waypoint_4</key><string>A</string></dict></dict></plist>");
    RoutesModel routes;
    ASSERT_TRUE(routes.load(folder.file("r.plist"), waypoints));
    ASSERT_EQ(routes.count(), 1u);
    ASSERT_EQ(routes.route(0)->count(), 2u); // B is missing; reading stops at the gap after 2
    EXPECT_EQ(routes.route(0)->waypointReference(1)->waypoint->name(), "C");

    WaypointsModel none;
    for (const char* bytes : {"", "garbage", "<plist><array/></plist>"}) {
        spit(folder.file("bad.plist"), bytes);
        EXPECT_FALSE(none.load(folder.file("bad.plist")));
    }
    EXPECT_FALSE(none.load(folder.file("absent.plist")));
    EXPECT_EQ(none.count(), 0u);
}

// Dates far from 2001 (the library's date calls reach only 1933 to 2069), segment starts a file
// gave, elevations and route points, through the XML and the binary form; older files lack the keys.
TEST(ModelFile, DatesOfAnyYearSegmentStartsAndElevations) {
    Folder folder;
    TracksModel tracks;
    tracks.setStartTrackInterval(900);
    const ChartDate dates[] = {-2208988800.0 /* 1900 */, 946684800.0, 16725225600.0 /* 2500 */,
                               253402300799.0 /* 9999 */};
    for (size_t i = 0; i < 4; ++i) {
        auto t = std::make_shared<Track>();
        t->set(dates[i], "p" + std::to_string(i), {1, 1}, 0, 0, 0, 0, 0, 0, 0, 0, {});
        t->setSegmentStart(i == 2);
        t->setElevation(i == 1 ? std::optional<float>(-12.5f) : std::nullopt);
        tracks.add(t);
    }
    ASSERT_TRUE(tracks.save(folder.file("t.plist")));
    TracksModel back;
    ASSERT_TRUE(back.load(folder.file("t.plist")));
    ASSERT_EQ(back.count(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(back.track(i)->date(), dates[i]) << i;
        // Long pauses between the points do not start segments: the file said where they start.
        EXPECT_EQ(back.isStart(i), i == 0 || i == 2) << i;
    }
    EXPECT_EQ(back.track(1)->elevation(), -12.5f);
    EXPECT_FALSE(back.track(0)->elevation());

    WaypointsModel waypoints;
    auto w = place("R", 1, 1);
    w->setRoutePoint(true);
    waypoints.add(w, false);
    ASSERT_TRUE(waypoints.save(folder.file("w.plist")));
    WaypointsModel again;
    ASSERT_TRUE(again.load(folder.file("w.plist")));
    ASSERT_EQ(again.count(), 1);
    ASSERT_TRUE(again.at(0)->isRoutePoint());
}

// Written by an independent property-list writer in its binary form.
const unsigned char binaryWaypoints[] = {
    0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0x30, 0x30, 0xd2, 0x01, 0x02, 0x03, 0x13, 0x51, 0x41, 0x51,
    0x54, 0xd7, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0f, 0x10, 0x11, 0x01, 0x12,
    0x5b, 0x64, 0x65, 0x73, 0x63, 0x72, 0x69, 0x70, 0x74, 0x69, 0x6f, 0x6e, 0x56, 0x67, 0x72, 0x6f,
    0x75, 0x70, 0x73, 0x54, 0x69, 0x63, 0x6f, 0x6e, 0x58, 0x6c, 0x61, 0x74, 0x69, 0x74, 0x75, 0x64,
    0x65, 0x59, 0x6c, 0x6f, 0x6e, 0x67, 0x69, 0x74, 0x75, 0x64, 0x65, 0x54, 0x6e, 0x61, 0x6d, 0x65,
    0x54, 0x73, 0x68, 0x6f, 0x77, 0x56, 0x41, 0x6e, 0x63, 0x68, 0x6f, 0x72, 0xd1, 0x0d, 0x0e, 0x56,
    0x42, 0x61, 0x6c, 0x74, 0x69, 0x63, 0x09, 0x10, 0x11, 0x23, 0x40, 0x4b, 0x40, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x23, 0x40, 0x24, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0xd3, 0x07, 0x08, 0x09,
    0x14, 0x15, 0x16, 0x23, 0x40, 0x56, 0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x23, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x53, 0x42, 0x61, 0x64, 0x08, 0x0d, 0x0f, 0x11, 0x20, 0x2c, 0x33,
    0x38, 0x41, 0x4b, 0x50, 0x55, 0x5c, 0x5f, 0x66, 0x67, 0x69, 0x72, 0x7b, 0x7c, 0x83, 0x8c, 0x95,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x17,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x99};
const unsigned char binaryTrack[] = {
    0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0x30, 0x30, 0xd1, 0x01, 0x02, 0x52, 0x70, 0x31, 0xd8, 0x03, 0x04,
    0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0b, 0x0d, 0x0e, 0x01, 0x0f, 0x10, 0x54, 0x62, 0x6c,
    0x75, 0x65, 0x54, 0x64, 0x61, 0x74, 0x65, 0x55, 0x67, 0x72, 0x65, 0x65, 0x6e, 0x58, 0x6c, 0x61, 0x74,
    0x69, 0x74, 0x75, 0x64, 0x65, 0x59, 0x6c, 0x6f, 0x6e, 0x67, 0x69, 0x74, 0x75, 0x64, 0x65, 0x54, 0x6e,
    0x61, 0x6d, 0x65, 0x53, 0x72, 0x65, 0x64, 0x53, 0x73, 0x6f, 0x67, 0x23, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x33, 0x41, 0xaf, 0xa7, 0xf4, 0x80, 0x00, 0x00, 0x00, 0x23, 0x40, 0x4b, 0x40, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x23, 0x40, 0x24, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x23, 0x3f, 0xf0, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x23, 0x40, 0x16, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x0b, 0x0e,
    0x1f, 0x24, 0x29, 0x2f, 0x38, 0x42, 0x47, 0x4b, 0x4f, 0x58, 0x61, 0x6a, 0x73, 0x7c, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x85};

TEST(ModelFile, BinaryFilesOfTheOriginalPlatformLoad) {
    Folder folder;
    spit(folder.file("w.bplist"), std::string(std::begin(binaryWaypoints), std::end(binaryWaypoints)));
    WaypointsModel waypoints;
    ASSERT_TRUE(waypoints.load(folder.file("w.bplist")));
    ASSERT_EQ(waypoints.count(), 1u); // "Bad" lies at latitude 91
    const Waypoint& a = *waypoints.at(0);
    EXPECT_EQ(a.name(), "A");
    EXPECT_EQ(a.positionOnGPS(), (NavPoint{10.25f, 54.5f}));
    EXPECT_EQ(a.iconIndex(), 17);
    EXPECT_FALSE(a.show());
    EXPECT_EQ(a.description(), "Anchor");
    EXPECT_EQ(a.allGroups(), "Baltic");

    spit(folder.file("t.bplist"), std::string(std::begin(binaryTrack), std::end(binaryTrack)));
    TracksModel tracks;
    ASSERT_TRUE(tracks.load(folder.file("t.bplist")));
    ASSERT_EQ(tracks.count(), 1u);
    EXPECT_EQ(tracks.firstTrack()->date(), 1243857600.0); // 2009-06-01 12:00:00 UTC
    EXPECT_EQ(tracks.firstTrack()->sog(), 5.5f);
    EXPECT_EQ(tracks.firstTrack()->color(), (ChartColor{1, 0, 0, 1}));
}

// A folder in the file's place: the rename fails, whoever runs the test (the old file kept when
// a save fails: the store's writes, tests/support).
TEST(ModelFile, AFileThatCannotBeReplacedKeepsTheOldOne) {
    Folder folder;
    fs::create_directory(folder.path / "w.plist");
    WaypointsModel waypoints;
    waypoints.add(place("New", 2, 2), false);
    EXPECT_FALSE(waypoints.save(folder.file("w.plist")));
    EXPECT_TRUE(waypoints.changed());
    EXPECT_TRUE(fs::is_directory(folder.path / "w.plist"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path), fs::directory_iterator()), 1);
}

} // namespace
