// The waypoints, routes, groups and tracks models: names, icons, search, logging and segments.

#include "chart/RoutesModel.h"
#include "chart/TracksModel.h"
#include "chart/WaypointIcons.h"
#include "chart/WaypointsModel.h"

#include <gtest/gtest.h>

namespace {

std::shared_ptr<Waypoint> named(const char* name, const char* description = "") {
    auto w = std::make_shared<Waypoint>();
    w->setName(name);
    w->setDescription(description);
    w->setPositionOnGPS({10, 54});
    return w;
}

std::shared_ptr<Track> point(ChartDate date, ChartColor color = {}) {
    auto t = std::make_shared<Track>();
    t->setDate(date);
    t->setPositionOnGPS({10, 54});
    t->setColor(color);
    return t;
}

std::vector<std::string> names(const std::vector<std::shared_ptr<Waypoint>>& list) {
    std::vector<std::string> out;
    for (const auto& w : list)
        out.push_back(w->name());
    return out;
}

TEST(WaypointsModel, UniqueNamesFillTheFirstGap) {
    WaypointsModel model;
    EXPECT_EQ(model.uniqueName(), "WP0001");
    model.add(named("WP0001"), false);
    model.add(named("WP0003"), false);
    EXPECT_EQ(model.uniqueName(), "WP0002");
    EXPECT_TRUE(model.changed());
    Waypoint w;
    model.setUniqueName(w);
    EXPECT_EQ(w.name(), "WP0002");
    EXPECT_EQ(model.waypointFromName(" WP0003 "), model.at(1));
    EXPECT_EQ(model.waypointFromName("wp0003"), nullptr);

    RoutesModel routes;
    EXPECT_EQ(routes.uniqueName(), "RT0001");
    for (int i = 1; i <= 9999; ++i) {
        auto r = std::make_shared<Route>();
        r->setName("RT" + std::string(4 - std::to_string(i).size(), '0') + std::to_string(i));
        routes.add(r);
    }
    EXPECT_FALSE(routes.uniqueName());
    Route keep;
    keep.setName("kept");
    routes.setUniqueName(keep);
    EXPECT_EQ(keep.name(), "kept");
}

TEST(WaypointsModel, SortsByNameWithNumbers) {
    WaypointsModel model;
    for (const char* n : {"WP10", "wp2", "Anchorage", "wp1"})
        model.add(named(n), false);
    model.sort();
    EXPECT_EQ(names(model.chartMarkers()), (std::vector<std::string>{"Anchorage", "wp1", "wp2", "WP10"}));
}

TEST(WaypointsModel, SearchByBeginningThenAnywhere) {
    WaypointsModel model;
    for (auto w : {named("West Pier"), named("buoy", "Wreck marker"), named("Harbour"), named("wa", ""),
                   named("Quay", "north arm"), named("Байкал", "Озеро")})
        model.add(w, false);
    struct Case {
        const char* pattern;
        std::vector<std::string> found;
    } cases[] = {
        {"", {"West Pier", "buoy", "Harbour", "wa", "Quay", "Байкал"}},
        {"байкал", {"Байкал"}}, // case folds beyond Latin-1
        {"ОЗЕ", {"Байкал"}},
        {"  w ", {"West Pier", "buoy", "wa"}},
        {"ar", {"buoy", "Harbour", "Quay"}}, // anywhere, in name or description
        {"WR", {"buoy"}},
        {"wax", {}}, // longer than the name does not match by its beginning
        {"r", {}},
    };
    for (const Case& c : cases) {
        model.setMatch(std::string(c.pattern));
        EXPECT_EQ(names(model.matches()), c.found) << '"' << c.pattern << '"';
    }
    model.setMatch(std::nullopt);
    EXPECT_EQ(model.countMatch(), 6u);

    // Only the selected group's waypoints are searched.
    auto group = model.groupsModel().createGroup(std::string("Baltic"));
    model.at(2)->addGroup("Baltic");
    model.groupsModel().setSelectedGroup(group);
    model.setMatch(std::nullopt);
    EXPECT_EQ(names(model.matches()), (std::vector<std::string>{"Harbour"}));
}

TEST(WaypointsModel, RemovingAMatchTakesItOutOfEveryRoute) {
    WaypointsModel model;
    RoutesModel routes;
    auto a = named("A"), b = named("B");
    model.add(a, false);
    model.add(b, false);
    auto r1 = std::make_shared<Route>(), r2 = std::make_shared<Route>();
    for (const auto& w : {a, b, a})
        r1->addWaypointReference({w});
    r2->addWaypointReference({b});
    routes.add(r1);
    routes.add(r2);
    routes.setChanged(false);
    model.setChanged(false);
    model.setMatch(std::string("A"));
    model.removeMatch(3, routes); // outside the match list: nothing
    EXPECT_EQ(model.count(), 2u);
    model.removeMatch(0, routes);
    EXPECT_EQ(model.count(), 1u);
    EXPECT_EQ(model.countMatch(), 0u);
    EXPECT_EQ(r1->count(), 1u);
    EXPECT_EQ(r2->count(), 1u);
    EXPECT_TRUE(routes.changed());
    EXPECT_TRUE(model.changed());
}

// Indexes are stored in files: the table keeps its order (the ends here; GPX and KML files name
// others). Names compare exactly; every icon has its picture.
TEST(WaypointsModel, IconTableInItsStoredOrder) {
    EXPECT_EQ(WaypointIcons::iconName(0), "BLANK");
    EXPECT_EQ(WaypointIcons::key(0), "NSNone");
    EXPECT_EQ(WaypointIcons::iconName(69), "WINDTURBINE");
    EXPECT_EQ(WaypointsModel::iconIndex("WINDTURBINE"), 69);
    EXPECT_EQ(WaypointsModel::iconIndex("NOSUCHICON"), 0);
    EXPECT_EQ(WaypointsModel::iconIndex("windturbine"), 0);
    for (int i = 0; i < 70; ++i)
        EXPECT_EQ(WaypointsModel::iconImage(i).value_or("").rfind("<svg ", 0), 0u) << i;
    EXPECT_FALSE(WaypointsModel::iconImage(70));
    EXPECT_FALSE(WaypointsModel::iconImage(-1));
}

// Unique names go on past each other in one import; a model with all 9999 taken has none left.
TEST(UniqueNames, FirstFreeInTurn) {
    chart::UniqueNames names("WP");
    names.take("WP0001"), names.take("WP0003");
    EXPECT_EQ(names.next(), "WP0002");
    EXPECT_EQ(names.next(), "WP0004");
    names.take("WP0005");
    EXPECT_EQ(names.next(), "WP0006");
    for (unsigned n = 7; n <= 9999; ++n)
        ASSERT_TRUE(names.next());
    EXPECT_FALSE(names.next());
    // Only the prefix and exactly four digits can be a name given: near misses block nothing.
    chart::UniqueNames others("WP");
    for (const char* name : {"WP00001", "WP001", "wp0001", "WP0001 ", "XP0001", "WP-001", "WP0000", "RT0002"})
        others.take(name);
    others.take("WP0002");
    EXPECT_EQ(others.next(), "WP0001");
    EXPECT_EQ(others.next(), "WP0003");
}

// After a load the groups the waypoints name are there, in name order; renaming works on them.
TEST(GroupsModel, GroupsOfLoadedWaypoints) {
    WaypointsModel waypoints;
    GroupsModel& groups = waypoints.groupsModel();
    auto kept = groups.createGroup(std::string("North"));
    groups.setGroupsNamed({"wp10", "North", " ", "wp2", "North", groups.allGroup()->name()});
    ASSERT_EQ(groups.count(), 3u);
    EXPECT_EQ(groups.group(0)->name(), "North");
    EXPECT_EQ(groups.group(0), kept);
    EXPECT_EQ(groups.group(1)->name(), "wp2");
    auto w = named("A");
    w->addGroup("wp2");
    waypoints.add(w, false);
    EXPECT_EQ(groups.renameGroup(groups.group(1), "South", waypoints), GroupsModel::Rename::Renamed);
    EXPECT_EQ(w->allGroups(), "South");
}

TEST(GroupsModel, CreateFindAndRename) {
    WaypointsModel waypoints;
    GroupsModel& groups = waypoints.groupsModel();
    EXPECT_TRUE(groups.isAllGroup(groups.selectedGroup()));
    auto made = groups.createGroup(std::nullopt);
    EXPECT_EQ(made->name(), "GP0001");
    auto north = groups.createGroup(std::string("North"));
    EXPECT_EQ(groups.createGroup(std::string("North")), north);
    EXPECT_EQ(groups.count(), 2u);
    EXPECT_EQ(groups.groupFromName(groups.allGroup()->name()), groups.allGroup());

    auto w = named("A");
    w->addGroup("North");
    waypoints.add(w, false);
    using R = GroupsModel::Rename;
    EXPECT_EQ(groups.renameGroup(groups.allGroup(), "Everything", waypoints), R::Unchanged);
    EXPECT_EQ(groups.renameGroup(north, "North", waypoints), R::Unchanged);
    EXPECT_EQ(groups.renameGroup(north, "GP0001", waypoints), R::NameTaken);
    EXPECT_EQ(north->name(), "North");
    EXPECT_EQ(groups.renameGroup(north, " Northeast ", waypoints), R::Renamed);
    EXPECT_EQ(north->name(), "Northeast");
    EXPECT_EQ(w->allGroups(), "Northeast");
}

TEST(TracksModel, LoggingIntervalOneShotAndLimit) {
    TracksModel tracks;
    const ChartDate t0 = 1.5e9;
    EXPECT_TRUE(tracks.add(point(t0), 10));
    EXPECT_TRUE(tracks.changed());
    EXPECT_FALSE(tracks.add(point(t0 + 4), 10)); // too soon
    tracks.addNext();
    EXPECT_TRUE(tracks.add(point(t0 + 4), 10)); // taken at once
    EXPECT_FALSE(tracks.addNextPending());
    EXPECT_TRUE(tracks.add(point(t0 + 14), 10));
    EXPECT_EQ(tracks.count(), 3u);

    // Interval 0: an equal date replaces that point and does not count as added.
    tracks.setChanged(false);
    auto replacement = point(t0 + 4);
    EXPECT_FALSE(tracks.add(replacement, 0));
    EXPECT_EQ(tracks.track(1), replacement);
    EXPECT_EQ(tracks.count(), 3u);
    EXPECT_FALSE(tracks.changed());
    EXPECT_TRUE(tracks.add(point(t0 + 15), 0));
    EXPECT_FALSE(tracks.changed()); // interval 0 appends without marking

    TracksModel full;
    for (int i = 0; i < 5000; ++i)
        full.add(point(t0 + i), 1);
    const auto oldest = full.firstTrack();
    EXPECT_TRUE(full.add(point(t0 + 5000), 1));
    EXPECT_EQ(full.count(), 5000u);
    EXPECT_NE(full.firstTrack(), oldest);
    EXPECT_EQ(full.firstTrack()->date(), t0 + 1);
}

TEST(TracksModel, SegmentStarts) {
    struct Case {
        double interval;
        double gap;
        ChartColor second;
        bool starts;
    } cases[] = {
        {900, 931, {}, true},        {900, 930, {}, false},
        {10800, 1e6, {}, false},     {10799, 10829, {}, false},
        {10799, 10829.5, {}, true},  {900, 1, {0.05f, 0.05f, 0.05f}, true},
        {10800, 1, {0, 0, 1}, true}, {900, 1, {0, 0, 0, 0.5f}, false}, // opacity does not count
    };
    for (const Case& c : cases) {
        TracksModel tracks;
        tracks.setStartTrackInterval(c.interval);
        tracks.add(point(1e9));
        tracks.add(point(1e9 + c.gap, c.second));
        EXPECT_TRUE(tracks.isStart(size_t(0)));
        EXPECT_EQ(tracks.isStart(tracks.track(1)), c.starts) << c.interval << " " << c.gap;
    }
    TracksModel tracks;
    EXPECT_FALSE(tracks.isStart(point(1e9))); // not in the model
}

TEST(TracksModel, SortCompletesCourseAndSpeed) {
    TracksModel tracks;
    auto late = point(1e9 + 3600), early = point(1e9), same = point(1e9 + 3600);
    late->setPositionOnGPS({0, 1});
    early->setPositionOnGPS({0, 0});
    same->setPositionOnGPS({0, 2});
    auto logged = point(1e9 + 7200);
    logged->setPositionOnGPS({1, 2});
    for (const auto& t : {late, same, early, logged})
        tracks.add(t);
    tracks.sort();
    EXPECT_EQ(tracks.firstTrack(), early);
    EXPECT_NEAR(early->cog(), 0.0f, 1e-3);
    EXPECT_NEAR(early->sog(), 60.0f, 0.01); // one degree of latitude in an hour
    EXPECT_NE(late->cog(), kNotLogged);
    EXPECT_EQ(late->sog(), kNotLogged);   // same moment as the next point: no speed
    EXPECT_EQ(logged->cog(), kNotLogged); // the last point has no next
}

} // namespace
