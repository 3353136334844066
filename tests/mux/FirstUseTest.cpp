// Faults found trying the console as a new user would: titles and dialog texts left in English,
// a capture that overwrote the user's routing.

#include "mux/ProgramNames.h"
#include "tests/mux/ConsoleRig.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;

namespace {

// Each program's name, and with it the window's and the panels' titles, is in the user's
// language; so are the file dialog's own texts.
TEST(MuxFirstUse, NamesAndTheDialogsOwnTextsFollowTheLanguage) {
    const std::string english = [] {
        Alert::setLanguage("en");
        return programName(MuxVariant::Current);
    }();
    for (const char* language : {"de", "fr", "nl"}) {
        SCOPED_TRACE(language);
        Alert::setLanguage(language);
        std::string names[2];
        for (MuxVariant variant : {MuxVariant::Current, MuxVariant::Legacy}) {
            nameProgram(variant, "9.9");
            const std::string name = Alert::localizedStringWithKey("CFBundleName");
            EXPECT_EQ(name, programName(variant));
            EXPECT_NE(name, english);
            EXPECT_TRUE(Alert::localizedStringWithKey("CFBundleGetInfoString").starts_with(name));
            names[variant == MuxVariant::Legacy] = name;
        }
        EXPECT_NE(names[0], names[1]);
        auto owner = std::make_unique<QObject>();
        if (!loadQtTranslations(owner.get())) {
            ADD_FAILURE() << "Qt's translations are missing: install qt6-translations-l10n";
            continue;
        }
        for (auto [context, text] : {std::pair{"QFileDialog", "Look in:"},
                                     {"QFileDialog", "File &name:"},
                                     {"QPlatformTheme", "Cancel"}})
            EXPECT_NE(QCoreApplication::translate(context, text), QString(text)) << text;
    }
    nameProgram(MuxVariant::Current, "9.9");
    Alert::setLanguage("");
}

// Addresses already in the list keep the routing the user gave them; new ones go in.
TEST(MuxFirstUse, CaptureLeavesAddressesAlreadyListedAlone) {
    ConsoleRig rig({.family = MuxFamily::Model42, .filters = {{"--RMC", "10000", 0}, {"GPGGA", "01000", 0}}});
    ASSERT_TRUE(rig.waitIdentified());
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return rig.core().filterList().size() == 2; }));
    rig.settle(); // a late reply to an earlier query would put the device's talker IDs back
    rig.config().talkerIDFields[1]->setText("GP"); // captured by sentence code: $GPRMC is --RMC
    rig.sim().clearReceived();
    rig.monitorPane().captureButton->click();
    for (const char* s : {"$GPRMC,1", "$IIMWV,2"})
        rig.reply(s);
    ASSERT_TRUE(rig.barrier());
    rig.advance(10s);
    ASSERT_TRUE(rig.waitSent("$PQVXFLQ"));
    std::vector<std::string> expected = {framed("$PQVXFL,--MWV,00000"), framed("$PQVXFLQ")};
    EXPECT_EQ(rig.sentLines(), expected);
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return rig.core().filterList().size() == 3; }));
    for (const Filter& row : rig.core().filterList().rows())
        if (row.sentence() == "--RMC") {
            EXPECT_TRUE(row.usb) << "the user's routing stays";
        }
}

} // namespace
