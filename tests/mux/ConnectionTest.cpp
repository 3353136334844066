// Opening, reopening, losing and finding the device again; the program's own events.

#include "tests/mux/Rig.h"

#include "support/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;

TEST(MuxConnection, PortThatFailsToOpenGivesOneSheet) {
    Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration).withSelectPort(false));
    MuxWindow& w = rig.win();
    w.portComboBox->addItem("/nonexistent/tty");
    w.portComboBox->setCurrentIndex(w.portComboBox->count() - 1);
    emit w.portComboBox->activated(w.portComboBox->currentIndex());
    ASSERT_TRUE(Rig::waitFor([&] { return !rig.alerts.empty(); }));
    std::this_thread::sleep_for(300ms);
    rig.settle();
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(rig.alerts[0].kind, AlertRequest::Kind::Sheet);
    EXPECT_EQ(rig.alerts[0].message, Alert::localizedStringWithKey("NSUnableToOpenPort"));
    EXPECT_EQ(rig.alerts[0].informativeText, "/nonexistent/tty");
    EXPECT_FALSE(rig.ctl().hasConnection());
    EXPECT_FALSE(w.modeComboBox->isEnabled());
    EXPECT_TRUE(rig.sentLines().empty());
}

TEST(MuxConnection, NoPortSelectedOpensNothing) {
    Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration).withSelectPort(false));
    std::this_thread::sleep_for(300ms);
    rig.settle();
    EXPECT_FALSE(rig.ctl().hasConnection());
    EXPECT_TRUE(rig.alerts.empty());
    EXPECT_TRUE(rig.monitor().isEmpty());
}

TEST(MuxConnection, NoSerialPortEndsTheProgramAfterSaying) {
    Rig rig(RigOptions::of(MuxVariant::Legacy, MuxFamily::Legacy).withNoPorts());
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(rig.alerts[0].kind, AlertRequest::Kind::Message);
    EXPECT_EQ(rig.alerts[0].message, Alert::localizedStringWithKey("NSNoPorts"));
    EXPECT_EQ(rig.terminations, 1);
    std::this_thread::sleep_for(300ms);
    rig.settle();
    EXPECT_TRUE(rig.monitor().isEmpty()); // no reader was started
}

TEST(MuxConnection, TypedPathOpensLikeAListedPort) {
    Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::Model42).withStableLink(true).withUnlisted());
    ASSERT_EQ(rig.win().portComboBox->count(), 1);
    MuxWindow& w = rig.win();
    const QString path = QString::fromStdString(rig.sim().portPath()); // a symbolic link
    w.portComboBox->lineEdit()->clear();
    QTest::keyClicks(w.portComboBox->lineEdit(), path);
    QTest::keyClick(w.portComboBox->lineEdit(), Qt::Key_Return);
    ASSERT_TRUE(rig.waitIdentified());
    EXPECT_EQ(rig.ctl().port(), rig.sim().portPath());
    EXPECT_EQ(w.portComboBox->count(), 2);
    EXPECT_TRUE(rig.monitor().startsWith("#### Open " + path + " at 4800\n"));
}

TEST(MuxConnection, SelectingTheOpenPortAgainReopensAndRequeries) {
    Rig rig(RigOptions::of(MuxVariant::Legacy, MuxFamily::Legacy));
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    rig.sim().clearReceived();
    MuxWindow& w = rig.win();
    emit w.portComboBox->activated(w.portComboBox->currentIndex());
    ASSERT_TRUE(Rig::waitFor([&] { return w.versionField->text().isEmpty(); }));
    ASSERT_TRUE(rig.waitIdentified());
    EXPECT_TRUE(rig.waitSent("$PQVXVER"));
    EXPECT_EQ(rig.monitor().count("#### Open "), 2);
    EXPECT_TRUE(rig.alerts.empty());
}

TEST(MuxConnection, UnpluggedDeviceIsFoundAgain) {
    Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::Model42).withTraffic(100).withStableLink(true));
    ASSERT_TRUE(rig.waitIdentified());
    ASSERT_TRUE(Rig::waitFor([&] { return rig.monitor().count("\n$") > 20; }));
    MuxWindow& w = rig.win();

    rig.sim().unplug();
    const QString lost = QString::fromStdString("#### " + Alert::localizedStringWithKey("NSLineLost") + " " +
                                                rig.sim().portPath());
    ASSERT_TRUE(Rig::waitFor([&] { return rig.monitor().contains(lost); }));
    ASSERT_TRUE(Rig::waitFor([&] { return !w.modeComboBox->isEnabled(); }));
    EXPECT_FALSE(rig.ctl().hasConnection());
    EXPECT_FALSE(w.priorityButton->isEnabled());
    rig.settle();
    EXPECT_EQ(rig.monitor().count(lost), 1);

    ASSERT_TRUE(rig.sim().replug());
    ASSERT_TRUE(Rig::waitFor([&] { return rig.monitor().count("#### Open ") == 2; }));
    ASSERT_TRUE(rig.waitIdentified());
    EXPECT_TRUE(w.priorityButton->isEnabled());
    EXPECT_TRUE(rig.alerts.empty());
    ASSERT_TRUE(Rig::waitFor([&] { return rig.monitor().section(lost, 1).count("\n$") > 20; }));
}

TEST(MuxConnection, MalformedFloodLeavesTheConsoleWorking) {
    Rig rig(RigOptions::of(MuxVariant::Legacy, MuxFamily::Legacy));
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    std::string junk;
    for (int i = 0; i < 2000; ++i)
        junk += char((i * 7919) % 256);
    junk += std::string(600, 'A') + "\r\n";     // overlong
    junk += std::string("$PQVX\0CF,1\r\n", 12); // a NUL inside
    junk += "$PQVXCF,,,,,,,,,,,,,,,,,,,,,,,,,,\r\n";
    junk += framed("$PQVXVER") + framed("$PQVXFL,--RMC,0100") + framed("$") + framed("$PQVXOV");
    for (int i = 0; i < 20; ++i)
        rig.sim().sendRaw(junk);
    rig.reply("$PQVXCN,9");
    ASSERT_TRUE(Rig::waitFor([&] { return rig.monitor().contains("$PQVXCN,9\n"); }));
    EXPECT_EQ(rig.terminations, 0);
    EXPECT_FALSE(rig.win().versionField->text().isEmpty());
}

TEST(MuxConnection, ClosingTheWindowQuitsAndSavesPreferences) {
    Rig rig(RigOptions::of(MuxVariant::Legacy, MuxFamily::Legacy));
    ASSERT_TRUE(rig.waitIdentified());
    rig.win().close();
    EXPECT_EQ(rig.terminations, 1);
    rig.ctl().applicationWillTerminate();
    Settings::setStorePath(rig.storePath); // read back from the file
    EXPECT_EQ(Settings::text("serialPort"), rig.sim().portPath());
    EXPECT_EQ(Settings::text("rate"), "4800");
    EXPECT_EQ(Settings::text("tcpipServerPort"), "2114");
    EXPECT_EQ(Settings::boolean("tcpipServerEnable"), false);
    EXPECT_EQ(Settings::text("appVersion"), Alert::localizedStringWithKey("CFBundleGetInfoString"));
}

TEST(MuxConnection, SleepEndsTheProgramOnlyForBluetoothDevices) {
    for (bool bluetooth : {false, true}) {
        Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration).withBluetooth(bluetooth));
        ASSERT_TRUE(rig.waitIdentified());
        rig.ctl().applicationWillSleep();
        EXPECT_EQ(rig.terminations, bluetooth ? 1 : 0);
    }
}
