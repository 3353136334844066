// What a user gets from whole commands on files on disk: navtool grib dump beside ecCodes'
// grib_get_data, render of the 0.25 degree world with its coastlines, and navtool on the worst
// hostile file of each kind (time and peak memory of the process).

#include "tests/grib/GribBuilder.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kNavtool = MUX_BINARY_DIR "/bin/navtool";

fs::path scratch(const std::string& name) {
    static const fs::path folder = [] {
        fs::path p = fs::temp_directory_path() / ("bench-grib-commands-" + std::to_string(::getpid()));
        fs::create_directories(p);
        return p;
    }();
    return folder / name;
}

struct Run {
    double seconds = 0;
    double cpu = 0;       // user and system seconds: the wall time less a busy machine's waits
    double megabytes = 0; // peak resident set of the process
    int status = -1;
};

// Runs a program with its output to /dev/null; wall time and peak memory.
Run run(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(child, &status, 0, &usage);
    Run r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.megabytes = double(usage.ru_maxrss) / 1024.0;
    r.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

void write(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
}

// The pressure-like 0.25 degree world of GribBench, with wind of the same shape.
const std::string& world() {
    static const std::string path = [] {
        std::vector<uint8_t> file;
        for (int parameter : {2, 33, 34}) {
            GribSpec s;
            s.parameter = parameter, s.ni = 1440, s.nj = 721, s.di = s.dj = 0.25, s.la1 = 90, s.lo1 = 0;
            s.scanMode = 0, s.bits = 16, s.binaryScale = parameter == 2 ? 0 : -9,
            s.reference = parameter == 2 ? 97000 : -60;
            for (int j = 0; j < s.nj; ++j)
                for (int i = 0; i < s.ni; ++i) {
                    const double lambda = 0.25 * i * M_PI / 180, phi = (90 - 0.25 * j) * M_PI / 180;
                    const double wave = std::sin(2 * lambda + parameter) * std::cos(3 * phi) +
                                        0.5 * std::cos(5 * lambda - 2 * phi) * std::sin(phi);
                    s.packed.push_back(uint32_t(parameter == 2 ? 4000 + 2500 * wave : 30000 + 20000 * wave));
                }
            const std::vector<uint8_t> m = buildGrib(s);
            file.insert(file.end(), m.begin(), m.end());
        }
        const fs::path p = scratch("world-0.25.grib1");
        write(p, file);
        return p.string();
    }();
    return path;
}

void report(benchmark::State& state, const Run& r) {
    for (auto _ : state)
        state.SetIterationTime(r.seconds);
    state.counters["peak_MB"] = r.megabytes;
    state.counters["cpu_s"] = r.cpu;
    state.counters["exit"] = r.status;
}

bool have(const std::string& program) {
    return run({"sh", "-c", "command -v " + program}).status == 0;
}

Run navtoolDump, ecCodesDump;

void EcCodesGetDataWorld(benchmark::State& state) {
    if (!have("grib_get_data")) {
        state.SkipWithError("grib_get_data is not installed (libeccodes-tools)");
        return;
    }
    ecCodesDump = run({"grib_get_data", "-w", "count=1", world()});
    report(state, ecCodesDump);
}
BENCHMARK(EcCodesGetDataWorld)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void NavtoolDumpWorld(benchmark::State& state) {
    navtoolDump = run({kNavtool, "grib", "dump", world(), "1"});
    report(state, navtoolDump);
    if (ecCodesDump.seconds > 0) {
        state.counters["x_grib_get_data"] = ecCodesDump.seconds / navtoolDump.seconds;
        state.counters["x_grib_get_data_cpu"] = ecCodesDump.cpu / navtoolDump.cpu;
    }
}
BENCHMARK(NavtoolDumpWorld)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void NavtoolRenderWorld(benchmark::State& state) {
    const Run r =
        run({kNavtool, "grib", "render", world(), scratch("world.png").string(), "--size", "1200x700"});
    if (r.status != 0) {
        state.SkipWithError("navtool grib render failed (a navtool without Qt cannot draw)");
        return;
    }
    report(state, r);
    state.counters["coastlines"] = fs::exists("/usr/share/gmt-gshhg/binned_GSHHS_c.nc");
}
BENCHMARK(NavtoolRenderWorld)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// A 4096 x 4096 field of one-bit noise: the most a message can ask the contours to trace.
const std::vector<uint8_t>& noise() {
    static const std::vector<uint8_t> bytes = [] {
        GribSpec s;
        s.ni = s.nj = 4096, s.bits = 1, s.reference = 100000, s.binaryScale = 8;
        std::mt19937 random(1);
        s.packed.resize(size_t(s.ni) * size_t(s.nj));
        for (uint32_t& x : s.packed)
            x = random() & 1;
        return buildGrib(s);
    }();
    return bytes;
}

std::vector<uint8_t> bzip2(const std::vector<uint8_t>& plain) {
    const std::string packed = bzip2Text(asText(plain));
    return std::vector<uint8_t>(packed.begin(), packed.end());
}

void HostileNoiseRender(benchmark::State& state) {
    write(scratch("noise.grib"), noise());
    report(state,
           run({kNavtool, "grib", "render", scratch("noise.grib").string(), scratch("noise.png").string()}));
}
BENCHMARK(HostileNoiseRender)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void HostileNoiseKml(benchmark::State& state) {
    write(scratch("noise.grib"), noise());
    fs::create_directories(scratch("kml"));
    report(state,
           run({kNavtool, "grib", "kml", scratch("noise.grib").string(), scratch("kml/noise.kml").string()}));
    state.counters["kml_MB"] = double(fs::file_size(scratch("kml/noise.kml"))) / 1e6;
}
BENCHMARK(HostileNoiseKml)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// A 4096 x 4096 checkerboard of one bit, a saddle in every cell, in a bzip2 file of a few
// hundred bytes.
void HostileCheckerBzip2Render(benchmark::State& state) {
    GribSpec s;
    s.ni = s.nj = 4096, s.bits = 1, s.reference = 100000, s.binaryScale = 8;
    s.packed.resize(size_t(s.ni) * size_t(s.nj));
    for (size_t k = 0; k < s.packed.size(); ++k)
        s.packed[k] = uint32_t((k + k / 4096) & 1);
    write(scratch("checker.grib.bz2"), bzip2(buildGrib(s)));
    fs::remove(scratch("checker.grib"));
    report(state, run({kNavtool, "grib", "render", scratch("checker.grib.bz2").string(),
                       scratch("checker.png").string()}));
    state.counters["file_bytes"] = double(fs::file_size(scratch("checker.grib.bz2")));
}
BENCHMARK(HostileCheckerBzip2Render)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Twenty of the largest grids at 0 bits: a few hundred bytes that claim 335 million values.
void HostileTwentyLargestRender(benchmark::State& state) {
    std::vector<uint8_t> file;
    for (int k = 0; k < 20; ++k) {
        GribSpec s;
        s.parameter = k % 2 ? 2 : 11, s.ni = s.nj = 4096, s.bits = 0, s.reference = 100000, s.hour = k;
        const std::vector<uint8_t> m = buildGrib(s);
        file.insert(file.end(), m.begin(), m.end());
    }
    write(scratch("twenty.grib"), file);
    report(state, run({kNavtool, "grib", "render", scratch("twenty.grib").string(),
                       scratch("twenty.png").string()}));
    state.counters["file_bytes"] = double(file.size());
}
BENCHMARK(HostileTwentyLargestRender)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// 300 MiB of zeros in a few hundred kilobytes of bzip2: unpacking stops at its bound.
void HostileBzip2BombList(benchmark::State& state) {
    const fs::path bomb = scratch("bomb.grib.bz2");
    if (!fs::exists(bomb))
        write(bomb, bzip2(std::vector<uint8_t>(size_t(300) << 20, 0)));
    report(state, run({kNavtool, "grib", "list", bomb.string()}));
    state.counters["file_bytes"] = double(fs::file_size(bomb));
    state.counters["left_behind"] = double(fs::exists(scratch("bomb.grib")));
}
BENCHMARK(HostileBzip2BombList)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
