// The console against the simulated device, one program and family at a time: what goes on the
// wire for the user's edits, what the panel and the monitor make of the replies, and the capture.

#include "tests/mux/ConsoleRig.h"

#include "mux/MonitorView.h"

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

namespace {

std::vector<std::string> framedAll(const std::vector<std::string>& sentences) {
    std::vector<std::string> out;
    for (const auto& s : sentences)
        out.push_back(framed(s));
    return out;
}

int rowOf(ConsoleRig& rig, const std::string& sentence) {
    const auto& list = rig.core().filterList().rows();
    auto it =
        std::find_if(list.begin(), list.end(), [&](const Filter& f) { return f.sentence() == sentence; });
    return it == list.end() ? -1 : int(it - list.begin());
}

} // namespace

TEST(MuxEndToEnd, EachFamilyIsIdentifiedAndTakesEdits) {
    struct Case {
        MuxFamily family;
        std::vector<std::string> seatalkOn; // the configuration sent when SeaTalk is ticked
        bool full, channelIDs, priority;    // priority: as the device reported it
    } cases[] = {
        {MuxFamily::Legacy, {"$PQVXCF,0,0,1,0,0,0000,0,0"}, true, false, false},
        {MuxFamily::ThirdGeneration, {"$PQVXCF,0,0,1,0,0,0000,", "$PQVXCF,,,,,,,0"}, true, false, false},
        {MuxFamily::Model42, {"$PQVXCF,0,0,1,0,0,0,0000,", "$PQVXCF,,,,,,,,0"}, true, true, false},
        // Its configuration reply carries fields 4 to 8 (priority on), which it takes no command for.
        {MuxFamily::Other, {"$PQVXCF,0,0,1"}, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(muxFamilyName(c.family)));
        ConsoleRig rig({.family = c.family});
        ASSERT_TRUE(rig.waitIdentified());
        rig.settle();
        std::vector<std::string> burst{"$PQVXVER", "$PQVXCFQ", "$PQVXIDQ", "$PQVXFLQ"};
        if (c.family == MuxFamily::Legacy)
            burst.insert(burst.begin() + 3, "$PQVXSPQ");
        auto sent = rig.sentLines();
        ASSERT_GE(sent.size(), burst.size());
        sent.resize(burst.size());
        EXPECT_EQ(sent, framedAll(burst));
        const MuxState state = rig.sim().state();
        EXPECT_EQ(rig.device().deviceField->text().toStdString(), state.name);
        EXPECT_EQ(rig.device().versionField->text().toStdString(), state.firmware);
        EXPECT_EQ(rig.config().priorityButton->isChecked(), c.priority);
        EXPECT_EQ(rig.config().priorityButton->isEnabled(), c.full);
        EXPECT_EQ(rig.config().talkerIDFields[3]->isEnabled(), c.full);
        EXPECT_EQ(rig.monitorPane().captureButton->isEnabled(), c.full);
        if (rig.config().channelIDsButton) {
            EXPECT_EQ(rig.config().channelIDsButton->isEnabled(), c.channelIDs);
        }
        EXPECT_TRUE(rig.monitor().startsWith(
            QString("#### Open %1 at 4800\n").arg(QString::fromStdString(rig.sim().portPath()))));

        rig.sim().clearReceived();
        rig.config().seatalkButton->click();
        ASSERT_TRUE(rig.waitSent("$PQVXCFQ"));
        auto expected = framedAll(c.seatalkOn);
        expected.push_back(framed("$PQVXCFQ"));
        EXPECT_EQ(rig.sentLines(), expected);
        ASSERT_TRUE(ConsoleRig::waitFor([&] { return rig.sim().state().seatalk == 1; }));
        ASSERT_TRUE(rig.barrier());
        EXPECT_TRUE(rig.config().seatalkButton->isChecked());
        if (!c.full)
            continue;

        // A typed entry, then a click on its channel 3 cell; the table is what the device reports.
        const std::string frequency = c.family == MuxFamily::Legacy ? ",0" : "";
        rig.sim().clearReceived();
        QTest::keyClicks(rig.filters().filterComboBox->lineEdit(), "rmc");
        rig.filters().addButton->click();
        ASSERT_TRUE(ConsoleRig::waitFor([&] { return rowOf(rig, "--RMC") >= 0; }));
        EXPECT_EQ(rig.sentLines(), framedAll({"$PQVXFL,--RMC,00000" + frequency, "$PQVXFLQ"}));
        QAbstractItemModel* model = rig.filters().filterTableView->model();
        model->setData(model->index(rowOf(rig, "--RMC"), 3), Qt::Checked, Qt::CheckStateRole);
        ASSERT_TRUE(rig.waitSent("$PQVXFL,--RMC,00010" + frequency));
        ASSERT_TRUE(ConsoleRig::waitFor([&] { return rig.filters().removeButton->isEnabled(); }));
    }
}

