// GRIB decoding and contour tracing, beside ecCodes and contourpy doing the same work on the same
// files in the same run: a generated world at 0.25 degrees (1440 x 721, 16 bits per value) and
// the North Atlantic sample. The ratios (x_eccodes, x_contourpy) are our speed over theirs.

#include "nav/grib/ContourLevels.h"
#include "nav/grib/GribDecoder.h"
#include "nav/grib/GribModel.h"
#include "tests/grib/GribBuilder.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

const std::string kSample = MUX_SHARED_DATA "/grib/gfs-north-atlantic.grib1";

// Packs real values at D = 0 into `bits` bits: reference at or below the minimum, the smallest
// binary scale that spans the range.
void packValues(GribSpec& s, const std::vector<double>& values) {
    double lo = values.empty() ? 0 : values[0], hi = lo;
    for (double v : values)
        lo = std::min(lo, v), hi = std::max(hi, v);
    const uint32_t word = gribbuilder::ibmFloat(lo);
    const double r = std::ldexp(double(word & 0xffffff), 4 * (int(word >> 24 & 0x7f) - 64) - 24);
    s.reference = (word & 0x80000000u) ? -r : r;
    const double top = std::ldexp(1.0, s.bits) - 1;
    s.binaryScale = hi > s.reference ? int(std::ceil(std::log2((hi - s.reference) / top))) : 0;
    s.decimalScale = 0;
    s.packed.clear();
    for (double v : values)
        s.packed.push_back(uint32_t(std::lround(std::ldexp(v - s.reference, -s.binaryScale))));
}

// A pressure-like world: large systems with smaller ones riding on them, in pascals.
const std::string& globalFile() {
    static const std::string path = [] {
        GribSpec s;
        s.ni = 1440;
        s.nj = 721;
        s.di = s.dj = 0.25;
        s.la1 = 90;
        s.lo1 = 0;
        s.scanMode = 0;
        std::vector<double> values;
        values.reserve(size_t(s.ni) * s.nj);
        for (int j = 0; j < s.nj; ++j) {
            const double phi = (90 - 0.25 * j) * M_PI / 180;
            for (int i = 0; i < s.ni; ++i) {
                const double lambda = 0.25 * i * M_PI / 180;
                values.push_back(101000 + 1200 * std::sin(2 * lambda + 1) * std::cos(3 * phi) +
                                 700 * std::cos(5 * lambda - 2 * phi) * std::sin(phi) +
                                 300 * std::sin(11 * lambda) * std::cos(7 * phi) +
                                 120 * std::sin(23 * lambda + 3 * phi));
            }
        }
        packValues(s, values);
        const std::string file =
            (std::filesystem::temp_directory_path() / "bench-grib-global-0.25.grib1").string();
        std::ofstream(file, std::ios::binary) << asText(buildGrib(s));
        return file;
    }();
    return path;
}

// Decodes every message of a file; the number of values.
size_t decodeFile(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    GribRecord r;
    size_t values = 0;
    while (f && unpackgrib(f.get(), r) == kGribRead)
        values += r.values.size();
    return values;
}

std::vector<float> globalValues() {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(globalFile().c_str(), "rb"), &std::fclose);
    GribRecord r;
    unpackgrib(f.get(), r);
    return std::vector<float>(r.values.begin(), r.values.end());
}

// The levels contour picks for the world at interval 0.
std::vector<double> globalLevels() {
    const std::vector<float> values = globalValues();
    ContourContext c;
    c.NX = 1440;
    c.NY = 721;
    c.values = values;
    scaleData(c, 0);
    std::vector<double> levels;
    for (int k = 0; c.firstLevel + k * c.step < c.maximum; ++k)
        levels.push_back(c.firstLevel + k * c.step);
    return levels;
}

// Runs the reference script; its seconds per run and count, or why not.
struct Reference {
    double seconds = 0, count = 0;
    std::string failure;
};

