// The records' rules, the name order and a route's legs.

#include "chart/Names.h"
#include "chart/Route.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::shared_ptr<Waypoint> at(const char* name, float lon, float lat) {
    auto w = std::make_shared<Waypoint>();
    w->setName(name);
    w->setPositionOnGPS({lon, lat});
    return w;
}

TEST(Names, OrderWithNumericRuns) {
    struct Case {
        const char* a;
        const char* b;
        int order;
    } cases[] = {
        {"wp2", "WP10", -1},
        {"WP10", "wp2", 1},
        {"Alpha", "alpha", -1},
        {"alpha", "BETA", -1},
        {"x7", "x007", -1},
        {"x9", "x10y", -1},
        {"", "a", -1},
        {"a1b2", "a1b10", -1},
        {"Öresund", "öresund", -1},
        {"öresund", "Zeta", 1},
        {"same", "same", 0},
        {"9", "a", -1},
        {"wp 2", "wp 10", -1},
        {"99999999999999999999", "100000000000000000000", -1},
    };
    for (const Case& c : cases) {
        const int got = chart::compareNames(c.a, c.b);
        EXPECT_EQ((got > 0) - (got < 0), c.order) << c.a << " / " << c.b;
    }
    EXPECT_EQ(chart::trimBlanks(" \t x y \r\n"), "x y");
    // Unicode case folding, beyond Latin-1; bytes that are not UTF-8 stay as they are.
    for (const auto& [text, folded] : {std::pair{"ÄBC", "äbc"},
                                       {"БАЙКАЛ", "байкал"},
                                       {"ΣΟΦΊΑ", "σοφία"},
                                       {"STRASSE", "strasse"},
                                       {"Straße", "strasse"},
                                       {"a\xFF"
                                        "B",
                                        "a\xFF"
                                        "b"}})
        EXPECT_EQ(chart::foldCase(text), folded) << text;
}

// Names lose commas and outer blanks; a move clears the display cache; groups in name order; a
// track point's date counts from 10000 on.
TEST(Records, NamesDescriptionsAndDefaults) {
    Waypoint w;
    w.setName(" Harbour, north "), w.setDescription("  quay 3 ");
    EXPECT_EQ(w.name(), "Harbour  north");
    EXPECT_EQ(w.description(), "quay 3");
    EXPECT_FALSE(w.hasPosition());
    // A name set again is unchanged: a name of commas alone is empty, never a blank.
    w.setName(", ,"), w.setName(w.name());
    EXPECT_EQ(w.name(), "");
    w.setPositionOnChartPoint({3, 4});
    w.setLatitude(54.5f);
    EXPECT_EQ(w.positionOnChartPoint(), kNoNavPoint);
    w.addGroup("wp10"), w.addGroup("Wp2"), w.addGroup("alpha");
    EXPECT_EQ(w.allGroups(), "alpha, Wp2, wp10");
    Track t;
    t.setDate(9999);
    EXPECT_FALSE(t.hasDate());
    t.setDate(10000), t.setDescription("  kept as given ");
    EXPECT_TRUE(t.hasDate());
    EXPECT_EQ(t.description(), "  kept as given ");
}

TEST(Route, EditingIgnoresIndexesPastTheEnd) {
    auto a = at("A", 0, 0), b = at("B", 1, 0), c = at("C", 1, 1);
    Route r;
    r.setName("  R  ");
    EXPECT_EQ(r.name(), "R");
    r.addWaypointReference({a});
    r.insertWaypointReference(7, {c}); // past the end: appended
    r.insertWaypointReference(1, {b});
    r.replaceWaypointReference(9, {a});
    r.removeWaypointReference(3);
    r.exchangeWaypointReference(0, 3);
    ASSERT_EQ(r.count(), 3u);
    EXPECT_EQ(r.waypointReference(1)->waypoint, b);
    EXPECT_FALSE(r.waypointReference(3));
    EXPECT_EQ(r.nextWaypointReference(WaypointReference{a})->waypoint, b);
    EXPECT_FALSE(r.nextWaypointReference(WaypointReference{c}));
    EXPECT_FALSE(r.previousWaypointReference(WaypointReference{a}));
    EXPECT_FALSE(r.nextWaypointReference(std::nullopt));
    EXPECT_EQ(r.waypointReferenceFromName(" B ")->waypoint, b);
    EXPECT_FALSE(r.waypointReferenceFromName("b"));

    Route copy = r.copy();
    copy.invertWaypointReferences();
    EXPECT_EQ(copy.waypointReference(0)->waypoint, c);
    EXPECT_EQ(r.waypointReference(0)->waypoint, a);
    EXPECT_EQ(copy.lastWaypointReference()->waypoint, a);

    r.addWaypointReference({a});
    EXPECT_TRUE(r.removeWaypoint(a));
    EXPECT_FALSE(r.hasWaypoint(a));
    EXPECT_EQ(r.count(), 2u);
}

TEST(Route, DistanceAndBearingLeaveOutEmptyLegs) {
    auto a = at("A", 0, 0), b = at("B", 0, 1), c = at("C", 1, 1);
    auto lost = std::make_shared<Waypoint>();
    Route r;
    for (const auto& w : {a, b, b, c, lost, a})
        r.addWaypointReference({w});
    const float degree = 60.0f; // nautical miles along a meridian
    EXPECT_NEAR(r.distance(0, 1), degree, 0.01);
    EXPECT_NEAR(r.distance(0, 3), degree + NavMath::distanceFromPoint({0, 1}, {1, 1}), 0.01);
    EXPECT_NEAR(r.distance(0, 5), r.distance(0, 3), 1e-4); // legs to and from the unplaced point
    EXPECT_EQ(r.distance(0, 6), 0.0f);                     // to must lie inside
    EXPECT_EQ(r.distance(2, 2), 0.0f);
    struct {
        size_t index;
        float bearing;
    } bearings[] = {{0, 0}, {1, 0}, {2, 0}, {3, 89.99f}, {4, 0}, {5, 0}, {6, 0}};
    for (const auto& c : bearings)
        EXPECT_NEAR(r.bearing(c.index), c.bearing, 0.01) << c.index;
}

} // namespace
