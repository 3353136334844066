// navtool run as a separate process, as a sailor would run it.

#include "link/NMEA.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Outcome {
    int status;
    std::string output;
};

// Standard output and error together; the command ends by itself (ctest's limit guards a hang).
Outcome navtool(const std::string& args) {
    const std::string command = "exec '" MUX_BINARY_DIR "/bin/navtool' " + args + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    Outcome run{-1, {}};
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

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

TEST(Navtool, Variation) {
    const Outcome cases[] = {
        {0, "variation -33.86 151.21 2008-02-29"},
        {0, "variation 33.86S 151.21E 2008-02-29"},
        {2, "variation 91 0"},
        {2, "variation 45 east"},
        {2, "variation 45 10 2008-02-30"},
        {2, "variation 45"},
        {0, "variation --help"},
        {2, "bogus"},
    };
    for (const Outcome& c : cases) {
        const Outcome run = navtool(c.output);
        EXPECT_EQ(run.status, c.status) << c.output << ": " << run.output;
    }
    EXPECT_EQ(navtool("variation -33.86 151.21 2008-02-29").output, "12.62\n");
    EXPECT_EQ(navtool("variation 40.7 -74 2006-07-15").output, "-13.19\n");
}

TEST(Navtool, SimulateToStandardOutput) {
    const Outcome run =
        navtool("simulate --lat 50.5 --lon 1.25W --heading 90 --speed 6 --count 30 --rate 1000");
    EXPECT_EQ(run.status, 0);
    const std::vector<std::string> got = sentences(run.output);
    ASSERT_EQ(got.size(), 30u) << run.output;
    for (const std::string& s : got)
        EXPECT_TRUE(checksumValid(s)) << s;
    EXPECT_EQ(got[0].substr(0, 14), "$IIHDM,090.0,M");
    EXPECT_NE(got[3].find(",5030.000,N,00115.000,W,6.0,090.0,"), std::string::npos) << got[3];
    EXPECT_EQ(got[12].substr(0, 7), "$IIHDM,"); // cycles follow one another
    for (const char* bad : {"--lat 95", "--rate 0", "--speed", "--colour red"})
        EXPECT_EQ(navtool(std::string("simulate ") + bad).status, 2) << bad;
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

// Reads until `wanted` whole sentences after the first (a client may join mid-sentence) arrived;
// all must carry valid checksums. Returns how many arrived.
size_t receive(int fd, size_t wanted) {
    std::string got;
    char buffer[4096];
    while (sentences(got).size() < wanted + 1) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<size_t>(n));
    }
    const std::vector<std::string> all = sentences(got);
    for (size_t i = 1; i < all.size(); ++i)
        EXPECT_TRUE(checksumValid(all[i])) << all[i];
    return all.empty() ? 0 : all.size() - 1;
}

TEST(Navtool, SimulateServesManyClients) {
    // Three seconds of stream; the program ends by itself.
    FILE* pipe = ::popen("exec '" MUX_BINARY_DIR "/bin/navtool' simulate --tcp 0 --bind 127.0.0.1 "
                         "--rate 200 --count 600 --speed 7 2>&1",
                         "r");
    char banner[256] = {};
    ASSERT_NE(std::fgets(banner, sizeof banner, pipe), nullptr);
    const char* at = std::strstr(banner, "port ");
    ASSERT_NE(at, nullptr) << banner;
    const auto port = static_cast<uint16_t>(std::atoi(at + 5));

    int clients[3];
    for (int& fd : clients)
        fd = connectTo(port);
    for (int fd : clients)
        EXPECT_GE(receive(fd, 20), 20u);

    // One client vanishes without a word, another closes politely: the stream goes on.
    const linger abrupt{1, 0};
    ::setsockopt(clients[0], SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
    ::close(clients[0]);
    ::close(clients[1]);
    EXPECT_GE(receive(clients[2], 60), 60u);
    const int late = connectTo(port);
    EXPECT_GE(receive(late, 20), 20u);
    ::close(late);
    ::close(clients[2]);
    EXPECT_EQ(::pclose(pipe), 0);
}

} // namespace
