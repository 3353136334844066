#include "net/ListenAddresses.h"
#include "net/TCPConnectionModel.h"
#include "tests/net/LoopPeers.h"

namespace {

const std::vector<InterfaceAddress> machine = {
    {"lo", "127.0.0.1", false, true},
    {"lo", "127.0.1.1", false, true},
    {"lo", "::1", true, true},
    {"eth0", "192.168.1.20", false, false},
    {"eth0", "fe80::1%eth0", true, false},
    {"wlan0", "10.0.0.5", false, false},
    {"wlan0", "2001:db8::5", true, false},
};

TEST(ListenOn, TextsNameEveryInterfaceThisComputerOnlyAnInterfaceOrAnAddress) {
    using W = ListenOn::Where;
    const std::tuple<const char*, W, const char*> cases[] = {
        {"", W::All, ""},
        {"all", W::All, ""},
        {"0.0.0.0", W::All, ""},
        {"::", W::All, ""},
        {"local", W::Loopback, ""},
        {"localhost", W::Loopback, ""},
        {"eth0", W::Interface, "eth0"},
        {"192.168.1.20", W::Address, "192.168.1.20"},
        {"[::1]", W::Address, "::1"},
        {"fe80::1%eth0", W::Address, "fe80::1%eth0"},
    };
    for (const auto& [text, where, name] : cases) {
        std::string why;
        const auto on = ListenOn::parse(text, machine, &why);
        ASSERT_TRUE(on) << text << ": " << why;
        EXPECT_EQ(on->where, where) << text;
        EXPECT_EQ(on->name, name) << text;
        EXPECT_EQ(ListenOn::parse(on->text(), machine, &why), on) << text; // as stored, read back
    }
    std::string why;
    EXPECT_FALSE(ListenOn::parse("eth9", machine, &why));
    EXPECT_NE(why.find("\"eth9\""), std::string::npos);
    EXPECT_FALSE(ListenOn::parse("192.168.1.300", machine, &why));
}

TEST(ListenOn, BindsWhereChosenAndShowsTheAddressesClientsCanUse) {
    using namespace listen_addresses;
    using V = std::vector<std::string>;
    const std::tuple<ListenOn, V, V> cases[] = {
        {{ListenOn::Where::All, ""}, V{"::"}, V{"192.168.1.20", "10.0.0.5", "fe80::1%eth0", "2001:db8::5"}},
        {{ListenOn::Where::Loopback, ""}, V{"127.0.0.1", "::1"}, V{"127.0.0.1", "::1"}},
        {{ListenOn::Where::Interface, "wlan0"}, V{"10.0.0.5", "2001:db8::5"}, V{"10.0.0.5", "2001:db8::5"}},
        {{ListenOn::Where::Interface, "eth1"}, V{}, V{}}, // gone since it was chosen
        {{ListenOn::Where::Address, "192.168.1.20"}, V{"192.168.1.20"}, V{"192.168.1.20"}},
    };
    for (const auto& [on, bind, clients] : cases) {
        EXPECT_EQ(bindAddresses(on, machine), bind) << on.text();
        EXPECT_EQ(clientAddresses(on, machine), clients) << on.text();
    }
    EXPECT_EQ(interfaceNames(machine), (V{"eth0", "wlan0"}));
}

// A TCP client of either family on the loopback; its reads give up after two seconds.
int connectTo(int family, uint16_t port) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval wait{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    sockaddr_storage a{};
    socklen_t length = 0;
    if (family == AF_INET6) {
        auto& six = reinterpret_cast<sockaddr_in6&>(a);
        six.sin6_family = AF_INET6;
        six.sin6_port = htons(port);
        six.sin6_addr = in6addr_loopback;
        length = sizeof six;
    } else {
        auto& four = reinterpret_cast<sockaddr_in&>(a);
        four.sin_family = AF_INET;
        four.sin_port = htons(port);
        four.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof four;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), length) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ipv6Loopback() {
    const int fd = connectTo(AF_INET6, 9); // refused, or unreachable without IPv6
    const bool refused = fd < 0 && errno == ECONNREFUSED;
    if (fd >= 0)
        ::close(fd);
    return refused;
}

using ListenTest = LoopTest;

// Every interface and this computer only serve IPv4 and IPv6 clients alike, on one port.
TEST_P(ListenTest, IPv4AndIPv6ClientsAreServedOnOnePort) {
    if (!ipv6Loopback())
        GTEST_SKIP() << "no IPv6 loopback on this system";
    for (const auto& bind : {std::vector<std::string>{"::"}, std::vector<std::string>{"127.0.0.1", "::1"}}) {
        TCPConnectionModel model;
        ASSERT_TRUE(model.createServerConnection(nullptr, "0", bind));
        const int four = connectTo(AF_INET, model.serverPort());
        const int six = connectTo(AF_INET6, model.serverPort());
        ASSERT_GE(four, 0);
        ASSERT_GE(six, 0);
        ASSERT_TRUE(runUntil([&] { return model.clientsConnected() == 2; }));
        const std::string line = "$GPGLL,5030.00,N,00115.00,W*7B\r\n";
        model.writeNMEASentence(reinterpret_cast<const uint8_t*>(line.data()), line.size());
        for (int fd : {four, six}) {
            std::string got(line.size(), '\0');
            EXPECT_EQ(::recv(fd, got.data(), got.size(), MSG_WAITALL), static_cast<ssize_t>(line.size()));
            EXPECT_EQ(got, line);
            ::close(fd);
        }
    }
}

// One address: the same port on another loopback address finds nobody listening.
TEST_P(ListenTest, OneAddressIsServedThereAlone) {
    TCPConnectionModel model;
    ASSERT_TRUE(model.createServerConnection(nullptr, "0", std::vector<std::string>{"127.0.0.1"}));
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(model.serverPort());
    ::inet_pton(AF_INET, "127.0.0.2", &to.sin_addr);
    EXPECT_NE(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    ::close(fd);
    if (ipv6Loopback()) {
        EXPECT_LT(connectTo(AF_INET6, model.serverPort()), 0);
    }
    EXPECT_FALSE(model.createServerConnection(nullptr, "0", std::vector<std::string>{"eth0"})); // no address
}

INSTANTIATE_TEST_SUITE_P(Loops, ListenTest, testing::ValuesIn(loopKinds()), loopName);

} // namespace