TEST(MuxEndToEnd, PanelAndMonitorShowWhatTheRepliesCarryAndOutliveAFlood) {
    ConsoleRig rig({.bluetooth = true});
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    const ConfigurationControls c = rig.config();
    ASSERT_EQ(c.modeComboBox->count(), 4); // a Bluetooth device offers the AIS mode, once
    rig.ctl().updateState();
    EXPECT_EQ(c.modeComboBox->count(), 4);

    rig.reply("$PQVXCF,2,9,1,1,0,0101,1"); // mode 9 is not in the list: left as it was
    rig.reply("$PQVXOV,12");
    rig.reply("$PQVXID,GP,II");
    rig.reply("$GPRMC,1,2,3");
    rig.sim().sendRaw("$PQVXID,AA,BB,CC,DD*00\r\n"); // bad checksum: dropped
    rig.sim().sendRaw("garbage\r\n");
    ASSERT_TRUE(rig.barrier());
    EXPECT_EQ(rig.device().rateComboBox->currentIndex(), 2);
    EXPECT_EQ(c.modeComboBox->currentIndex(), 0);
    EXPECT_TRUE(c.priorityButton->isChecked());
    EXPECT_TRUE(c.realtimeButtons[1]->isChecked());
    EXPECT_TRUE(c.realtimeButtons[3]->isChecked());
    EXPECT_FALSE(c.realtimeButtons[0]->isChecked());
    const char* overflow[] = {"", "", "Ch.3", "Ch.4"};
    const char* ids[] = {"GP", "II", "", ""};
    for (size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(c.overflowFields[k]->text().toStdString(), overflow[k]);
        EXPECT_EQ(c.talkerIDFields[k]->text().toStdString(), ids[k]);
    }
    const QString text = rig.monitor();
    EXPECT_TRUE(text.contains("$PQVXOV,12\n$PQVXID,GP,II\n$GPRMC,1,2,3\n$PQVXCN,"));
    EXPECT_FALSE(text.contains("AA,BB"));
    EXPECT_FALSE(text.contains("garbage"));

    // Stopped, the monitor drops what comes; started again, new lines follow the old.
    rig.monitorPane().startButton->click();
    rig.reply("$GPZDA,7");
    rig.reply("$PQVXOV,1"); // handled after the line before it
    ASSERT_TRUE(ConsoleRig::waitFor([&] { return c.overflowFields[0]->text() == "Ch.1"; }));
    rig.monitor(); // the frame comes while stopped
    rig.monitorPane().startButton->click();
    ASSERT_TRUE(rig.barrier());
    EXPECT_FALSE(rig.monitor().contains("$GPZDA,7"));
    EXPECT_TRUE(rig.monitor().startsWith(text));
    rig.monitorPane().clearButton->click();
    EXPECT_TRUE(rig.monitor().isEmpty());

    // Malformed bytes by the kilobyte leave the console as it was.
    std::string junk;
    for (int i = 0; i < 2000; ++i)
        junk += char((i * 7919) % 256);
    junk += std::string(600, 'A') + "\r\n";     // overlong
    junk += std::string("$PQVX\0CF,1\r\n", 12); // a NUL inside
    junk += "$PQVXCF,,,,,,,,,,,,,,,,,,,,,,,,,,\r\n";
    junk += framed("$PQVXVER") + framed("$PQVXFL,--RMC,0100") + framed("$") + framed("$PQVXOV");
    for (int i = 0; i < 20; ++i)
        rig.sim().sendRaw(junk);
    ASSERT_TRUE(rig.barrier());
    EXPECT_EQ(rig.terminations, 0);
    EXPECT_TRUE(rig.device().hasVersion());
    rig.ctl().applicationWillSleep(); // a Bluetooth device: sleep ends the program
    EXPECT_EQ(rig.terminations, 1);
}

TEST(MuxEndToEnd, CaptureGathersUntilItsTimeThenSendsValidEntriesSorted) {
    ConsoleRig rig({.family = MuxFamily::Model42});
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle();
    QPushButton* capture = rig.monitorPane().captureButton;
    capture->click();
    capture->click(); // a second press starts nothing more
    EXPECT_FALSE(capture->isEnabled());
    for (const char* s : {"$GPRMC,1,2", "$PUBX,00,1", "$GPR,1,2", "!AIVDM,1,1", "$AB", "$GPRMC,3"})
        rig.reply(s);
    ASSERT_TRUE(rig.barrier());
    rig.sim().clearReceived();
    rig.ctl().sanityTimer(); // the capture's time has not come
    EXPECT_TRUE(rig.ctl().monitor().capturing());
    EXPECT_EQ(rig.core().pendingRequests(), 0u);

    rig.advance(std::chrono::seconds(10));
    ASSERT_TRUE(rig.waitSent("$PQVXFLQ"));
    EXPECT_EQ(rig.sentLines(), framedAll({"$PQVXFL,--GPR,00000", "$PQVXFL,AB---,00000", "$PQVXFL,AIVDM,00000",
                                          "$PQVXFL,GPRMC,00000", "$PQVXFLQ"}));
    EXPECT_TRUE(capture->isEnabled());

    // With a talker ID imposed, sentences gather by their sentence code.
    rig.config().talkerIDFields[1]->setText("GP");
    rig.sim().clearReceived();
    capture->click();
    rig.reply("$GPRMC,1");
    rig.reply("$IIRMC,2");
    ASSERT_TRUE(rig.barrier());
    rig.advance(std::chrono::seconds(10));
    ASSERT_TRUE(rig.waitSent("$PQVXFLQ"));
    EXPECT_EQ(rig.sentLines(), framedAll({"$PQVXFL,--RMC,00000", "$PQVXFLQ"}));
}
