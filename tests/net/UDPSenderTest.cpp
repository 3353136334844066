#include "net/UDPSender.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A receiver bound to a loopback address; reads give up after two seconds.
class Receiver {
public:
    explicit Receiver(bool v6) {
        fd_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const timeval wait{2, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        sockaddr_storage a{};
        socklen_t length = 0;
        if (v6) {
            auto& six = reinterpret_cast<sockaddr_in6&>(a);
            six.sin6_family = AF_INET6;
            six.sin6_addr = in6addr_loopback;
            length = sizeof six;
        } else {
            auto& four = reinterpret_cast<sockaddr_in&>(a);
            four.sin_family = AF_INET;
            four.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof four;
        }
        bound_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), length) == 0 &&
                 ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) == 0;
        port_ = v6 ? ntohs(reinterpret_cast<sockaddr_in6&>(a).sin6_port)
                   : ntohs(reinterpret_cast<sockaddr_in&>(a).sin_port);
    }
    ~Receiver() { ::close(fd_); }
    bool bound() const { return bound_; }
    uint16_t port() const { return port_; }
    std::string datagram() {
        char buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        return n < 0 ? "(none)" : std::string(buffer, static_cast<size_t>(n));
    }

private:
    int fd_ = -1;
    bool bound_ = false;
    uint16_t port_ = 0;
};

TEST(UDPSender, EveryLineGoesWholeToEachDestinationInADatagramOfItsOwn) {
    Receiver four(false), six(true);
    ASSERT_TRUE(four.bound());
    std::vector<std::string> to = {"127.0.0.1:" + std::to_string(four.port())};
    if (six.bound()) // a system without IPv6 serves IPv4 alone
        to.push_back("[::1]:" + std::to_string(six.port()));
    UDPSender sender;
    std::string why;
    ASSERT_TRUE(sender.start(to, &why)) << why;
    EXPECT_EQ(sender.destinations(), to);

    const std::string lines[] = {"$GPGLL,5030.00,N,00115.00,W*7B\r\n",
                                 "!AIVDM,1,1,,A,13aG?P0P00PD;88MD5MTDww@2<0L,0*23\r\n",
                                 std::string("$IIXDR,\x01\xff,*00\r\n")};
    for (const std::string& line : lines)
        sender.send(reinterpret_cast<const uint8_t*>(line.data()), line.size());
    const std::string tooLong(UDPSender::kMaxDatagram + 1, 'x');
    sender.send(reinterpret_cast<const uint8_t*>(tooLong.data()), tooLong.size());
    const std::string fits(UDPSender::kMaxDatagram, 'y');
    sender.send(reinterpret_cast<const uint8_t*>(fits.data()), fits.size());
    for (Receiver* r : {&four, &six}) {
        if (!r->bound())
            continue;
        for (const std::string& line : lines)
            EXPECT_EQ(r->datagram(), line);
        EXPECT_EQ(r->datagram(), fits);
    }
    EXPECT_EQ(sender.counts().sent, 4 * to.size());
    EXPECT_EQ(sender.counts().dropped, to.size());

    sender.stop();
    EXPECT_FALSE(sender.running());
    sender.send(reinterpret_cast<const uint8_t*>(lines[0].data()), lines[0].size());
    EXPECT_EQ(sender.counts().sent, 4 * to.size()); // stopped: nothing more leaves
}

TEST(UDPSender, DestinationsThatAreNoneAreRefusedWithTheReasonAndChangeNothing) {
    const std::pair<const char*, const char*> bad[] = {
        {"192.168.1.255", "HOST:PORT"},
        {"192.168.1.255:0", "port from 1"},
        {"192.168.1.255:65536", "port from 1"},
        {":10110", "needs a host"},
        {"host:port", "port from 1"},
        {"[::1:10110", "[ADDRESS]:PORT"},
        {"::1:10110", "HOST:PORT"},
        {"no-such-host.invalid:10110", "no-such-host.invalid"},
    };
    UDPSender sender;
    std::string why;
    ASSERT_TRUE(sender.start({"127.0.0.1:10110"}, &why));
    for (const auto& [text, reason] : bad) {
        why.clear();
        EXPECT_FALSE(sender.start({"127.0.0.1:10111", text}, &why)) << text;
        EXPECT_NE(why.find(reason), std::string::npos) << text << ": " << why;
    }
    EXPECT_FALSE(sender.start({}, &why));
    EXPECT_EQ(sender.destinations(), std::vector<std::string>{"127.0.0.1:10110"});
    EXPECT_TRUE(UDPSender::parseDestination("[ff02::1]:10110", &why));
    EXPECT_TRUE(UDPSender::parseDestination("239.192.0.1:10110", &why)); // a multicast group
    EXPECT_EQ(UDPSender::splitList(" 10.0.0.255:10110,[::1]:2000  host:1,"),
              (std::vector<std::string>{"10.0.0.255:10110", "[::1]:2000", "host:1"}));
}

} // namespace
