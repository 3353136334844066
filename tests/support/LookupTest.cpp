#include "support/Alert.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

struct ScopedEnv {
    std::string name;
    std::optional<std::string> old;
    ScopedEnv(const char* n, const char* value) : name(n) {
        if (const char* v = std::getenv(n))
            old = v;
        if (value)
            setenv(n, value, 1);
        else
            unsetenv(n);
    }
    ~ScopedEnv() {
        if (old)
            setenv(name.c_str(), old->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
};

class Lookup : public ::testing::Test {
protected:
    void TearDown() override {
        Alert::setLanguage("");
        Alert::setTableFolder("");
    }
};

TEST_F(Lookup, LanguageFollowsTheLocaleVariablesInOrder) {
    struct Case {
        const char *all, *messages, *lang, *expected;
    } cases[] = {
        {nullptr, nullptr, "de_DE.UTF-8", "de"},
        {nullptr, "fr_FR", "de_DE.UTF-8", "fr"},
        {"nl_BE.UTF-8@euro", "fr_FR", "de", "nl"},
        {"", "", "fr_CA", "fr"},
        {nullptr, nullptr, "C", "en"},
        {nullptr, nullptr, "POSIX", "en"},
        {nullptr, nullptr, nullptr, "en"},
        {nullptr, nullptr, "C.UTF-8", "en"},
    };
    for (const Case& c : cases) {
        ScopedEnv a("LC_ALL", c.all), m("LC_MESSAGES", c.messages), l("LANG", c.lang);
        EXPECT_EQ(Alert::language(), c.expected) << (c.lang ? c.lang : "(none)");
    }
}

TEST_F(Lookup, ShippedTablesAnswerEveryConsoleKeyInEveryLanguage) {
    // The build puts the tables next to the test program, as for the console.
    const char* keys[] = {"NSStart",
                          "NSStop",
                          "NSSendFile",
                          "NSSend",
                          "NSFailConnect",
                          "NSUnknown",
                          "NSServer",
                          "NSHub",
                          "NSAuto",
                          "NSAIS",
                          "NSNoPorts",
                          "NSFirmVersionNotSupported",
                          "NSUnableToOpenPort",
                          "NSOK",
                          "NSCancel",
                          "NSYes",
                          "NSNo",
                          "NSDelete",
                          "NSDontDelete",
                          "NSSave",
                          "NSDontSave",
                          "CFBundleName",
                          "CFBundleGetInfoString",
                          "NSTrue",
                          "NSMag",
                          "NSStarboard",
                          "NSPort"};
    ScopedEnv env("MUXCONSOLE_STRINGS", nullptr);
    for (const char* lang : {"en", "de", "fr", "nl"}) {
        Alert::setLanguage(lang);
        for (const char* key : keys) {
            std::string text = Alert::localizedStringWithKey(key);
            EXPECT_NE(text, key) << lang << " " << key;
            EXPECT_FALSE(text.empty()) << lang << " " << key;
        }
    }
    Alert::setLanguage("de");
    EXPECT_EQ(Alert::localizedStringWithKey("NSCancel"), "Abbrechen");
    EXPECT_NE(Alert::localizedStringWithKey("CFBundleGetInfoString").find("1."), std::string::npos)
        << "the version text carries the project's version";
}

class LookupInFolder : public Lookup {
protected:
    std::filesystem::path folder;
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() / ("lookup-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        write("en", {{"NSOK", "OK"}, {"NSOnlyEnglish", "Only English"}, {"NSPercent", "100% sure %@ %d"}});
        write("de", {{"NSOK", "Gut"}, {"NSAmp", "A & B <c>"}});
        Alert::setTableFolder(folder.string());
    }
    void TearDown() override {
        Lookup::TearDown();
        std::filesystem::remove_all(folder);
    }
    void write(const std::string& lang, std::vector<std::pair<std::string, std::string>> entries) {
        std::ofstream out(folder / (lang + ".plist"));
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n";
        for (auto& [k, v] : entries) {
            std::string escaped;
            for (char ch : v)
                escaped += ch == '&' ? "&amp;" : ch == '<' ? "&lt;" : ch == '>' ? "&gt;" : std::string(1, ch);
            out << "<key>" << k << "</key><string>" << escaped << "</string>\n";
        }
        out << "<key>NSNumber</key><integer>3</integer>\n</dict></plist>\n";
    }
};

TEST_F(LookupInFolder, FallsBackToEnglishThenToTheKey) {
    struct Case {
        const char *lang, *key, *expected;
    } cases[] = {
        {"de", "NSOK", "Gut"},
        {"de", "NSOnlyEnglish", "Only English"},
        {"de", "NSMissing", "NSMissing"},
        {"de", "NSAmp", "A & B <c>"},
        {"de_AT", "NSOK", "Gut"},               // region falls back to the language's table
        {"es", "NSOK", "OK"},                   // no table at all
        {"en", "NSPercent", "100% sure %@ %d"}, // no formatting of any kind
        {"en", "NSNumber", "NSNumber"},         // a non-text entry is no entry
        {"../en", "NSOK", "OK"},                // a language is never a path
        {"en", "", ""},
    };
    for (const Case& c : cases) {
        Alert::setLanguage(c.lang);
        EXPECT_EQ(Alert::localizedStringWithKey(c.key), c.expected) << c.lang << " " << c.key;
    }
}

TEST_F(LookupInFolder, InfoValuesWinOverTables) {
    Alert::setLanguage("de");
    Alert::setInfoValue("NSOK", "Fine");
    EXPECT_EQ(Alert::localizedStringWithKey("NSOK"), "Fine");
    Alert::setInfoValue("NSOK", "Gut");
}

TEST_F(LookupInFolder, EnvironmentNamesTheFolderUnlessOneIsSet) {
    Alert::setTableFolder("");
    ScopedEnv env("MUXCONSOLE_STRINGS", folder.c_str());
    Alert::setLanguage("en");
    EXPECT_EQ(Alert::tableFolder(), folder.string());
    EXPECT_EQ(Alert::localizedStringWithKey("NSOnlyEnglish"), "Only English");
    Alert::setTableFolder("/nonexistent");
    EXPECT_EQ(Alert::localizedStringWithKey("NSOnlyEnglish"), "NSOnlyEnglish");
}

TEST_F(LookupInFolder, ConcurrentLookupsAgree) {
    Alert::setLanguage("de");
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i)
                if (Alert::localizedStringWithKey(i % 2 ? "NSOK" : "NSOnlyEnglish") !=
                    (i % 2 ? "Gut" : "Only English"))
                    ++wrong;
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(wrong, 0);
}

} // namespace