Reference runReference(const std::string& args) {
    const char* python = std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    const std::string command = std::string(python) + " '" GRIB_REFERENCE_SCRIPT "' " + args + " 2>&1";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> pipe(::popen(command.c_str(), "r"), &::pclose);
    std::string out;
    char buffer[4096];
    for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        out.append(buffer, n);
    Reference r;
    std::istringstream in(out);
    if (!(in >> r.seconds >> r.count) || r.seconds <= 0)
        r.failure = out.empty() ? "python3 did not run" : out.substr(0, out.find('\n'));
    return r;
}

Reference eccodesSample, eccodesGlobal, contourpyGlobal;

// Their time per run as ours; the counter is their count per second, or the count itself.
void reportReference(benchmark::State& state, const Reference& r, const char* counter, bool perSecond) {
    if (!r.failure.empty()) {
        state.SkipWithError(r.failure.c_str());
        return;
    }
    for (auto _ : state)
        state.SetIterationTime(r.seconds);
    state.counters[counter] = benchmark::Counter(perSecond ? r.count / r.seconds : r.count);
}

void EcCodesDecodeSample(benchmark::State& state) {
    eccodesSample = runReference("decode '" + kSample + "' 200");
    reportReference(state, eccodesSample, "values_per_second", true);
}
BENCHMARK(EcCodesDecodeSample)->UseManualTime()->Iterations(1)->Unit(benchmark::kMicrosecond);

void EcCodesDecodeGlobal(benchmark::State& state) {
    eccodesGlobal = runReference("decode '" + globalFile() + "' 20");
    reportReference(state, eccodesGlobal, "values_per_second", true);
}
BENCHMARK(EcCodesDecodeGlobal)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void ContourpyGlobal(benchmark::State& state) {
    std::string levels;
    for (double level : globalLevels())
        levels += " " + std::to_string(level);
    contourpyGlobal = runReference("contour '" + globalFile() + "' 10" + levels);
    reportReference(state, contourpyGlobal, "levels", false);
}
BENCHMARK(ContourpyGlobal)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void decodeBenchmark(benchmark::State& state, const std::string& path, const Reference& theirs) {
    if (!std::filesystem::exists(path)) {
        state.SkipWithError(("no file " + path).c_str());
        return;
    }
    size_t values = 0;
    for (auto _ : state)
        values += decodeFile(path);
    state.counters["values_per_second"] = benchmark::Counter(double(values), benchmark::Counter::kIsRate);
    // (ours per second) / (theirs per second), as a rate over our time.
    if (theirs.count > 0)
        state.counters["x_eccodes"] =
            benchmark::Counter(double(values) * theirs.seconds / theirs.count, benchmark::Counter::kIsRate);
}

void DecodeSample(benchmark::State& state) {
    decodeBenchmark(state, kSample, eccodesSample);
}
BENCHMARK(DecodeSample)->UseRealTime()->Unit(benchmark::kMicrosecond);

void DecodeGlobal(benchmark::State& state) {
    decodeBenchmark(state, globalFile(), eccodesGlobal);
}
BENCHMARK(DecodeGlobal)->UseRealTime()->Unit(benchmark::kMillisecond);

void LoadSampleIntoModel(benchmark::State& state) {
    if (!std::filesystem::exists(kSample)) {
        state.SkipWithError("no sample file");
        return;
    }
    GribModel model;
    for (auto _ : state)
        benchmark::DoNotOptimize(model.loadGrib(kSample));
    state.SetItemsProcessed(state.iterations() * 5 * 41 * 25);
}
BENCHMARK(LoadSampleIntoModel)->Unit(benchmark::kMicrosecond);

void ContourGlobal(benchmark::State& state) {
    const std::vector<float> values = globalValues();
    std::atomic<uint64_t> counter{0};
    size_t lines = 0, points = 0;
    for (auto _ : state) {
        ContourContext c;
        c.NX = 1440;
        c.NY = 721;
        c.values = values;
        c.labelCounter = &counter;
        contour(c, 0);
        lines = c.lines.size();
        points = 0;
        for (const ContourLine& l : c.lines)
            points += l.size();
    }
    state.counters["levels"] = double(globalLevels().size());
    state.counters["lines"] = double(lines);
    state.counters["points"] = double(points);
    if (contourpyGlobal.seconds > 0)
        state.counters["x_contourpy"] = benchmark::Counter(
            contourpyGlobal.seconds * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(ContourGlobal)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
