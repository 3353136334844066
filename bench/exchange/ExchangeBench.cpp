// navtool convert and gpsbabel side by side, each a whole conversion of the same file on disk, as
// a user runs it: GPX to GPX and GPX to KML of 100,000 track points, of 10,000 named and 10,000
// unnamed waypoints and of a 200-segment track. Wall time per conversion, the processor time it
// took (user and system; steadier than the wall on a shared machine), and the peak memory of the
// converting process (the kernel counts the spawning process's memory before the program starts,
// so figures at this program's own size, a few MiB once the inputs are written, are a floor).

#include "exchange/GPXExport.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

// points a segment, each segment begun by a pause of an hour.
std::string trackFile(const char* name, size_t points, size_t segments) {
    Models m;
    for (size_t i = 0; i < points; ++i) {
        auto t = std::make_shared<Track>();
        const size_t segment = i * segments / points;
        t->setDate(1.6e9 + static_cast<double>(i) * 5 + static_cast<double>(segment) * 3600);
        t->setPositionOnGPS(
            {10.0f + static_cast<float>(i % 1000) * 1e-4f, 54.0f + static_cast<float>(i / 1000) * 1e-3f});
        m.tracks.add(t);
    }
    const std::string path = (folder() / name).string();
    GPXExport(m.exchange()).exportTracks(path);
    return path;
}

std::string waypointFile(const char* name, size_t count, bool named) {
    std::ofstream out(folder() / name);
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<gpx version=\"1.1\" creator=\"bench\" "
           "xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
    for (size_t i = 0; i < count; ++i) {
        out << "<wpt lat=\"" << static_cast<double>(i % 1700) / 10.0 - 84.95 << "\" lon=\""
            << static_cast<double>(i % 3600) / 10.0 - 179.95 << "\">\n";
        if (named)
            out << "<name>P" << i << "</name>\n<desc>" << (i % 2 ? "fuel &amp; water" : "anchorage")
                << "</desc>\n";
        out << "</wpt>\n";
    }
    out << "</gpx>\n";
    return (folder() / name).string();
}

const std::string& input(int which) {
    static const std::string files[] = {
        trackFile("track100k.gpx", 100000, 1),
        waypointFile("named10k.gpx", 10000, true),
        waypointFile("unnamed10k.gpx", 10000, false),
        trackFile("segments200.gpx", 20000, 200),
    };
    // The models that wrote them are gone: give their memory back, so that the floor under the
    // converters' peak memory is low.
    static const bool trimmed = (::malloc_trim(0), true);
    (void)trimmed;
    return files[which];
}

std::string navtoolPath() {
    return (fs::read_symlink("/proc/self/exe").parent_path() / "navtool").string();
}

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// Runs the program to its end; its wall time, or a negative time when it could not run or failed.
// Adds its processor time to *cpu.
double runTimed(std::vector<std::string> words, long* peakKiB, double* cpu) {
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    struct rusage usage {};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    *peakKiB = std::max(*peakKiB, usage.ru_maxrss);
    *cpu += seconds(usage.ru_utime) + seconds(usage.ru_stime);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

enum Program { Navtool, Gpsbabel };

void Convert(benchmark::State& state, Program program, int which, const char* format) {
    const std::string& in = input(which);
    const std::string out =
        (folder() / (std::string(program == Navtool ? "ours." : "theirs.") + format)).string();
    const std::vector<std::string> words =
        program == Navtool
            ? std::vector<std::string>{navtoolPath(), "convert", in, out}
            : std::vector<std::string>{"gpsbabel", "-i", "gpx", "-f", in, "-o", format, "-F", out};
    long peak = 0;
    double cpu = 0;
    for (auto _ : state) {
        const double wall = runTimed(words, &peak, &cpu);
        if (wall < 0) {
            state.SkipWithError((words[0] + " did not run or failed").c_str());
            break;
        }
        state.SetIterationTime(wall);
    }
    state.counters["cpu_ms"] = benchmark::Counter(
        cpu * 1e3 / static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations())));
    state.counters["peak_MiB"] = static_cast<double>(peak) / 1024.0;
}

void registerAll() {
    const char* inputs[] = {"track100k", "named10k", "unnamed10k", "segments200"};
    for (int which = 0; which < 4; ++which)
        for (const char* format : {"gpx", "kml"})
            for (Program program : {Navtool, Gpsbabel}) {
                const std::string name = std::string(program == Navtool ? "navtool/" : "gpsbabel/") +
                                         inputs[which] + "/gpx-to-" + format;
                benchmark::RegisterBenchmark(name.c_str(), Convert, program, which, format)
                    ->UseManualTime()
                    ->Iterations(3)
                    ->Unit(benchmark::kMillisecond);
            }
}

const bool registered = (registerAll(), true);

} // namespace
