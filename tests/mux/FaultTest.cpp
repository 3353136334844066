// Faults found in review, each mended: lost edits, a panel showing a device that is gone, a
// program that keeps querying after deciding to quit, preferences wiped at a failed start,
// relative paths, text that cannot form an entry, a reader spinning on a port that drops.

#include "tests/mux/ConsoleRig.h"

#include "support/Settings.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <stdlib.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A key the test library's ASCII table does not know.
void typeLatin(QWidget* widget, Qt::Key key, const char* text) {
    QTest::sendKeyEvent(QTest::Click, widget, key, QString::fromUtf8(text), Qt::NoModifier);
}

} // namespace

TEST(MuxFaults, EditsOfDifferentKindsInOneTurnAllGoOut) {
    ConsoleRig rig({.family = MuxFamily::Legacy, .filters = {{"--RMC", "00000", 0}, {"GPGGA", "10000", 3}}});
    ASSERT_TRUE(rig.waitIdentified());
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return rig.core().filterList().rows().size() == 2; }));
    rig.settle();
    rig.sim().clearReceived();
    const ConfigurationControls c = rig.config();
    // All within one turn of the reader: it cannot take anything before the loop runs again.
    c.seatalkButton->click();
    c.priorityButton->click(); // the same kind again: still one configuration sentence
    QTest::keyClicks(c.talkerIDFields[0], "gp");
    c.rateInComboBoxes[2]->setCurrentIndex(3);
    emit c.rateInComboBoxes[2]->activated(3);
    QAbstractItemModel* model = rig.filters().filterTableView->model();
    for (auto [row, column] : {std::pair{0, 0}, {0, 1}, {1, 4}}) // the host link, channels 1 and 4
        model->setData(model->index(row, column), Qt::Checked, Qt::CheckStateRole);
    ASSERT_TRUE(rig.waitSent("$PQVXFLQ"));
    EXPECT_EQ(rig.sentLines(),
              (std::vector<std::string>{
                  framed("$PQVXCF,0,0,1,1,0,0000,0,0"), framed("$PQVXCFQ"), framed("$PQVXSP,0,0,3,0,0"),
                  framed("$PQVXSPQ"), framed("$PQVXID,GP,,,"), framed("$PQVXIDQ"),
                  framed("$PQVXFL,--RMC,11000,0"), framed("$PQVXFL,GPGGA,10001,3"), framed("$PQVXFLQ")}));
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return rig.sim().state().talkerIDs[0] == "GP"; }));
    const MuxState state = rig.sim().state();
    EXPECT_EQ(state.seatalk, 1);
    EXPECT_EQ(state.priority, 1);
    EXPECT_EQ(state.channelSpeeds[2], 3);
    EXPECT_EQ(state.filters[1].flags, "10001");
}

TEST(MuxFaults, LostDeviceLeavesNothingOfItOnThePanel) {
    ConsoleRig rig({.family = MuxFamily::Model42, .stableLink = true, .filters = {{"--RMC", "01000", 0}}});
    ASSERT_TRUE(rig.waitIdentified());
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return rig.filters().removeButton->isEnabled(); }));
    rig.reply("$PQVXOV,1");
    ASSERT_TRUE(rig.barrier());

    rig.sim().unplug();
    const QString lost = QString::fromStdString("#### " + Alert::localizedStringWithKey("NSLineLost") + " " +
                                                rig.sim().portPath());
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return rig.monitor().contains(lost); }));
    EXPECT_FALSE(rig.ctl().hasConnection());
    EXPECT_TRUE(rig.device().deviceField->text().isEmpty());
    EXPECT_TRUE(rig.device().serialField->text().isEmpty());
    EXPECT_FALSE(rig.device().hasVersion());
    EXPECT_TRUE(rig.core().filterList().rows().empty());
    EXPECT_FALSE(rig.filters().removeButton->isEnabled());
    EXPECT_FALSE(rig.filters().clearAllButton->isEnabled());
    EXPECT_TRUE(rig.config().overflowFields[0]->text().isEmpty());
    EXPECT_FALSE(rig.config().modeComboBox->isEnabled());
    EXPECT_EQ(rig.ctl().family(), MuxFamily::Other);

    ASSERT_TRUE(rig.sim().replug());
    ASSERT_TRUE(rig.waitIdentified());
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return rig.filters().removeButton->isEnabled(); }));
    EXPECT_EQ(rig.monitor().count(lost), 1);
    EXPECT_EQ(rig.monitor().count("#### Open "), 2);
    EXPECT_TRUE(rig.alerts.empty());
}

