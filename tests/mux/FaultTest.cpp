// Faults found in review, each mended: lost edits, a panel showing a device that is gone, a
// program that keeps querying after deciding to quit, preferences wiped at a failed start,
// relative paths, text that cannot form an entry.

#include "tests/mux/Rig.h"

#include "support/Settings.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

namespace {

long countOf(const std::vector<std::string>& lines, const std::string& prefix) {
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.starts_with(prefix); });
}

// A key the test library's ASCII table does not know.
void typeLatin(QWidget* widget, Qt::Key key, const char* text) {
    QTest::sendKeyEvent(QTest::Click, widget, key, QString::fromUtf8(text), Qt::NoModifier);
}

} // namespace

TEST(MuxFaults, EditsOfDifferentKindsInOneTurnAllGoOut) {
    Rig rig(RigOptions::of(MuxVariant::Legacy, MuxFamily::Legacy)
                .withFilters({{"--RMC", "00000", 0}, {"GPGGA", "10000", 3}}));
    ASSERT_TRUE(rig.waitIdentified());
    ASSERT_TRUE(Rig::waitFor([&] { return rig.ctl().filterArray().size() == 2; }));
    rig.settle();
    rig.sim().clearReceived();
    ConfigurationPane& c = rig.config();
    // All within one turn of the reader: it cannot take anything before the loop runs again.
    c.seatalkButton->click();
    c.priorityButton->click(); // the same kind again: still one configuration sentence
    QTest::keyClicks(c.talkerIDFields[0], "gp");
    c.rateInComboBoxes[2]->setCurrentIndex(3);
    emit c.rateInComboBoxes[2]->activated(3);
    QAbstractItemModel* model = rig.filters().filterTableView->model();
    model->setData(model->index(0, 1), Qt::Checked, Qt::CheckStateRole);
    model->setData(model->index(1, 4), Qt::Checked, Qt::CheckStateRole);
    ASSERT_TRUE(rig.waitSent("$PQVXFLQ"));
    EXPECT_EQ(rig.sentLines(),
              (std::vector<std::string>{
                  framed("$PQVXCF,0,0,1,1,0,0000,0,0"), framed("$PQVXCFQ"), framed("$PQVXSP,0,0,3,0,0"),
                  framed("$PQVXSPQ"), framed("$PQVXID,GP,,,"), framed("$PQVXIDQ"),
                  framed("$PQVXFL,--RMC,01000,0"), framed("$PQVXFL,GPGGA,10001,3"), framed("$PQVXFLQ")}));
    ASSERT_TRUE(Rig::waitFor([&] { return rig.sim().state().talkerIDs[0] == "GP"; }));
    const MuxState state = rig.sim().state();
    EXPECT_EQ(state.seatalk, 1);
    EXPECT_EQ(state.priority, 1);
    EXPECT_EQ(state.channelSpeeds[2], 3);
    EXPECT_EQ(state.filters[1].flags, "10001");
}

TEST(MuxFaults, LostDeviceLeavesNothingOfItOnThePanel) {
    Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::Model42)
                .withStableLink(true)
                .withFilters({{"--RMC", "01000", 0}}));
    ASSERT_TRUE(rig.waitIdentified());
    ASSERT_TRUE(Rig::waitFor([&] { return rig.filters().removeButton->isEnabled(); }));
    rig.reply("$PQVXOV,1");
    ASSERT_TRUE(rig.barrier());

    rig.sim().unplug();
    const QString lost = QString::fromStdString("#### " + Alert::localizedStringWithKey("NSLineLost") + " " +
                                                rig.sim().portPath());
    ASSERT_TRUE(Rig::waitFor([&] { return rig.monitor().contains(lost); }));
    EXPECT_FALSE(rig.ctl().hasConnection());
    EXPECT_TRUE(rig.device().deviceField->text().isEmpty());
    EXPECT_TRUE(rig.device().serialField->text().isEmpty());
    EXPECT_FALSE(rig.device().hasVersion());
    EXPECT_TRUE(rig.ctl().filterArray().empty());
    EXPECT_FALSE(rig.filters().removeButton->isEnabled());
    EXPECT_FALSE(rig.filters().clearAllButton->isEnabled());
    EXPECT_TRUE(rig.config().overflowFields[0]->text().isEmpty());
    EXPECT_FALSE(rig.config().modeComboBox->isEnabled());
    EXPECT_EQ(rig.ctl().family(), MuxFamily::Other);

    ASSERT_TRUE(rig.sim().replug());
    ASSERT_TRUE(rig.waitIdentified());
    ASSERT_TRUE(Rig::waitFor([&] { return rig.filters().removeButton->isEnabled(); }));
    EXPECT_EQ(rig.monitor().count(lost), 1);
    EXPECT_EQ(rig.monitor().count("#### Open "), 2);
    EXPECT_TRUE(rig.alerts.empty());
}

