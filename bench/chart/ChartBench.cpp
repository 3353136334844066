// The chart models: saving and loading a model file of 10,000 waypoints, and the waypoint search
// over them.

#include "PeakMemory.h"
#include "chart/WaypointsModel.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

void fill(WaypointsModel& model, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        auto w = std::make_shared<Waypoint>();
        w->setName("WP" + std::to_string(i) + (i % 3 ? " Harbour" : " buoy"));
        w->setDescription(i % 2 ? "fuel and water at the north quay" : "");
        w->setPositionOnGPS(
            {static_cast<float>(i % 360) - 180.0f + 0.5f, static_cast<float>(i % 170) - 85.0f});
        w->setIconIndex(static_cast<int>(i % 70));
        w->addGroup(i % 2 ? "Baltic" : "North Sea");
        model.add(w, false);
    }
}

std::string modelPath() {
    return (std::filesystem::temp_directory_path() /
            ("bench-waypoints-" + std::to_string(::getpid()) + ".plist"))
        .string();
}

void ModelSave10k(benchmark::State& state) {
    WaypointsModel model;
    fill(model, 10000);
    const std::string path = modelPath();
    state.counters["peak_MiB"] = bench_support::peakMiB("save", path, "fill");
    for (auto _ : state) {
        if (!model.save(path))
            state.SkipWithError("save failed");
    }
    state.SetItemsProcessed(state.iterations() * 10000);
    std::remove(path.c_str());
}
BENCHMARK(ModelSave10k)->Unit(benchmark::kMillisecond);

void ModelLoad10k(benchmark::State& state) {
    const std::string path = modelPath();
    {
        WaypointsModel model;
        fill(model, 10000);
        model.save(path);
    }
    state.counters["peak_MiB"] = bench_support::peakMiB("load", path);
    for (auto _ : state) {
        WaypointsModel model;
        if (!model.load(path) || model.count() != 10000)
            state.SkipWithError("load failed");
    }
    state.SetItemsProcessed(state.iterations() * 10000);
    std::remove(path.c_str());
}
BENCHMARK(ModelLoad10k)->Unit(benchmark::kMillisecond);

// "w": beginnings only; "ar": anywhere in names and descriptions; "": everything.
void WaypointsThatMatch10k(benchmark::State& state, const char* pattern) {
    WaypointsModel model;
    fill(model, 10000);
    size_t found = 0;
    for (auto _ : state)
        found = model.waypointsThatMatch(std::string(pattern)).size();
    state.counters["found"] = static_cast<double>(found);
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK_CAPTURE(WaypointsThatMatch10k, beginning, "w")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WaypointsThatMatch10k, anywhere, "ar")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WaypointsThatMatch10k, all, "")->Unit(benchmark::kMicrosecond);

const bench_support::PeakJob jobs[] = {
    {"fill",
     [](const std::string&) {
         WaypointsModel model;
         fill(model, 10000);
     }},
    {"save",
     [](const std::string& path) {
         WaypointsModel model;
         fill(model, 10000);
         model.save(path + ".peak");
         std::remove((path + ".peak").c_str());
     }},
    {"load",
     [](const std::string& path) {
         WaypointsModel model;
         model.load(path);
     }},
};
MUX_BENCH_PEAK_JOBS();

} // namespace
