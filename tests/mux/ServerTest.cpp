// The network server as the console drives it: real clients on 127.0.0.1 receive exactly what
// the simulated device sent, in both programs; the switch, the port and address fields, the
// count and the lamp follow the server; failures are said on a sheet; the stored switch starts it.

#include "tests/mux/ConsoleRig.h"
#include "tests/net/LoopPeers.h"

#include "mux/NSDataReadyView.h"
#include "net/NetSocket.h"
#include "net/TCPConnectionModel.h"
#include "support/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <future>

namespace {

TCPConnectionModel& net() {
    return TCPConnectionModel::tcpConnection();
}

// Reads on another thread while the console's main loop runs: it handles some of the lines.
std::string receive(Peer& peer, size_t size) {
    auto got = std::async(std::launch::async, [&] { return peer.receive(size); });
    ConsoleRig::waitFor([&] { return got.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    return got.get();
}

struct Shown {
    uint32_t lamp;
    QString count;
    bool ticked;
};

Shown shown(ConsoleRig& rig) {
    const ServerControls s = rig.server();
    return {s.dataReadyView->dataReadyState(), s.countField->text(), s.enableButton->isChecked()};
}

bool shows(ConsoleRig& rig, uint32_t lamp, const QString& count) {
    return ConsoleRig::waitFor([&] {
        const Shown now = shown(rig);
        return now.lamp == lamp && now.count == count;
    });
}

} // namespace

TEST(MuxServer, ClientsReceiveTheDevicesBytesAndTheLampFollowsThem) {
    for (MuxFamily family : {MuxFamily::Legacy, MuxFamily::ThirdGeneration}) {
        SCOPED_TRACE(std::string(muxFamilyName(family)));
        ConsoleRig rig({.family = family});
        ASSERT_TRUE(rig.waitIdentified());
        rig.settle(); // the line is quiet from here on
        const ServerControls s = rig.server();
        EXPECT_EQ(shown(rig).lamp, 0u);
        const int redraws = s.dataReadyView->redrawCount();
        s.portField->setText("abc"); // not a number: the system chooses the port
        s.enableButton->click();
        ASSERT_TRUE(net().serverConnected());
        EXPECT_EQ(s.portField->text(), QString::number(net().serverPort())); // what a client needs
        EXPECT_TRUE(shows(rig, 1, ""));
        Peer a(net().serverPort()), b(net().serverPort());
        ASSERT_TRUE(a.connected());
        ASSERT_TRUE(b.connected());
        EXPECT_TRUE(shows(rig, 2, "2"));

        // A bad checksum, a line without one, a stray byte, a reply the console handles: all as sent.
        const std::string bytes = "$IIMTW,12.5,C*00\r\n$GPGLL,4916.45,N,12311.12,W\r\n\xff\n" +
                                  framed("$PQVXOV,0010") + framed("$GPZDA,201530.00,04,07,2002,00,00");
        rig.sim().sendRaw(bytes);
        EXPECT_EQ(receive(a, bytes.size()), bytes);
        EXPECT_EQ(receive(b, bytes.size()), bytes);

        b.close(); // noticed by the next line at the latest
        rig.reply("$GPZDA,201531.00,04,07,2002,00,00");
        EXPECT_TRUE(shows(rig, 2, "1"));
        a.close();
        rig.reply("$GPZDA,201532.00,04,07,2002,00,00");
        EXPECT_TRUE(shows(rig, 1, ""));
        s.enableButton->click(); // off
        EXPECT_FALSE(net().serverConnected());
        EXPECT_TRUE(shows(rig, 0, ""));
        EXPECT_EQ(s.dataReadyView->redrawCount() - redraws, 4); // yellow, green, yellow, red
        s.dataReadyView->drawDataReady(0);
        EXPECT_EQ(s.dataReadyView->redrawCount() - redraws, 4);
        EXPECT_TRUE(rig.alerts.empty());
    }
}

// Typing in the port field stops the server; the address field shows where clients reach it
// and cannot be typed into.
TEST(MuxServer, TypingInThePortFieldStopsTheServerAndTheAddressIsNotTyped) {
    ConsoleRig rig;
    const ServerControls s = rig.server();
    rig.ctl().windowDidBecomeKey();
    std::string addresses;
    for (const std::string& a : ServerControl::clientAddresses({}))
        addresses += (addresses.empty() ? "" : ", ") + a;
    EXPECT_EQ(s.hostField->text().toStdString(),
              addresses.empty() ? Alert::localizedStringWithKey("NSUnknown") : addresses);
    s.portField->setText("0");
    s.enableButton->click();
    ASSERT_TRUE(net().serverConnected());
    const QString shownHost = s.hostField->text();
    QTest::keyClick(s.hostField, Qt::Key_1);
    EXPECT_EQ(s.hostField->text(), shownHost);
    EXPECT_TRUE(net().serverConnected());
    QTest::keyClick(s.portField, Qt::Key_1);
    EXPECT_FALSE(net().serverConnected());
    EXPECT_EQ(shown(rig).lamp, 0u);
    EXPECT_FALSE(shown(rig).ticked);
    QTest::keyClick(s.portField, Qt::Key_2); // nothing left to stop
    EXPECT_TRUE(rig.alerts.empty());
}

// Where the server listens, whether clients' sentences go to the device and the UDP output are
// chosen in the pane, reached by Tab, and kept in the preferences under names of their own.
TEST(MuxServer, ListenChoiceClientSentencesAndUDPAreChosenInThePaneAndKept) {
    ConsoleRig rig;
    QWidget& w = rig.win();
    auto* listen = w.findChild<QComboBox*>("listenBox");
    auto* accept = w.findChild<QCheckBox*>("acceptButton");
    auto* udp = w.findChild<QCheckBox*>("udpButton");
    auto* udpField = w.findChild<QLineEdit*>("udpField");
    ASSERT_NE(listen, nullptr);
    ASSERT_NE(accept, nullptr);
    ASSERT_NE(udp, nullptr);
    ASSERT_NE(udpField, nullptr);
    for (QWidget* control : std::initializer_list<QWidget*>{listen, accept, udp, udpField})
        EXPECT_TRUE(control->focusPolicy() & Qt::TabFocus) << control->objectName().toStdString();

    const ServerControls s = rig.server();
    s.portField->setText("0");
    s.enableButton->click();
    ASSERT_TRUE(net().serverConnected());
    listen->setCurrentIndex(listen->findData("local"));
    emit listen->activated(listen->currentIndex());
    ASSERT_TRUE(net().serverConnected()); // moved, on a new port of the system's choice
    EXPECT_EQ(rig.ctl().core().server().where().where, ListenOn::Where::Loopback);
    EXPECT_TRUE(s.hostField->text().startsWith("127.0.0.1"));
    Peer local(net().serverPort());
    EXPECT_TRUE(local.connected());

    accept->click();
    EXPECT_TRUE(rig.ctl().core().clientSentences().accepting());
    udpField->setText("192.168.1.255");
    udp->click();
    ASSERT_EQ(rig.alerts.size(), 1u); // no port: said, and the box unticked
    EXPECT_NE(rig.alerts[0].message.find("HOST:PORT"), std::string::npos);
    EXPECT_FALSE(udp->isChecked());
    udpField->setText("127.0.0.1:10110, [::1]:10110");
    udp->click();
    EXPECT_TRUE(udp->isChecked());
    EXPECT_EQ(rig.ctl().core().udp().destinations().size(), 2u);
    QTest::keyClick(udpField, Qt::Key_Space); // editing stops it
    EXPECT_FALSE(udp->isChecked());
    EXPECT_FALSE(rig.ctl().core().udp().running());
    udp->click();

    rig.ctl().applicationWillTerminate();
    Settings::setStorePath(rig.storePath); // read back from the file
    EXPECT_EQ(Settings::text("tcpipServerInterface"), "local");
    EXPECT_EQ(Settings::boolean("tcpipServerAcceptFromClients"), true);
    EXPECT_EQ(Settings::boolean("udpEnable"), true);
    EXPECT_EQ(Settings::text("udpDestinations"), "127.0.0.1:10110, [::1]:10110 ");
    EXPECT_EQ(Settings::text("tcpipServerPort"), std::to_string(net().serverPort())); // its meaning kept
}

// The stored switch starts the server at launch; a taken port is said on a sheet on the window,
// unticks the box, and is what the preferences keep.
TEST(MuxServer, TheStoredSwitchStartsTheServerAndATakenPortIsSaid) {
    auto store = [](const std::string& port) {
        return [port](MuxController&) {
            Settings::setItem("tcpipServerPort", SettingValue(port));
            Settings::setItem("tcpipServerEnable", SettingValue(true));
        };
    };
    {
        ConsoleRig rig({.beforeStart = store("0")});
        EXPECT_TRUE(net().serverConnected());
        EXPECT_TRUE(shown(rig).ticked);
        EXPECT_EQ(shown(rig).lamp, 1u);
        EXPECT_TRUE(rig.alerts.empty());
    }
    EXPECT_FALSE(net().serverConnected()); // the console took it down as it went

    auto other = std::make_shared<NetSocket>(); // another program listening on a port
    ASSERT_TRUE(other->open());
    ASSERT_TRUE(other->listenOnPort(0, 0));
    const std::string taken = std::to_string(other->localPort());
    ConsoleRig rig({.family = MuxFamily::Legacy, .beforeStart = store(taken)});
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(rig.alerts[0].kind, AlertRequest::Kind::Sheet);
    EXPECT_EQ(rig.alerts[0].message, Alert::localizedStringWithKey("NSFailConnect"));
    EXPECT_EQ(rig.alerts[0].window, &rig.win());
    EXPECT_FALSE(shown(rig).ticked);
    EXPECT_EQ(shown(rig).lamp, 0u);
    rig.server().enableButton->click(); // by hand: the same
    EXPECT_EQ(rig.alerts.size(), 2u);
    EXPECT_FALSE(net().serverConnected());
    EXPECT_FALSE(shown(rig).ticked);
    rig.ctl().applicationWillTerminate();
    Settings::setStorePath(rig.storePath); // read back from the file
    EXPECT_EQ(Settings::boolean("tcpipServerEnable"), false);
    EXPECT_EQ(Settings::text("tcpipServerPort"), taken);
}
