// navtool variation and simulate run as a separate process, as a sailor would run them.

#include "link/NMEA.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

using namespace testing_support;

std::vector<std::string> sentences(const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        result.push_back(text.substr(start, at + 2 - start));
    return result;
}

bool checksumValid(const std::string& sentence) {
    Bytes b(sentence.begin(), sentence.end());
    return NMEA::checkSumValid(&b);
}

TEST(Navtool, VariationAndSimulateToStandardOutput) {
    const std::tuple<const char*, int, const char*> cases[] = {
        {"variation -33.86 151.21 2008-02-29", 0, "12.62\n"},
        {"variation 33.86S 151.21E 2008-02-29", 0, "12.62\n"},
        {"variation 40.7 -74 2006-07-15", 0, "-13.19\n"},
        {"variation --help", 0, nullptr},
        {"--version", 0, "navtool " MUX_VERSION_TEXT "\n"},
        {"variation 91 0", 2, nullptr},
        {"variation 45 east", 2, nullptr},
        {"variation 45 10 2008-02-30", 2, nullptr},
        {"variation 45", 2, nullptr},
        {"bogus", 2, nullptr},
        {"simulate --lat 95", 2, nullptr},
        {"simulate --rate 0", 2, nullptr},
        {"simulate --speed", 2, nullptr},
        {"simulate --colour red", 2, nullptr},
    };
    for (const auto& [args, status, output] : cases) {
        const Outcome o = navtool(args);
        EXPECT_EQ(o.status, status) << args << ": " << o.output;
        if (output) {
            EXPECT_EQ(o.output, output) << args;
        }
    }
    const Outcome o =
        navtool("simulate --lat 50.5 --lon 1.25W --heading 90 --speed 6 --count 30 --rate 1000");
    EXPECT_EQ(o.status, 0);
    const std::vector<std::string> got = sentences(o.output);
    ASSERT_EQ(got.size(), 30u) << o.output;
    for (const std::string& s : got)
        EXPECT_TRUE(checksumValid(s)) << s;
    EXPECT_EQ(got[0].substr(0, 14), "$IIHDM,090.0,M");
    EXPECT_NE(got[3].find(",5030.000,N,00115.000,W,6.0,090.0,"), std::string::npos) << got[3];
    EXPECT_EQ(got[12].substr(0, 7), "$IIHDM,"); // cycles follow one another
}

int connectTo(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    return fd;
}

// Reads until `wanted` whole sentences after the first (a client may join mid-sentence) arrived,
// all with valid checksums.
void receive(int fd, size_t wanted) {
    std::string got;
    char buffer[4096];
    for (ssize_t n; sentences(got).size() < wanted + 1 && (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        got.append(buffer, static_cast<size_t>(n));
    const std::vector<std::string> all = sentences(got);
    ASSERT_GT(all.size(), wanted) << "sentences received";
    for (size_t i = 1; i < all.size(); ++i)
        EXPECT_TRUE(checksumValid(all[i])) << all[i];
}

// One client vanishes without a word, another closes politely: the stream goes on, also to a
// client that comes later. The server runs until the test ends it.
TEST(Navtool, SimulateServesManyClients) {
    struct Server {
        FILE* pipe = ::popen("exec 2>&1; '" MUX_BINARY_DIR "/bin/navtool' simulate --tcp 0 --bind 127.0.0.1 "
                             "--rate 1000 --speed 7 & echo \"pid $!\"; wait",
                             "r");
        int pid = 0, port = 0;
        ~Server() {
            if (pid > 0)
                ::kill(pid, SIGTERM);
            ::pclose(pipe);
        }
    } server;
    // Its process id and the port it reports, in either order.
    char line[256];
    for (int k = 0; k < 2 && std::fgets(line, sizeof line, server.pipe); ++k)
        if (const char* at = std::strstr(line, "port "); at || std::strncmp(line, "pid ", 4) == 0)
            (at ? server.port : server.pid) = std::atoi(at ? at + 5 : line + 4);
    ASSERT_GT(server.pid, 0);
    ASSERT_GT(server.port, 0);
    int clients[3];
    for (int& fd : clients)
        receive(fd = connectTo(uint16_t(server.port)), 20);
    const linger abrupt{1, 0};
    ::setsockopt(clients[0], SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
    ::close(clients[0]);
    ::close(clients[1]);
    receive(clients[2], 60);
    const int late = connectTo(uint16_t(server.port));
    receive(late, 20);
    ::close(late);
    ::close(clients[2]);
}

} // namespace
