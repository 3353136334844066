// navtool run as a separate process, as a sailor would run it.

#include "link/NMEA.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono;

const std::string navtool = std::string(MUX_BINARY_DIR) + "/bin/navtool";

// A child process with its standard output and error on pipes; killed if still running at the end.
class Child {
public:
    explicit Child(std::vector<std::string> args) {
        args.insert(args.begin(), navtool);
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, navtool.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(err_);
    }

    // Reads from the pipe until it closes, `until` appears, or the time is up.
    static std::string read(int fd, milliseconds limit, const std::string& until = {}) {
        std::string got;
        const auto end = steady_clock::now() + limit;
        while (steady_clock::now() < end && (until.empty() || got.find(until) == std::string::npos)) {
            pollfd p{fd, POLLIN, 0};
            const auto left = duration_cast<milliseconds>(end - steady_clock::now()).count();
            if (::poll(&p, 1, static_cast<int>(std::max<long long>(left, 1))) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }
    std::string output(milliseconds limit = seconds(10)) { return read(out_, limit); }
    std::string errors(milliseconds limit, const std::string& until = {}) { return read(err_, limit, until); }

    // Exit status, or -1 when it does not end in time.
    int wait(milliseconds limit = seconds(10)) {
        const auto end = steady_clock::now() + limit;
        while (steady_clock::now() < end) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            ::usleep(10000);
        }
        return -1;
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
};

TEST(Navtool, Variation) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string output; // exact when the status is 0
    } cases[] = {
        {{"variation", "-33.86", "151.21", "2008-02-29"}, 0, "12.62\n"},
        {{"variation", "33.86S", "151.21E", "2008-02-29"}, 0, "12.62\n"},
        {{"variation", "40.7", "-74", "2006-07-15"}, 0, "-13.19\n"},
        {{"variation", "91", "0"}, 2, ""},
        {{"variation", "45", "east"}, 2, ""},
        {{"variation", "45", "10", "2008-02-30"}, 2, ""},
        {{"variation", "45"}, 2, ""},
        {{"variation", "--help"}, 0, ""},
        {{"bogus"}, 2, ""},
    };
    for (const Case& c : cases) {
        Child child(c.args);
        const std::string out = child.output();
        EXPECT_EQ(child.wait(), c.status) << c.args[0] << " " << (c.args.size() > 1 ? c.args[1] : "");
        if (c.status == 0 && !c.output.empty()) {
            EXPECT_EQ(out, c.output);
        }
    }
    Child today({"variation", "50.9", "-1.4"});
    const std::string out = today.output();
    EXPECT_EQ(today.wait(), 0);
    EXPECT_NE(out.find('\n'), std::string::npos);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        result.push_back(text.substr(start, at + 2 - start));
    return result;
}

TEST(Navtool, SimulateToStandardOutput) {
    Child child({"simulate", "--lat", "50.5", "--lon", "1.25W", "--heading", "90", "--speed", "6", "--count",
                 "30", "--rate", "1000", "--seed", "3"});
    const std::string out = child.output();
    EXPECT_EQ(child.wait(), 0);
    const std::vector<std::string> got = lines(out);
    ASSERT_EQ(got.size(), 30u) << out;
    for (const std::string& line : got) {
        Bytes b(line.begin(), line.end());
        EXPECT_TRUE(NMEA::checkSumValid(&b)) << line;
    }
    EXPECT_EQ(got[0].substr(0, 14), "$IIHDM,090.0,M");
    EXPECT_NE(got[3].find(",5030.000,N,00115.000,W,6.0,090.0,"), std::string::npos) << got[3];
    EXPECT_EQ(got[12].substr(0, 7), "$IIHDM,"); // the cycles follow one another

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"simulate", "--lat", "95"},
                                                {"simulate", "--rate", "0"},
                                                {"simulate", "--speed"},
                                                {"simulate", "--colour", "red"}}) {
        Child c(bad);
        EXPECT_EQ(c.wait(), 2) << bad[1];
    }
}

int connectTo(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Whole sentences a client received within the time, all with valid checksums.
size_t receiveSentences(int fd, milliseconds limit, size_t wanted) {
    std::string got;
    const auto end = steady_clock::now() + limit;
    while (steady_clock::now() < end && lines(got).size() < wanted + 1)
        got += Child::read(fd, milliseconds(100));
    const std::vector<std::string> all = lines(got);
    // The first may be cut short: a client joins in mid-stream.
    size_t valid = 0;
    for (size_t i = 1; i < all.size(); ++i) {
        Bytes b(all[i].begin(), all[i].end());
        valid += NMEA::checkSumValid(&b) ? 1 : 0;
    }
    EXPECT_EQ(valid, all.empty() ? 0 : all.size() - 1);
    return valid;
}

TEST(Navtool, SimulateServesManyClients) {
    Child child({"simulate", "--tcp", "0", "--bind", "127.0.0.1", "--rate", "200", "--speed", "7"});
    const std::string banner = child.errors(seconds(10), "\n");
    const size_t at = banner.find("port ");
    ASSERT_NE(at, std::string::npos) << banner;
    const auto port = static_cast<uint16_t>(std::stoi(banner.substr(at + 5)));

    int clients[3];
    for (int& fd : clients) {
        fd = connectTo(port);
        ASSERT_GE(fd, 0);
    }
    for (int fd : clients)
        EXPECT_GE(receiveSentences(fd, seconds(10), 20), 20u);

    // One client vanishes without a word, another closes politely: the stream goes on.
    linger abrupt{1, 0};
    ::setsockopt(clients[0], SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
    ::close(clients[0]);
    ::close(clients[1]);
    ::usleep(200000);
    EXPECT_GE(receiveSentences(clients[2], seconds(10), 40), 40u);
    const int late = connectTo(port);
    ASSERT_GE(late, 0);
    EXPECT_GE(receiveSentences(late, seconds(10), 20), 20u);
    ::close(late);

    ::kill(child.pid(), SIGTERM);
    EXPECT_EQ(child.wait(), 0);
    ::close(clients[2]);
}

} // namespace
