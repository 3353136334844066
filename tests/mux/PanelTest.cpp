// What the panel makes of the device's replies, and how it reacts to typing.

#include "tests/mux/Rig.h"

#include "mux/MonitorView.h"
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct PanelState {
    int speed, mode, seatalk, priority, numbers, heading;
    std::string realtime;
};

PanelState panel(MuxWindow& w) {
    PanelState s{w.rateComboBox->currentIndex(),
                 w.modeComboBox->currentIndex(),
                 w.seatalkButton->isChecked(),
                 w.priorityButton->isChecked(),
                 w.channelNumbersButton->isChecked(),
                 w.headingButton->isChecked(),
                 ""};
    for (QCheckBox* b : w.realtimeButtons)
        s.realtime += b->isChecked() ? '1' : '0';
    return s;
}

// Replies of its own are shown; this one, sent after the reply under test, marks that all before it was
// handled.
void barrier(Rig& rig, int n) {
    const std::string mark = "$PQVXCN," + std::to_string(n);
    rig.reply(mark);
    ASSERT_TRUE(Rig::waitFor([&] { return rig.monitor().contains(QString::fromStdString(mark + "\n")); }))
        << rig.monitor().right(600).toStdString();
}

} // namespace

TEST(MuxPanel, ConfigurationRepliesApplyOnlyWhatTheyValidlyCarry) {
    struct Case {
        const char* reply;
        PanelState expected; // starting from speed 0, mode 0, everything off, real time 0000
    } cases[] = {
        {"$PQVXCF,1,2,1,1,0,0101,1,0", {1, 2, 1, 1, 0, 1, "0101"}},
        {"$PQVXCF,0,1,0,0,1,10,1,0", {0, 1, 0, 0, 1, 1, "0000"}},  // two-character real-time field
        {"$PQVXCF,4,3,2,-1,1,0100,7", {0, 0, 0, 0, 1, 0, "0100"}}, // out of range: left as they were
        {"$PQVXCF,-1,-1,x,1", {0, 0, 0, 1, 0, 0, "0000"}},         // short reply, a non-number reads 0
        {"$PQVXCF,3", {3, 0, 0, 0, 0, 0, "0000"}},
    };
    Rig rig(RigOptions::of(MuxVariant::Legacy, MuxFamily::Legacy));
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        rig.reply("$PQVXCF,0,0,0,0,0,0000,0,0");
        rig.reply(c.reply);
        barrier(rig, ++n);
        const PanelState s = panel(rig.win());
        EXPECT_EQ(s.speed, c.expected.speed);
        EXPECT_EQ(s.mode, c.expected.mode);
        EXPECT_EQ(s.seatalk, c.expected.seatalk);
        EXPECT_EQ(s.priority, c.expected.priority);
        EXPECT_EQ(s.numbers, c.expected.numbers);
        EXPECT_EQ(s.heading, c.expected.heading);
        EXPECT_EQ(s.realtime, c.expected.realtime);
    }
}

TEST(MuxPanel, CurrentProgramReadsTheLayoutOfTheFamily) {
    // Model 42 and other devices carry the channel-ID option in field 6, third generation does not.
    Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::Model42));
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    rig.reply("$PQVXCF,0,1,0,0,0,1,0110,1");
    barrier(rig, 1);
    EXPECT_TRUE(rig.win().channelIDsButton->isChecked());
    EXPECT_EQ(panel(rig.win()).realtime, "0110");
    EXPECT_TRUE(rig.win().headingButton->isChecked());
}

TEST(MuxPanel, OverflowTalkerIDsAndUnknownLines) {
    Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration).withBluetooth(true));
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    MuxWindow& w = rig.win();
    // A Bluetooth device offers the AIS mode, once.
    ASSERT_EQ(w.modeComboBox->count(), 4);
    rig.ctl().updateState();
    EXPECT_EQ(w.modeComboBox->count(), 4);

    rig.reply("$PQVXOV,12");
    rig.reply("$PQVXID,GP,II");
    rig.reply("$GPRMC,1,2,3");
    rig.sim().sendRaw("$PQVXID,AA,BB,CC,DD*00\r\n"); // bad checksums: dropped
    rig.sim().sendRaw("$PQVXID,EE,FF*7F\r\n");
    rig.sim().sendRaw("garbage\r\n");
    barrier(rig, 1);
    const char* overflow[] = {"", "", "Ch.3", "Ch.4"};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(w.overflowFields[size_t(k)]->text().toStdString(), overflow[k]);
    const char* ids[] = {"GP", "II", "", ""};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(w.talkerIDFields[size_t(k)]->text().toStdString(), ids[k]);
    const QString text = rig.monitor();
    EXPECT_TRUE(text.contains("$PQVXOV,12\n$PQVXID,GP,II\n$GPRMC,1,2,3\n"));
    EXPECT_FALSE(text.contains("AA,BB"));
    EXPECT_FALSE(text.contains("EE,FF"));
    EXPECT_FALSE(text.contains("garbage"));
}

