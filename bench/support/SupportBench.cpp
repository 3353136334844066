// Costs of the support services that run often (lookups, preference reads) or on every start
// (the install check).
#include "support/Alert.h"
#include "support/OSXUtil.h"
#include "support/Platform.h"
#include "support/Settings.h"
#include "support/Workspace.h"
#ifdef MUX_BENCH_INSTALLER
#include "support/InstallController.h"
#endif

#include <benchmark/benchmark.h>
#include <bzlib.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

static void BM_LookupHit(benchmark::State& state) {
    Alert::setLanguage("de");
    for (auto _ : state)
        benchmark::DoNotOptimize(Alert::localizedStringWithKey("NSUnableToOpenPort"));
}
BENCHMARK(BM_LookupHit);

static void BM_LookupMissingKey(benchmark::State& state) {
    Alert::setLanguage("de");
    for (auto _ : state)
        benchmark::DoNotOptimize(Alert::localizedStringWithKey("NSNoSuchKey"));
}
BENCHMARK(BM_LookupMissingKey);

static void BM_LookupFourThreads(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(Alert::localizedStringWithKey("NSStarboard"));
}
BENCHMARK(BM_LookupFourThreads)->Threads(4);

static fs::path benchFolder() {
    static fs::path folder = fs::temp_directory_path() / ("bench-support-" + std::to_string(getpid()));
    fs::create_directories(folder);
    return folder;
}

static void BM_SettingsReadText(benchmark::State& state) {
    Settings::setStorePath((benchFolder() / "store.plist").string());
    Settings::setItem("serialPort", "ttyUSB0");
    for (auto _ : state)
        benchmark::DoNotOptimize(Settings::text("serialPort"));
}
BENCHMARK(BM_SettingsReadText);

static void BM_SettingsSaveSmallStore(benchmark::State& state) {
    Settings::setStorePath((benchFolder() / "store.plist").string());
    for (const char* key : {"serialPort", "rate", "tcpipServerPort", "appVersion"})
        Settings::setItem(key, "text value");
    Settings::setItem("tcpipServerEnable", true);
    for (auto _ : state)
        benchmark::DoNotOptimize(Settings::save());
}
BENCHMARK(BM_SettingsSaveSmallStore)->Unit(benchmark::kMicrosecond);

static void BM_VolumeOfProgram(benchmark::State& state) {
    std::string self = support::executablePath();
    for (auto _ : state)
        benchmark::DoNotOptimize(Workspace::propertiesForPath(self));
}
BENCHMARK(BM_VolumeOfProgram)->Unit(benchmark::kMicrosecond);

#ifdef MUX_BENCH_INSTALLER
// What the console pays at start-up when it does not run from an image.
static void BM_DisplayInstallerNotFromImage(benchmark::State& state) {
    unsetenv("APPIMAGE");
    for (auto _ : state) {
        InstallController controller;
        controller.displayInstaller();
    }
}
BENCHMARK(BM_DisplayInstallerNotFromImage)->Unit(benchmark::kMicrosecond);
#endif

static void BM_Bunzip(benchmark::State& state) {
    std::string plain(size_t(state.range(0)), '\0');
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] = char("$GPRMC,123519,A,4807.038,N,01131.000,E*6A\r\n"[i % 44]);
    std::string packed(plain.size() + plain.size() / 100 + 700, '\0');
    unsigned length = unsigned(packed.size());
    BZ2_bzBuffToBuffCompress(packed.data(), &length, plain.data(), unsigned(plain.size()), 9, 0, 0);
    packed.resize(length);
    fs::path file = benchFolder() / "data.grb.bz2";
    std::ofstream(file, std::ios::binary) << packed;
    for (auto _ : state)
        benchmark::DoNotOptimize(OSXUtil::bUnZip(file.string()));
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Bunzip)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

static void BM_XmlEscape(benchmark::State& state) {
    std::string text = "Waypoint <A&B> near \"Rock\" & 'Reef' > 3 nm";
    for (auto _ : state)
        benchmark::DoNotOptimize(OSXUtil::stringByEncodingXMLCharacters(text));
    state.SetBytesProcessed(int64_t(state.iterations() * text.size()));
}
BENCHMARK(BM_XmlEscape);

// Leaves no store behind (the exit hook writes a changed store).
static const int cleanup = (benchFolder(), std::atexit([] { fs::remove_all(benchFolder()); }));
