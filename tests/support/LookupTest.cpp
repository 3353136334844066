// Message texts: the language from the locale, every table complete, and the fallbacks.

#include "Helpers.h"
#include "support/Alert.h"
#include "support/Plist.h"

#include <gtest/gtest.h>

#include <array>

using namespace testing_support;

namespace {

class Lookup : public ::testing::Test {
protected:
    void TearDown() override {
        Alert::setLanguage("");
        Alert::setTableFolder("");
    }
};

TEST_F(Lookup, LanguageFollowsTheLocaleVariablesInOrder) {
    const std::array<const char*, 4> cases[] = {{nullptr, nullptr, "de_DE.UTF-8", "de"},
                                                {nullptr, "fr_FR", "de_DE.UTF-8", "fr"},
                                                {"nl_BE.UTF-8@euro", "fr_FR", "de", "nl"},
                                                {nullptr, nullptr, "C", "en"},
                                                {nullptr, nullptr, nullptr, "en"}};
    for (const auto& [all, messages, lang, expected] : cases) {
        Env a("LC_ALL", all), m("LC_MESSAGES", messages), l("LANG", lang);
        EXPECT_EQ(Alert::language(), expected) << (lang ? lang : "(none)");
    }
}

TEST_F(Lookup, EveryLanguageHasEveryBaseKey) {
    Env env("MUXCONSOLE_STRINGS", nullptr);
    auto table = [](const std::string& lang) {
        auto bytes = slurp(fs::path(Alert::tableFolder()) / (lang + ".plist"));
        auto root = support::parsePlist(bytes);
        EXPECT_TRUE(root) << lang << " table unreadable";
        return root ? support::stringEntries(root->get()) : decltype(support::stringEntries(nullptr)){};
    };
    auto base = table("en");
    for (const char* key : {"NSStart", "NSNoPorts", "NSUnableToOpenPort", "CFBundleGetInfoString"})
        EXPECT_TRUE(base.count(key)) << "no English text for " << key;
    for (const char* lang : {"de", "fr", "nl"}) {
        auto other = table(lang);
        for (const auto& [key, text] : base)
            EXPECT_TRUE(other.count(key)) << lang << " lacks " << key;
        for (const auto& [key, text] : other)
            EXPECT_TRUE(base.count(key)) << lang << " has " << key << " without an English text";
    }
    Alert::setLanguage("de");
    EXPECT_EQ(Alert::localizedStringWithKey("NSCancel"), "Abbrechen");
    EXPECT_NE(Alert::localizedStringWithKey("CFBundleGetInfoString").find("1."), std::string::npos)
        << "the version text carries the project's version";
}

// Tables of a folder named by the environment: the language's table, then English, then the key.
TEST_F(Lookup, FallsBackToEnglishThenToTheKey) {
    TempFolder folder;
    auto write = [&](const char* lang, const std::string& entries) {
        spit(folder.path / (std::string(lang) + ".plist"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + entries +
                 "<key>NSNumber</key><integer>3</integer></dict></plist>\n");
    };
    write("en", "<key>NSOK</key><string>OK</string><key>NSOnlyEnglish</key><string>Only English</string>"
                "<key>NSPercent</key><string>100% sure %@ %d</string>");
    write("de", "<key>NSOK</key><string>Gut</string><key>NSAmp</key><string>A &amp; B &lt;c&gt;</string>");
    Env env("MUXCONSOLE_STRINGS", folder.path.c_str());
    const std::array<const char*, 3> cases[] = {
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
    for (const auto& [lang, key, expected] : cases) {
        Alert::setLanguage(lang);
        EXPECT_EQ(Alert::localizedStringWithKey(key), expected) << lang << " " << key;
    }
    Alert::setInfoValue("NSAmp", "Program's own");
    EXPECT_EQ(Alert::localizedStringWithKey("NSAmp"), "Program's own")
        << "program entries win over the tables";
    Alert::setTableFolder("/nonexistent"); // a folder set wins over the environment
    EXPECT_EQ(Alert::localizedStringWithKey("NSOnlyEnglish"), "NSOnlyEnglish");
}

} // namespace
