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
    std::string H = home.path.string();
    struct Case {
        int code;
        std::optional<std::string> name, expected;
    } cases[] = {
        {5, "routes.plist", H + "/data/routes.plist"},
        {5, "~/saved/routes.plist", H + "/saved/routes.plist"},
        {9, "/abs/file", "/abs/file"},
        {1, "muxconsole", H + "/.local/bin/muxconsole"},
        {9, "a.gpx", H + "/Documents/a.gpx"},
        {14, "Velmar", H + "/data/Velmar"},
        {15, "f.grb", H + "/Telechargements/f.grb"},
        {5555, "route.gpx", "/var/tmp/route.gpx"},
        {5, std::nullopt, std::nullopt},
        {42, "x", std::nullopt},
        {42, "~", H},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OSXUtil::systemPath(c.code, c.name), c.expected) << c.code << " " << c.name.value_or("nil");
    EXPECT_EQ(OSXUtil::applicationSupportFolder(std::string("Velmar")), H + "/data/Velmar");
    EXPECT_EQ(OSXUtil::applicationSupportFolder(std::nullopt), std::nullopt);
    EXPECT_EQ(OSXUtil::downloadsFolder(), H) << "no such folder yet: the home folder";
    fs::create_directories(home.path / "Telechargements");
    EXPECT_EQ(OSXUtil::downloadsFolder(), H + "/Telechargements");
}

TEST(XmlEscape, AmpersandFirstThenAngles) {
    struct Case {
        std::optional<std::string> in, out;
    } cases[] = {
        {"a<b>&c", "a&lt;b&gt;&amp;c"},
        {"&amp;", "&amp;amp;"},
        {"\"quotes\" 'stay'", "\"quotes\" 'stay'"},
        {"", ""},
        {std::nullopt, std::nullopt},
        {"°Ä<", "°Ä&lt;"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OSXUtil::stringByEncodingXMLCharacters(c.in), c.out);
}

TEST(FileAccess, OpenForReadOnlyInReadModes) {
    TempFolder dir;
    fs::path file = dir.path / "log.nmea";
    spit(file, "$GPGGA\n");
    for (const char* mode : {"r", "rb", "r+"}) {
        FilePtr f = OSXUtil::fopenForRead(file.string(), mode);
        ASSERT_TRUE(f) << mode;
        char buffer[8] = {};
        EXPECT_EQ(std::fread(buffer, 1, 6, f.get()), 6u);
    }
    for (const char* mode : {"w", "a", "", "wr"})
        EXPECT_FALSE(OSXUtil::fopenForRead(file.string(), mode)) << mode;
    EXPECT_EQ(slurp(file), "$GPGGA\n") << "a refused mode leaves the file alone";
    EXPECT_FALSE(OSXUtil::fopenForRead(std::nullopt, "r"));
    EXPECT_FALSE(OSXUtil::fopenForRead(std::string(), "r"));
    EXPECT_FALSE(OSXUtil::fopenForRead((dir.path / "missing").string(), "r"));
}

TEST(FileAccess, ChangeDirectoryToParentAndName) {
    TempFolder dir;
    fs::create_directories(dir.path / "charts");
    spit(dir.path / "charts" / "a b.kml", "x");
    fs::path before = fs::current_path();
    EXPECT_EQ(OSXUtil::changeDirectoryToPath((dir.path / "charts" / "a b.kml").string()), "a b.kml");
    EXPECT_EQ(fs::current_path(), fs::canonical(dir.path / "charts"));
    EXPECT_EQ(OSXUtil::changeDirectoryToPath((dir.path / "charts").string() + "/"), "charts");
    EXPECT_EQ(fs::current_path(), fs::canonical(dir.path));
    using Path = std::optional<std::string>;
    for (const Path& bad : {Path(), Path(""), Path("/"), Path(dir.file("nothing")), Path("charts")})
        EXPECT_EQ(OSXUtil::changeDirectoryToPath(bad), std::nullopt) << bad.value_or("nil");
    fs::current_path(before);
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
        fs::path out = file;
        out.replace_extension();
        EXPECT_EQ(slurp(out), plain) << name;
        EXPECT_TRUE(fs::exists(file)) << "the compressed file is kept";
    }
    for (const char* pwned : {"pwned1", "pwned2", "pwned3", "pwned4"}) {
        EXPECT_FALSE(fs::exists(dir.path / pwned)) << pwned;
        EXPECT_FALSE(fs::exists(before / pwned)) << pwned;
    }
    EXPECT_EQ(entries(), 6);
}

TEST_F(Unzip, BadInputLeavesNoOutputAndAnswersNo) {
    std::string good = bzip("first part\n");
    std::string twoStreams = good + bzip("second part\n");
    spit("old.grb", "older contents");
    struct Case {
        const char* name;
        std::string bytes;
        bool ok;
        const char* out;
    } cases[] = {
        {"truncated.grb.bz2", good.substr(0, good.size() - 5), false, nullptr},
        {"garbage.grb.bz2", "this is not bzip2 data at all", false, nullptr},
        {"empty.grb.bz2", "", false, nullptr},
        {"corrupt.grb.bz2", good.substr(0, 20) + std::string(10, '\x55') + good.substr(30), false, nullptr},
        {"two.grb.bz2", twoStreams, true, "first part\nsecond part\n"},
        {"trailing.grb.bz2", good + "\n\n\0junk", true, "first part\n"},
        {"old.grb.bz2", good, true, "first part\n"}, // replaces an older output
    };
    for (const Case& c : cases) {
        spit(c.name, c.bytes);
        EXPECT_EQ(OSXUtil::bUnZip((dir.path / c.name).string()), c.ok) << c.name;
        fs::path out = dir.path / c.name;
        out.replace_extension();
        if (c.out)
            EXPECT_EQ(slurp(out), c.out) << c.name;
        else
            EXPECT_FALSE(fs::exists(out)) << c.name;
    }
    EXPECT_FALSE(OSXUtil::bUnZip((dir.path / "missing.bz2").string()));
    spit("noextension", good);
    EXPECT_FALSE(OSXUtil::bUnZip((dir.path / "noextension").string())) << "would overwrite its own input";
    EXPECT_EQ(slurp("noextension"), good);
    EXPECT_FALSE(OSXUtil::bUnZip(dir.path.string())) << "a folder";
    // the inputs, three outputs and "noextension"
    EXPECT_EQ(entries(), long(std::size(cases)) + 4) << "no temporary file left behind";
}

TEST(SystemQueries, NearestLinuxAnswers) {
    EXPECT_FALSE(OSXUtil::hasRAM()) << "more than 256 MiB, counted without overflow";
    std::string self = slurp("/proc/self/comm");
    EXPECT_TRUE(OSXUtil::isProcessRunning(self.substr(0, self.size() - 1)));
    EXPECT_FALSE(OSXUtil::isProcessRunning("no-such-process-name"));
}

} // namespace