TEST(MuxPanel, TalkerIDTyping) {
    Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration));
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    QLineEdit* field = rig.win().talkerIDFields[1];
    ASSERT_TRUE(field->isEnabled());
    rig.sim().clearReceived();

    QTest::keyClicks(field, "g");
    EXPECT_EQ(rig.ctl().pendingCommand(), 0u); // one letter waits for the second
    QTest::keyClicks(field, "p");
    EXPECT_EQ(rig.ctl().pendingCommand(), uint32_t(MuxController::SendTalkerIDs));
    ASSERT_TRUE(rig.waitSent("$PQVXIDQ"));
    EXPECT_EQ(rig.sentLines(), (std::vector<std::string>{framed("$PQVXID,,GP,,"), framed("$PQVXIDQ")}));
    ASSERT_TRUE(Rig::waitFor([&] { return rig.sim().state().talkerIDs[1] == "GP"; }));
    rig.settle();

    rig.sim().clearReceived();
    QTest::keyClicks(field, "s");
    EXPECT_EQ(rig.beeps, 1);
    EXPECT_EQ(field->text(), "GP");
    ASSERT_TRUE(rig.waitSent("$PQVXIDQ"));
    EXPECT_EQ(rig.sentLines().front(), framed("$PQVXID,,GP,,"));
    rig.settle();

    rig.sim().clearReceived();
    field->setCursorPosition(2);
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(rig.ctl().pendingCommand(), 0u);
    QTest::keyClick(field, Qt::Key_Backspace);
    ASSERT_TRUE(rig.waitSent("$PQVXIDQ"));
    EXPECT_EQ(rig.sentLines().front(), framed("$PQVXID,,,,"));
    ASSERT_TRUE(Rig::waitFor([&] { return rig.sim().state().talkerIDs[1].empty(); }));
    rig.settle();

    // Separators typed into a field cannot break the sentence.
    rig.sim().clearReceived();
    QTest::keyClicks(field, "a*");
    ASSERT_TRUE(rig.waitSent("$PQVXIDQ"));
    EXPECT_EQ(rig.sentLines().front(), framed("$PQVXID,,A ,,"));
}

TEST(MuxPanel, FirmwareBelowTheMinimumEndsTheProgram) {
    struct Case {
        MuxVariant variant;
        MuxFamily family;
        const char* firmware;
        bool ends;
    } cases[] = {
        {MuxVariant::Legacy, MuxFamily::Legacy, "1.9", true},
        {MuxVariant::Legacy, MuxFamily::Legacy, "2.0", false},
        {MuxVariant::Current, MuxFamily::ThirdGeneration, "2.1", true},
        {MuxVariant::Current, MuxFamily::ThirdGeneration, "2.2", false},
        {MuxVariant::Current, MuxFamily::Model42, "beta", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firmware);
        Rig rig(RigOptions::of(c.variant, c.family).withFirmware(c.firmware));
        ASSERT_TRUE(Rig::waitFor([&] { return !rig.win().versionField->text().isEmpty(); }));
        rig.settle();
        EXPECT_EQ(rig.terminations > 0, c.ends);
        if (c.ends) {
            ASSERT_FALSE(rig.alerts.empty());
            EXPECT_EQ(rig.alerts.front().kind, AlertRequest::Kind::Message);
            EXPECT_EQ(rig.alerts.front().message, Alert::localizedStringWithKey("NSFirmVersionNotSupported"));
        } else {
            EXPECT_TRUE(rig.alerts.empty());
        }
    }
}

TEST(MuxPanel, MonitorStopsStartsAndClears) {
    Rig rig(RigOptions::of(MuxVariant::Current, MuxFamily::ThirdGeneration));
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    MuxWindow& w = rig.win();
    EXPECT_EQ(w.startButton->text().toStdString(), Alert::localizedStringWithKey("NSStop"));
    w.startButton->click();
    EXPECT_EQ(w.startButton->text().toStdString(), Alert::localizedStringWithKey("NSStart"));
    const QString before = rig.monitor();
    rig.reply("$PQVXCN,1");
    rig.settle();
    EXPECT_EQ(rig.monitor(), before);
    w.startButton->click();
    barrier(rig, 2);
    EXPECT_TRUE(rig.monitor().startsWith(before));
    EXPECT_TRUE(rig.monitor().endsWith("$PQVXCN,2\n"));

    // Green, and only the new piece is coloured.
    const size_t last = w.monitorTextView->lineCount() - 2;
    EXPECT_GT(w.monitorTextView->colourAt(last, 0).green(), 150);
    EXPECT_LT(w.monitorTextView->colourAt(last, 0).red(), 150);

    w.clearButton->click();
    EXPECT_TRUE(rig.monitor().isEmpty());
    w.clearButton->click();
    EXPECT_TRUE(rig.monitor().isEmpty());
}
