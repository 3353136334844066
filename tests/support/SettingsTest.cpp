// The preference store: types kept across a fresh read, damaged files kept aside, saves that fail
// without harm, the save at exit, and where the store lives.

#include "support/Settings.h"
#include "Helpers.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace testing_support;
using namespace std::chrono_literals;
using namespace std::string_literals;

namespace {

class SettingsStore : public ::testing::Test {
protected:
    TempFolder folder;
    fs::path file = folder.path / "store.plist";
    void SetUp() override { Settings::setStorePath(file.string()); }
    void TearDown() override {
        Settings::setStorePath((folder.path / "unused.plist").string());
        Settings::removeItem("x"); // leaves nothing dirty behind for the exit hook
        Settings::setStorePath(fs::temp_directory_path() / "settings-none.plist");
    }
    // Read the file again, as the next run of the program would.
    void reopen() {
        Settings::setStorePath((folder.path / "other.plist").string());
        Settings::setStorePath(file.string());
    }
};

// Every type through a write and a fresh read; each read only as its own type (a boolean is also
// a number, a number also a boolean); no key or no value changes nothing.
TEST_F(SettingsStore, TypesSurviveAFreshReadAndAreReadOnlyAsThemselves) {
    SettingDate date{std::chrono::sys_days{std::chrono::year{2024} / 3 / 15} + 13h + 5min + 7s};
    // Key, value, the types it reads as: Text, Number, Boolean, Date, Array, Dictionary.
    const std::tuple<std::string, SettingValue, const char*> values[] = {
        {"text", "Velmar <&> Ünïcode °", "T....."},
        {"empty", "", "T....."},
        {"int", int64_t(-123456789012345), ".N...."},
        {"real", 0.1, ".N...."},
        {"yes", true, ".NB..."},
        {"date", date, "...D.."},
        {"array", SettingArray{"a", 2, SettingArray{false}}, "....A."},
        {"dict", SettingDictionary{{"inner", SettingArray{1, "two", 3.5, true}}, {"e", SettingDictionary{}}},
         ".....D"},
    };
    using T = Settings::Type;
    for (const auto& [key, value, reads] : values)
        Settings::setItem(key, value);
    Settings::setItem(std::nullopt, SettingValue("x"));
    Settings::setItem("text", std::nullopt);
    ASSERT_TRUE(Settings::save());
    reopen();
    for (const auto& [key, value, reads] : values) {
        std::string read;
        for (T type : {T::Text, T::Number, T::Boolean, T::Date, T::Array, T::Dictionary}) {
            const auto got = Settings::item(key, type);
            read += got ? "TNBDAD"[int(type)] : '.';
            if (got) {
                EXPECT_EQ(static_cast<const SettingValue::variant&>(*got),
                          static_cast<const SettingValue::variant&>(value))
                    << key;
            }
        }
        EXPECT_EQ(read, reads) << key;
    }
    EXPECT_EQ(Settings::number("yes"), 1.0);
    EXPECT_EQ(Settings::boolean("int"), true);
    EXPECT_FALSE(Settings::boolean("text"));
    EXPECT_FALSE(Settings::item(std::nullopt, T::Text));
    EXPECT_FALSE(Settings::hasItem(std::string("missing")));
    Settings::setItem("text", 5); // a value of another type replaces
    EXPECT_EQ(Settings::text("text"), std::nullopt);
    Settings::removeItem("text");
    EXPECT_FALSE(Settings::hasItem(std::string("text")));
}

TEST_F(SettingsStore, ADamagedFileGivesAnEmptyStoreAndIsKeptAsBad) {
    for (
        const std::string& damage :
        {"<?xml version=\"1.0\"?><plist><dict><key>rate</key><string>48"s, "\x00\x01\x02garbage"s,
         "<plist><string>x</string></plist>"s, "bplist00\xff\xff\xff"s,
         // [[[[false]]]] in the binary form: a store is a dictionary at the top
         "bplist00\xA1\x00\x01\xA1\x00\x02\xA1\x00\x03\x08\x00\x00\x08\x00\x00\x0B\x00\x00\x0E\x00\x00\x11"s +
             std::string(6, '\0') + "\x03\x02"s + std::string(7, '\0') + "\x04"s + std::string(15, '\0') +
             "\x12"}) {
        spit(file, damage);
        reopen();
        EXPECT_FALSE(Settings::hasItem(std::string("rate")));
        Settings::setItem("x", 1);
        EXPECT_EQ(slurp(file), damage) << "not overwritten before a save";
        ASSERT_TRUE(Settings::save());
        EXPECT_EQ(slurp(folder.path / "store.plist.bad"), damage);
        reopen();
        EXPECT_EQ(Settings::number("x"), 1.0);
    }
}

// The store's name taken by a folder (the rename fails), or under a plain file (nothing can be
// created): the old file stays, no temporary file is left.
TEST_F(SettingsStore, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    Settings::setItem("rate", "9600");
    ASSERT_TRUE(Settings::save());
    const std::string before = slurp(file);
    fs::create_directories(folder.path / "blocked.plist/inside");
    for (const fs::path& store : {folder.path / "blocked.plist", file / "sub.plist"}) {
        Settings::setStorePath(store.string());
        Settings::setItem("rate", "4800");
        EXPECT_FALSE(Settings::save()) << store;
    }
    Settings::removeItem("rate");
    Settings::setStorePath(file.string());
    EXPECT_EQ(slurp(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path), fs::directory_iterator()), 2);
}

TEST_F(SettingsStore, ChangesAreWrittenAtNormalExit) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Settings::setStorePath(file.string());
        Settings::setItem("tcpipServerPort", "2114");
        std::exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    reopen();
    EXPECT_EQ(Settings::text("tcpipServerPort"), "2114");
}

TEST_F(SettingsStore, ProgramStoreLivesUnderTheConfigFolder) {
    Settings::setApplication("muxconsole-test");
    Env config("XDG_CONFIG_HOME", folder.path.c_str());
    EXPECT_EQ(Settings::storePath(), folder.file("muxconsole-test.plist"));
    Env relative("XDG_CONFIG_HOME", "relative/path"); // not absolute: ignored
    EXPECT_TRUE(Settings::storePath().ends_with("/.config/muxconsole-test.plist")) << Settings::storePath();
}

} // namespace