TEST(MuxFaults, NoQueriesOnceTheFirmwareIsFoundTooOld) {
    ConsoleRig rig({.firmware = "nan"});
    const std::string open = framed("$PQVXCN,0"); // written as the panel opens
    rig.duringAlert = [&] {                       // the panel stays open for several of the timer's ticks
        rig.core().sender().sendNMEACommand("$PQVXCN,0");
        for (int i = 0; i < 6; ++i)
            rig.ctl().sanityTimer();
    };
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return rig.terminations > 0; }));
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(rig.alerts[0].message, Alert::localizedStringWithKey("NSFirmVersionNotSupported"));
    rig.settle();
    const Bytes got = rig.sim().received();
    const std::string wire(got.begin(), got.end());
    ASSERT_NE(wire.find(open), std::string::npos);
    EXPECT_EQ(wire.find("$PQVXVER", wire.find(open)), std::string::npos);
    // A late answer to a query sent before the verdict is not a second verdict.
    rig.reply("$PQVXVER,nan,VX-8,12345,0");
    ASSERT_TRUE(rig.barrier());
    EXPECT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(rig.terminations, 1);
}

TEST(MuxFaults, NoSerialPortLeavesThePreferencesAsTheyWere) {
    ConsoleRig rig({.family = MuxFamily::Legacy, .noPorts = true, .beforeStart = [](MuxController&) {
                        Settings::setItem("rate", SettingValue(std::string("9600")));
                        Settings::setItem("tcpipServerPort", SettingValue(std::string("3000")));
                        Settings::setItem("tcpipServerEnable", SettingValue(true));
                        Settings::save();
                    }});
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

// Given on the command line, then typed: either way kept whole, for the preferences too.
TEST(MuxFaults, RelativePathOpensWhereTheUserMeantIt) {
    namespace fs = std::filesystem;
    const auto before = fs::current_path();
    ConsoleRig rig({.family = MuxFamily::Model42, .stableLink = true, .tune = [](MuxOptions& o) {
                        fs::current_path(fs::path(*o.selectPort).parent_path());
                        o.selectPort = "./mux";
                    }});
    EXPECT_TRUE(rig.waitIdentified());
    EXPECT_EQ(rig.ctl().port(), rig.sim().portPath());
    QLineEdit* typed = rig.device().portComboBox->lineEdit();
    typed->clear();
    QTest::keyClicks(typed,
                     QString::fromStdString("../" + fs::path(rig.folder()).filename().string() + "/mux"));
    QTest::keyClick(typed, Qt::Key_Return);
    EXPECT_TRUE(ConsoleRig::waitFor([&] { return rig.ctl().port() == rig.sim().portPath(); }))
        << *rig.ctl().port();
    EXPECT_TRUE(rig.waitIdentified());
    fs::current_path(before);
    EXPECT_TRUE(rig.alerts.empty());
}

TEST(MuxFaults, TypingKeepsToWhatCanFormAnEntry) {
    ConsoleRig rig;
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    QLineEdit* field = rig.config().talkerIDFields[1];
    rig.sim().clearReceived();
    typeLatin(field, Qt::Key_Eacute, "é");
    EXPECT_EQ(rig.beeps, 1);
    EXPECT_EQ(field->text(), "");
    QTest::keyClicks(field, "g");
    EXPECT_EQ(rig.core().pendingRequests(), 0u); // one letter waits for the second
    QTest::keyClicks(field, "p");
    EXPECT_EQ(rig.core().pendingRequests(), uint32_t(Request::TalkerIDs));
    ASSERT_TRUE(rig.waitSent("$PQVXIDQ"));
    EXPECT_EQ(rig.sentLines().front(), framed("$PQVXID,,GP,,"));
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return field->text() == "GP"; })); // as the device holds it
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

// Each open gives a terminal whose other end has already hung up, as a flapping cable does.
TEST(MuxReader, PortThatDropsAtOnceIsTriedLessOftenAndSaidOnce) {
    std::mutex lock;
    std::vector<std::chrono::steady_clock::time_point> attempts;
    ConsoleRig rig({.opener = [&](const std::string&, const std::string& rate) -> std::shared_ptr<Serial> {
        std::lock_guard guard(lock);
        attempts.push_back(std::chrono::steady_clock::now());
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return nullptr;
        auto serial = std::make_shared<Serial>();
        const bool open = serial->openPort(std::string(::ptsname(master)), rate, false, false);
        ::close(master);
        return open ? serial : nullptr;
    }});
    ASSERT_TRUE(ConsoleRig::waitFor([&] {
        std::lock_guard guard(lock);
        return attempts.size() >= 6;
    }));
    // What the reader posted before is shown once the main loop has run a task posted after it.
    bool reached = false;
    QMetaObject::invokeMethod(
        qApp, [&] { reached = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return reached; }));
    std::lock_guard guard(lock);
    const std::chrono::milliseconds pause[] = {20ms, 40ms, 80ms, 80ms, 80ms}; // doubling, up to the longest
    for (size_t k = 0; k < std::size(pause); ++k)
        EXPECT_GE(attempts[k + 1] - attempts[k], pause[k]) << "before attempt " << k + 2;
    const QString lost = QString::fromStdString("#### " + Alert::localizedStringWithKey("NSLineLost"));
    EXPECT_EQ(rig.monitor().count(lost), 1);
    EXPECT_EQ(rig.monitor().count("#### Open"), 1);
    EXPECT_TRUE(rig.alerts.empty());
}
