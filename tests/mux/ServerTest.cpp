// The network server as the console drives it, in both programs: real clients on 127.0.0.1
// receive exactly what the simulated device sent; the switch, the port and address fields, the
// count and the lamp follow the server; failures are said on a sheet; the stored switch starts it.

#include "tests/mux/Rig.h"

#include "mux/NSDataReadyView.h"
#include "net/TCPConnectionModel.h"
#include "support/Settings.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

TCPConnectionModel& net() {
    return TCPConnectionModel::tcpConnection();
}

// A plain TCP client whose reads never block the console's main loop.
class Client {
public:
    explicit Client(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { close(); }
    void close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    bool connected() const { return connected_; }
    // What arrived until it holds `size` bytes or the time is up.
    std::string receive(size_t size) {
        Rig::waitFor([&] {
            char chunk[4096];
            ssize_t n;
            while ((n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT)) > 0)
                got_.append(chunk, size_t(n));
            return got_.size() >= size;
        });
        return got_;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    std::string got_;
};

// Another program holding a port.
struct Holder {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint16_t port = 0;
    Holder() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        socklen_t length = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd, 1);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~Holder() { ::close(fd); }
};

class MuxServer : public testing::TestWithParam<MuxVariant> {
protected:
    static RigOptions options() {
        const MuxVariant v = GetParam();
        return RigOptions::of(v, v == MuxVariant::Legacy ? MuxFamily::Legacy : MuxFamily::ThirdGeneration);
    }
    static void storeServer(const std::string& port) {
        Settings::setItem("tcpipServerPort", SettingValue(port));
        Settings::setItem("tcpipServerEnable", SettingValue(true));
    }
};

std::string variantName(const testing::TestParamInfo<MuxVariant>& info) {
    return info.param == MuxVariant::Legacy ? "Legacy" : "Current";
}

struct Shown {
    uint32_t lamp;
    QString count;
    bool ticked;
};

Shown shown(Rig& rig) {
    ServerPane& s = *rig.win().server;
    return {s.dataReadyView->dataReadyState(), s.countField->text(), s.enableButton->isChecked()};
}

bool shows(Rig& rig, uint32_t lamp, const QString& count) {
    return Rig::waitFor([&] {
        const Shown now = shown(rig);
        return now.lamp == lamp && now.count == count;
    });
}

} // namespace

TEST_P(MuxServer, ClientsReceiveTheDevicesBytesAndTheLampFollowsThem) {
    Rig rig(options());
    ASSERT_TRUE(rig.waitIdentified());
    rig.settle(); // the line is quiet from here on
    ServerPane& s = *rig.win().server;
    EXPECT_EQ(shown(rig).lamp, 0u);
    const int redraws = s.dataReadyView->redrawCount();
    s.portField->setText("abc"); // not a number: the system chooses the port
    s.enableButton->click();
    ASSERT_TRUE(net().serverConnected());
    EXPECT_TRUE(shows(rig, 1, ""));
    Client a(net().serverPort()), b(net().serverPort());
    ASSERT_TRUE(a.connected() && b.connected());
    EXPECT_TRUE(shows(rig, 2, "2"));

    // A bad checksum, a line without one, a stray byte, a reply the console handles: all as sent.
    const std::string bytes = "$IIMTW,12.5,C*00\r\n$GPGLL,4916.45,N,12311.12,W\r\n\xff\n" +
                              framed("$PQVXOV,0010") + framed("$GPZDA,201530.00,04,07,2002,00,00");
    rig.sim().sendRaw(bytes);
    EXPECT_EQ(a.receive(bytes.size()), bytes);
    EXPECT_EQ(b.receive(bytes.size()), bytes);

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

TEST_P(MuxServer, FailingToListenIsSaidOnASheetAndUnticksTheBox) {
    Rig rig(options());
    ServerPane& s = *rig.win().server;
    Holder other;
    s.portField->setText(QString::number(other.port));
    s.enableButton->click();
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(rig.alerts[0].kind, AlertRequest::Kind::Sheet);
    EXPECT_EQ(rig.alerts[0].message, Alert::localizedStringWithKey("NSFailConnect"));
    EXPECT_EQ(rig.alerts[0].window, &rig.win());
    EXPECT_FALSE(net().serverConnected());
    EXPECT_FALSE(shown(rig).ticked);
    EXPECT_EQ(shown(rig).lamp, 0u);
}

TEST_P(MuxServer, TypingInThePortOrAddressFieldStopsTheServer) {
    Rig rig(options());
    ServerPane& s = *rig.win().server;
    rig.ctl().windowDidBecomeKey();
    const std::string host = TCPConnectionModel::serverHost();
    EXPECT_EQ(s.hostField->text().toStdString(),
              host.empty() ? Alert::localizedStringWithKey("NSUnknown") : host);
    for (QLineEdit* field : {s.portField, s.hostField}) {
        s.portField->setText("0");
        s.enableButton->click();
        ASSERT_TRUE(net().serverConnected());
        QTest::keyClick(field, Qt::Key_1);
        EXPECT_FALSE(net().serverConnected());
        EXPECT_EQ(shown(rig).lamp, 0u);
        EXPECT_FALSE(shown(rig).ticked);
        QTest::keyClick(field, Qt::Key_2); // nothing left to stop
    }
    EXPECT_TRUE(rig.alerts.empty());
}

TEST_P(MuxServer, TheStoredSwitchStartsTheServerAtLaunch) {
    {
        RigOptions o = options();
        o.beforeStart = [](MuxController&) { storeServer("0"); };
        Rig rig(o);
        EXPECT_TRUE(net().serverConnected());
        EXPECT_TRUE(shown(rig).ticked);
        EXPECT_EQ(shown(rig).lamp, 1u);
        EXPECT_TRUE(rig.alerts.empty());
    }
    EXPECT_FALSE(net().serverConnected()); // the console took it down as it went

    Holder other;
    RigOptions o = options();
    o.beforeStart = [&](MuxController&) { storeServer(std::to_string(other.port)); };
    Rig rig(o);
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_EQ(rig.alerts[0].message, Alert::localizedStringWithKey("NSFailConnect"));
    EXPECT_FALSE(shown(rig).ticked);
    EXPECT_EQ(shown(rig).lamp, 0u);
    rig.ctl().applicationWillTerminate();
    Settings::setStorePath(rig.storePath); // read back from the file
    EXPECT_EQ(Settings::boolean("tcpipServerEnable"), false);
    EXPECT_EQ(Settings::text("tcpipServerPort"), std::to_string(other.port));
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, MuxServer, testing::Values(MuxVariant::Legacy, MuxVariant::Current),
                         variantName);