TEST(MuxFaults, NoQueriesOnceTheFirmwareIsFoundTooOld) {
    Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration).withFirmware("nan"));
    long versionQueries = -1;
    rig.duringAlert = [&] { // the panel stays open for several of the timer's ticks
        versionQueries = countOf(rig.sentLines(), "$PQVXVER");
        Rig::waitFor([] { return false; }, std::chrono::milliseconds(250));
    };
    ASSERT_TRUE(Rig::waitFor([&] { return rig.terminations > 0; }));
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(rig.alerts[0].message, Alert::localizedStringWithKey("NSFirmVersionNotSupported"));
    rig.settle();
    EXPECT_EQ(countOf(rig.sentLines(), "$PQVXVER"), versionQueries);
}

TEST(MuxFaults, NoSerialPortLeavesThePreferencesAsTheyWere) {
    RigOptions options = RigOptions::of(MuxVariant::Legacy, MuxFamily::Legacy).withNoPorts();
    options.beforeStart = [](MuxController&) {
        Settings::setItem("rate", SettingValue(std::string("9600")));
        Settings::setItem("tcpipServerPort", SettingValue(std::string("3000")));
        Settings::setItem("tcpipServerEnable", SettingValue(true));
        Settings::save();
    };
    Rig rig(options);
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(rig.alerts[0].message, Alert::localizedStringWithKey("NSNoPorts"));
    EXPECT_EQ(rig.terminations, 1);
    rig.ctl().applicationWillTerminate();
    Settings::setStorePath(rig.storePath); // read back from the file
    EXPECT_EQ(Settings::text("rate"), "9600");
    EXPECT_EQ(Settings::text("tcpipServerPort"), "3000");
    EXPECT_EQ(Settings::boolean("tcpipServerEnable"), true);
    EXPECT_FALSE(Settings::text("appVersion"));
}

TEST(MuxFaults, RelativePathOpensWhereTheUserMeantIt) {
    Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::Model42).withStableLink(true).withUnlisted());
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(rig.folder()); // the link is "./mux" from here
    QLineEdit* typed = rig.device().portComboBox->lineEdit();
    typed->clear();
    QTest::keyClicks(typed, "./mux");
    QTest::keyClick(typed, Qt::Key_Return);
    const bool identified = rig.waitIdentified();
    std::filesystem::current_path(before);
    ASSERT_TRUE(identified);
    EXPECT_EQ(rig.ctl().port(), rig.sim().portPath()); // kept whole, for the preferences too
    EXPECT_TRUE(rig.alerts.empty());
}

TEST(MuxFaults, TypingKeepsToWhatCanFormAnEntry) {
    Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration));
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    QLineEdit* field = rig.config().talkerIDFields[1];
    rig.sim().clearReceived();
    typeLatin(field, Qt::Key_Eacute, "é");
    EXPECT_EQ(rig.beeps, 1);
    EXPECT_EQ(field->text(), "");
    QTest::keyClicks(field, "g");
    EXPECT_EQ(rig.ctl().pendingRequests(), 0u); // one letter waits for the second
    QTest::keyClicks(field, "p");
    EXPECT_EQ(rig.ctl().pendingRequests(), uint32_t(Request::TalkerIDs));
    ASSERT_TRUE(rig.waitSent("$PQVXIDQ"));
    EXPECT_EQ(rig.sentLines().front(), framed("$PQVXID,,GP,,"));
    ASSERT_TRUE(Rig::waitFor([&] { return field->text() == "GP"; })); // as the device holds it
    QTest::keyClicks(field, "s"); // a third is refused, and the two go out again
    EXPECT_EQ(rig.beeps, 2);
    EXPECT_EQ(field->text(), "GP");

    QLineEdit* box = rig.filters().filterComboBox->lineEdit();
    typeLatin(box, Qt::Key_Adiaeresis, "Ä");
    typeLatin(box, Qt::Key_Adiaeresis, "Ä");
    EXPECT_EQ(rig.beeps, 4);
    EXPECT_FALSE(rig.filters().addButton->isEnabled());
    rig.filters().addButton->click();
    QTest::keyClicks(box, "gprmcx");
    EXPECT_EQ(rig.filters().filterComboBox->currentText(), "gprmc");
    EXPECT_TRUE(rig.filters().addButton->isEnabled());
}
