#include "support/Settings.h"
#include "Helpers.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <vector>

using namespace testing_support;
using namespace std::chrono_literals;
using namespace std::string_literals;

namespace {

class SettingsStore : public ::testing::Test {
protected:
    fs::path folder;
    fs::path file;
    void SetUp() override {
        folder =
            fs::temp_directory_path() / ("settings-" + std::to_string(getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        file = folder / "store.plist";
        Settings::setStorePath(file.string());
    }
    void TearDown() override {
        Settings::setStorePath((folder / "unused.plist").string());
        Settings::removeItem("x"); // leaves nothing dirty behind for the exit hook
        Settings::setStorePath(fs::temp_directory_path() / "settings-none.plist");
        fs::remove_all(folder);
    }
    // Read the file again, as the next run of the program would.
    void reopen() {
        Settings::setStorePath((folder / "other.plist").string());
        Settings::setStorePath(file.string());
    }
};

TEST_F(SettingsStore, EveryTypeSurvivesAWriteAndAFreshRead) {
    SettingDate date{std::chrono::sys_days{std::chrono::year{2024} / 3 / 15} + 13h + 5min + 7s};
    SettingDictionary nested{{"inner", SettingArray{1, "two", 3.5, true}}, {"empty", SettingDictionary{}}};
    std::vector<std::pair<std::string, SettingValue>> values = {
        {"text", "Velmar <&> Ünïcode °"},
        {"empty", ""},
        {"int", int64_t(-123456789012345)},
        {"real", 0.1},
        {"yes", true},
        {"date", date},
        {"array", SettingArray{"a", 2, SettingArray{false}}},
        {"dict", nested},
    };
    for (auto& [key, value] : values)
        Settings::setItem(key, value);
    ASSERT_TRUE(Settings::save());
    reopen();
    for (auto& [key, value] : values) {
        bool any = false;
        for (auto type : {Settings::Type::Text, Settings::Type::Number, Settings::Type::Boolean,
                          Settings::Type::Date, Settings::Type::Array, Settings::Type::Dictionary})
            if (auto read = Settings::item(key, type)) {
                any = true;
                EXPECT_EQ(static_cast<const SettingValue::variant&>(*read),
                          static_cast<const SettingValue::variant&>(value))
                    << key;
            }
        EXPECT_TRUE(any) << key;
    }
}

TEST_F(SettingsStore, WrongTypeReadsAndMissingKeysGiveNothing) {
    Settings::setItem("serialPort", "ttyUSB0");
    Settings::setItem("rate", 4800);
    Settings::setItem("tcpipServerEnable", true);
    Settings::setItem("ratio", 0.0);
    using T = Settings::Type;
    struct Case {
        const char* key;
        T type;
        bool present;
    } cases[] = {
        {"serialPort", T::Text, true},          {"serialPort", T::Number, false}, {"rate", T::Text, false},
        {"tcpipServerEnable", T::Number, true}, {"missing", T::Text, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Settings::item(std::string(c.key), c.type).has_value(), c.present) << c.key;
    EXPECT_EQ(Settings::number("tcpipServerEnable"), 1.0);
    EXPECT_EQ(Settings::boolean("rate"), true);
    EXPECT_EQ(Settings::boolean("ratio"), false);
    EXPECT_EQ(Settings::boolean("serialPort"), std::nullopt);
    EXPECT_FALSE(Settings::item(std::nullopt, T::Text));
    EXPECT_FALSE(Settings::hasItem(std::nullopt));
    // No key or no value changes nothing; a value of another type replaces.
    Settings::setItem("serialPort", std::nullopt);
    Settings::setItem(std::nullopt, SettingValue("x"));
    EXPECT_EQ(Settings::text("serialPort"), "ttyUSB0");
    Settings::setItem("serialPort", 5);
    EXPECT_EQ(Settings::text("serialPort"), std::nullopt);
    Settings::removeItem("serialPort");
    EXPECT_FALSE(Settings::hasItem(std::string("serialPort")));
}

TEST_F(SettingsStore, ACorruptFileGivesAnEmptyStoreAndIsKeptAsBad) {
    for (std::string damage :
         {std::string("<?xml version=\"1.0\"?><plist><dict><key>rate</key><string>48"),
          std::string("\x00\x01\x02garbage", 10), std::string("<plist><string>x</string></plist>"),
          std::string("bplist00\xff\xff\xff")}) {
        spit(file, damage);
        reopen();
        EXPECT_FALSE(Settings::hasItem(std::string("rate")));
        Settings::setItem("x", 1);
        EXPECT_EQ(slurp(file), damage) << "not overwritten before a save";
        ASSERT_TRUE(Settings::save());
        EXPECT_EQ(slurp(folder / "store.plist.bad"), damage);
        reopen();
        EXPECT_EQ(Settings::number("x"), 1.0);
    }
}

TEST_F(SettingsStore, BinaryStoreWrittenElsewhereIsRead) {
    // [[[[false]]]] in the binary form is no store: a store is a dictionary at the top.
    spit(file,
         "bplist00\xA1\x00\x01\xA1\x00\x02\xA1\x00\x03\x08\x00\x00\x08\x00\x00\x0B\x00\x00\x0E\x00\x00\x11"s +
             std::string(6, '\0') + "\x03\x02"s + std::string(7, '\0') + "\x04"s + std::string(15, '\0') +
             "\x12");
    reopen();
    EXPECT_FALSE(Settings::hasItem(std::string("list")));
    std::ifstream seed(std::string(MUX_SOURCE_DIR) + "/fuzz/corpus/settings_plist_fuzz/binary.plist",
                       std::ios::binary);
    if (!seed)
        GTEST_SKIP() << "binary seed file not found";
    { std::ofstream(file, std::ios::binary) << seed.rdbuf(); }
    reopen();
    EXPECT_EQ(Settings::text("serialPort"), "ttyUSB0");
    EXPECT_EQ(Settings::number("depth"), -12.0);
    auto list = Settings::item(std::string("list"), Settings::Type::Array);
    ASSERT_TRUE(list);
    EXPECT_EQ(std::get<SettingArray>(*list).size(), 3u) << "the data element is not a kept type";
}

TEST_F(SettingsStore, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    Settings::setItem("rate", "9600");
    ASSERT_TRUE(Settings::save());
    std::string before = slurp(file);
    // The store's name taken by a folder: the final rename fails.
    fs::path blocked = folder / "blocked.plist";
    fs::create_directories(blocked / "inside");
    Settings::setStorePath(blocked.string());
    Settings::setItem("rate", "4800");
    EXPECT_FALSE(Settings::save());
    // A store under a plain file cannot be created at all.
    Settings::setStorePath((file / "sub.plist").string());
    Settings::setItem("rate", "4800");
    EXPECT_FALSE(Settings::save());
    Settings::removeItem("rate");
    Settings::setStorePath(file.string());
    EXPECT_EQ(slurp(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2)
        << "store.plist and the blocking folder only";
}

TEST_F(SettingsStore, ChangesAreWrittenAtNormalExit) {
    pid_t child = fork();
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
    {
        Env config("XDG_CONFIG_HOME", folder.c_str());
        Settings::setApplication("muxconsole-test");
        EXPECT_EQ(Settings::storePath(), (folder / "muxconsole-test.plist").string());
    }
    Env relative("XDG_CONFIG_HOME", "relative/path"); // not absolute: ignored
    EXPECT_NE(Settings::storePath().find("/.config/muxconsole-test.plist"), std::string::npos);
    EXPECT_EQ(Settings::storePath().find("relative"), std::string::npos);
}

} // namespace
