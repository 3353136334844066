// Folders, file access and unpacking: paths under a made-up home, read-only opens, and bzip2 files
// with hostile names or damaged contents.

#include "Helpers.h"
#include "support/OSXUtil.h"

#include <bzlib.h>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

std::string bzip(const std::string& plain) {
    std::string out(plain.size() + plain.size() / 100 + 700, '\0');
    unsigned length = unsigned(out.size());
    EXPECT_EQ(BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(plain.data()),
                                       unsigned(plain.size()), 9, 0, 0),
              BZ_OK);
    out.resize(length);
    return out;
}

TEST(SystemPath, FolderCodesAndNames) {
    TempFolder home;
    Env h("HOME", home.path.c_str()), data("XDG_DATA_HOME", (home.path / "data").c_str()),
        config("XDG_CONFIG_HOME", (home.path / "config").c_str()), tmp("TMPDIR", "/var/tmp/");
    spit(home.path / "config" / "user-dirs.dirs",
         "# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/Telechargements\"\n");
    const std::string H = home.path.string();
    const std::tuple<int, std::optional<std::string>, std::optional<std::string>> cases[] = {
        {5, "routes.plist", H + "/data/routes.plist"},
        {5, "~/saved/routes.plist", H + "/saved/routes.plist"},
        {9, "/abs/file", "/abs/file"},
        {9, "a.gpx", H + "/Documents/a.gpx"},
        {15, "f.grb", H + "/Telechargements/f.grb"},
        {5555, "route.gpx", "/var/tmp/route.gpx"},
        {5, std::nullopt, std::nullopt},
        {42, "x", std::nullopt},
    };
    for (const auto& [code, name, expected] : cases)
        EXPECT_EQ(OSXUtil::systemPath(code, name), expected) << code << " " << name.value_or("nil");
    EXPECT_EQ(OSXUtil::downloadsFolder(), H) << "no such folder yet: the home folder";
}

// Read modes only; a refused mode leaves the file alone.
TEST(FileAccess, OpensForReadingOnly) {
    TempFolder dir;
    const std::string file = dir.file("log.nmea");
    spit(file, "$GPGGA\n");
    for (const char* mode : {"r", "rb", "r+"})
        EXPECT_TRUE(OSXUtil::fopenForRead(file, mode)) << mode;
    for (const char* mode : {"w", "a", "", "wr"})
        EXPECT_FALSE(OSXUtil::fopenForRead(file, mode)) << mode;
    EXPECT_EQ(slurp(file), "$GPGGA\n");
    EXPECT_FALSE(OSXUtil::fopenForRead(std::nullopt, "r"));
    EXPECT_FALSE(OSXUtil::fopenForRead(dir.file("missing"), "r"));
    using Path = std::optional<std::string>;
    for (const Path& bad : {Path(), Path(""), Path("/"), Path(dir.file("nothing"))})
        EXPECT_EQ(OSXUtil::changeDirectoryToPath(bad), std::nullopt) << bad.value_or("nil");
}

class Unzip : public ::testing::Test {
protected:
    TempFolder dir;
    fs::path before = fs::current_path();
    void SetUp() override { fs::current_path(dir.path); }
    void TearDown() override { fs::current_path(before); }
    long entries() const { return std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()); }
};

TEST_F(Unzip, HostilePathRunsNothingButTheDecompression) {
    // Each of these would run a command if the path ever reached a shell.
    std::string plain(200000, 'x');
    for (size_t i = 0; i < plain.size(); i += 7)
        plain[i] = char('A' + i % 26);
    for (std::string name : {"it's a \"grib\" $(touch pwned1).grb.bz2",
                             "`touch pwned2` ; touch pwned3 .grb.bz2", "a\\\" && touch pwned4 #.bz2"}) {
        fs::path file = dir.path / name;
        spit(file, bzip(plain));
        ASSERT_TRUE(OSXUtil::bUnZip(file.string())) << name;
        EXPECT_EQ(slurp(file.replace_extension()), plain) << name;
    }
    EXPECT_EQ(entries(), 6) << "each input kept beside its output, nothing else";
}

TEST_F(Unzip, BadInputLeavesNoOutputAndAnswersNo) {
    const std::string good = bzip("first part\n");
    spit("old.grb", "older contents");
    const std::tuple<const char*, std::string, const char*> cases[] = {
        {"truncated.grb.bz2", good.substr(0, good.size() - 5), nullptr},
        {"garbage.grb.bz2", "this is not bzip2 data at all", nullptr},
        {"empty.grb.bz2", "", nullptr},
        {"corrupt.grb.bz2", good.substr(0, 20) + std::string(10, '\x55') + good.substr(30), nullptr},
        {"two.grb.bz2", good + bzip("second part\n"), "first part\nsecond part\n"},
        {"trailing.grb.bz2", good + "\n\n\0junk", "first part\n"},
        {"old.grb.bz2", good, "first part\n"}, // replaces an older output
    };
    for (const auto& [name, bytes, out] : cases) {
        spit(name, bytes);
        EXPECT_EQ(OSXUtil::bUnZip((dir.path / name).string()), out != nullptr) << name;
        const fs::path output = fs::path(dir.path / name).replace_extension();
        EXPECT_EQ(fs::exists(output) ? slurp(output) : "(none)", out ? out : "(none)") << name;
    }
    EXPECT_FALSE(OSXUtil::bUnZip((dir.path / "missing.bz2").string()));
    spit("noextension", good);
    EXPECT_FALSE(OSXUtil::bUnZip((dir.path / "noextension").string())) << "would overwrite its own input";
    EXPECT_EQ(slurp("noextension"), good);
    EXPECT_FALSE(OSXUtil::bUnZip(dir.path.string())) << "a folder";
    EXPECT_EQ(entries(), long(std::size(cases)) + 4) << "no temporary file left behind";
}

TEST(SystemQueries, NearestLinuxAnswers) {
    EXPECT_FALSE(OSXUtil::hasRAM()) << "more than 256 MiB, counted without overflow";
    const std::string self = slurp("/proc/self/comm");
    EXPECT_TRUE(OSXUtil::isProcessRunning(self.substr(0, self.size() - 1)));
    EXPECT_FALSE(OSXUtil::isProcessRunning("no-such-process-name"));
}

} // namespace
