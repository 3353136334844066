// GPX import and export of 100,000 track points and of 10,000 waypoints, with gpsbabel
// converting the same files in the same run as the figure to compare with.

#include "PeakMemory.h"
#include "exchange/GPXExport.h"
#include "exchange/GPXImport.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Models {
    WaypointsModel waypoints;
    RoutesModel routes;
    TracksModel tracks;
    ExchangeModels exchange() { return {waypoints, routes, tracks}; }
};

// A scratch folder for the run, removed at exit.
struct Scratch {
    fs::path path = fs::temp_directory_path() / ("bench-exchange-" + std::to_string(::getpid()));
    Scratch() { fs::create_directories(path); }
    ~Scratch() { fs::remove_all(path); }
};

fs::path folder() {
    static Scratch scratch;
    return scratch.path;
}

void fillTrack(Models& m, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        auto t = std::make_shared<Track>();
        t->setDate(1.6e9 + static_cast<double>(i) * 5);
        t->setPositionOnGPS(
            {10.0f + static_cast<float>(i % 1000) * 1e-4f, 54.0f + static_cast<float>(i / 1000) * 1e-3f});
        m.tracks.add(t);
    }
}

void fillWaypoints(Models& m, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        auto w = std::make_shared<Waypoint>();
        w->setName("WP" + std::to_string(i));
        w->setDescription(i % 2 ? "fuel & water" : "");
        w->setPositionOnGPS(
            {static_cast<float>(i % 3600) / 10.0f - 179.95f, static_cast<float>(i % 1700) / 10.0f - 84.95f});
        w->setIconIndex(static_cast<int>(i % 70));
        m.waypoints.add(w, false);
    }
    m.waypoints.setMatch(std::nullopt);
}

// The input files, written once.
const std::string& trackFile() {
    static const std::string path = [] {
        Models m;
        fillTrack(m, 100000);
        const std::string p = (folder() / "track.gpx").string();
        GPXExport(m.exchange()).exportTracks(p);
        return p;
    }();
    return path;
}

const std::string& waypointFile() {
    static const std::string path = [] {
        Models m;
        fillWaypoints(m, 10000);
        const std::string p = (folder() / "waypoints.gpx").string();
        GPXExport(m.exchange()).exportWaypoints(p);
        return p;
    }();
    return path;
}

void importOnce(const std::string& file, size_t expected, benchmark::State& state) {
    Models m;
    ModelImportDelegate delegate(m.exchange());
    if (!GPXImport(m.exchange()).import(file, std::nullopt, &delegate) ||
        m.tracks.count() + m.waypoints.count() != expected)
        state.SkipWithError("import failed");
}

void GpxImport(benchmark::State& state, const std::string& (*file)(), size_t count) {
    const std::string& path = file();
    state.counters["peak_MiB"] = bench_support::peakMiB("import", path);
    for (auto _ : state)
        importOnce(path, count, state);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(count));
}
BENCHMARK_CAPTURE(GpxImport, track100k, trackFile, 100000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(GpxImport, waypoints10k, waypointFile, 10000)->Unit(benchmark::kMillisecond);

void GpxExport(benchmark::State& state, bool track) {
    const size_t count = track ? 100000 : 10000;
    const std::string out = (folder() / (track ? "out-track.gpx" : "out-waypoints.gpx")).string();
    // Beyond the models themselves.
    state.counters["peak_MiB"] = bench_support::peakMiB(track ? "export-track" : "export-waypoints", out,
                                                        track ? "fill-track" : "fill-waypoints");
    Models m;
    track ? fillTrack(m, count) : fillWaypoints(m, count);
    for (auto _ : state) {
        if (!GPXExport(m.exchange()).exportAll(out))
            state.SkipWithError("export failed");
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(count));
}
BENCHMARK_CAPTURE(GpxExport, track100k, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(GpxExport, waypoints10k, false)->Unit(benchmark::kMillisecond);

// gpsbabel reading the same file and writing it as GPX: the import and export together.
void Gpsbabel(benchmark::State& state, const std::string& (*file)(), size_t count) {
    const std::string& in = file();
    const std::string out = (folder() / "gpsbabel-out.gpx").string();
    std::vector<std::string> words = {"gpsbabel", "-i", "gpx", "-f", in, "-o", "gpx", "-F", out};
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    long peak = 0;
    for (auto _ : state) {
        pid_t pid = 0;
        if (::posix_spawnp(&pid, "gpsbabel", nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("gpsbabel is not installed");
            break;
        }
        int status = 0;
        struct rusage usage {};
        if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("gpsbabel failed");
            break;
        }
        peak = std::max(peak, usage.ru_maxrss);
        // Its processor time, comparable with the processor time of the benchmarks above.
        const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
        state.SetIterationTime(seconds(usage.ru_utime) + seconds(usage.ru_stime));
    }
    state.counters["peak_MiB"] = peak / 1024.0;
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(count));
}
BENCHMARK_CAPTURE(Gpsbabel, track100k, trackFile, 100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Gpsbabel, waypoints10k, waypointFile, 10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Our own conversion of the same files, as gpsbabel does it: import, then export.
void convert(const std::string& in, const std::string& out) {
    Models m;
    ModelImportDelegate delegate(m.exchange());
    GPXImport(m.exchange()).import(in, std::nullopt, &delegate);
    m.waypoints.setMatch(std::nullopt);
    GPXExport(m.exchange()).exportAll(out);
}

void Convert(benchmark::State& state, const std::string& (*file)(), size_t count) {
    const std::string& in = file();
    const std::string out = (folder() / "convert-out.gpx").string();
    state.counters["peak_MiB"] = bench_support::peakMiB("convert", in);
    for (auto _ : state)
        convert(in, out);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(count));
}
BENCHMARK_CAPTURE(Convert, track100k, trackFile, 100000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, waypoints10k, waypointFile, 10000)->Unit(benchmark::kMillisecond);

template <bool Track, bool Export>
void fillAndExport(const std::string& out) {
    Models m;
    Track ? fillTrack(m, 100000) : fillWaypoints(m, 10000);
    if (Export)
        GPXExport(m.exchange()).exportAll(out + ".peak");
    fs::remove(out + ".peak");
}

const bench_support::PeakJob jobs[] = {
    {"import",
     [](const std::string& path) {
         Models m;
         ModelImportDelegate delegate(m.exchange());
         GPXImport(m.exchange()).import(path, std::nullopt, &delegate);
     }},
    {"fill-track", fillAndExport<true, false>},
    {"export-track", fillAndExport<true, true>},
    {"fill-waypoints", fillAndExport<false, false>},
    {"export-waypoints", fillAndExport<false, true>},
    {"convert", [](const std::string& path) { convert(path, path + ".peak.gpx"); }},
};
MUX_BENCH_PEAK_JOBS();

} // namespace
