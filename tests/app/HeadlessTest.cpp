// The bridge as a service runs it: the real program with --headless and an empty environment (no
// display, no Qt platform, no home), against the simulated multiplexer's program, read over TCP
// and UDP, then stopped by SIGTERM.

#include "tests/net/LoopPeers.h"
#include "tests/support/LoopbackPort.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A program started with an empty environment, one of its output streams read line by line.
class Child {
public:
    Child(std::vector<std::string> args, int stream) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], stream);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        char* noEnvironment[] = {nullptr};
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), noEnvironment) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        fd_ = out[0];
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(fd_);
    }
    // The next line that holds `text`, within the time; empty when none came.
    std::string lineWith(const std::string& text, std::chrono::seconds within = std::chrono::seconds(30)) {
        const auto until = Clock::now() + within;
        for (;;) {
            for (size_t end; (end = buffer_.find('\n')) != std::string::npos;) {
                const std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                said_ += line + "\n";
                if (line.find(text) != std::string::npos)
                    return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return {};
            char chunk[4096];
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n <= 0)
                return {};
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }
    // Sends the signal and waits for the end; the exit status, or -1 when it did not exit.
    int stop(int signal) {
        ::kill(pid_, signal);
        int status = 0;
        const pid_t gone = ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return gone > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    bool started() const { return pid_ > 0; }
    const std::string& said() const { return said_; }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    std::string buffer_, said_;
};

struct Program {
    const char* name;
    const char* family;
};

class Headless : public testing::TestWithParam<Program> {};

TEST_P(Headless, ServesTCPAndUDPWithoutADisplayAndEndsCleanlyOnSIGTERM) {
    const std::string bin = MUX_BINARY_DIR "/bin/";
    Child device({bin + "muxsim", "--family", GetParam().family, "--rate", "50"}, STDOUT_FILENO);
    ASSERT_TRUE(device.started());
    const std::string terminal = device.lineWith("/");
    ASSERT_FALSE(terminal.empty());
    // A UDP receiver on 127.0.0.1; its reads give up after ten seconds.
    const testing_support::LoopbackPort udp = testing_support::bindLoopback(SOCK_DGRAM);
    ASSERT_NE(udp.port, 0);
    const timeval wait{10, 0};
    ::setsockopt(udp.fd.get(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);

    Child bridge({bin + GetParam().name, "--headless", "--port", terminal, "--rate", "4800", "--tcp", "0",
                  "--bind", "local", "--udp", "127.0.0.1:" + std::to_string(udp.port)},
                 STDERR_FILENO);
    ASSERT_TRUE(bridge.started());
    const std::string serving = bridge.lineWith("port ");
    ASSERT_FALSE(serving.empty()) << bridge.said();
    const auto port = std::stoi(serving.substr(serving.find("port ") + 5));
    ASSERT_FALSE(bridge.lineWith("Open ").empty()) << bridge.said(); // the device's lines flow
    Peer tcp(static_cast<uint16_t>(port));
    ASSERT_TRUE(tcp.connected());

    // Whole lines on both, as the device sent them.
    const std::string stream = tcp.receive(400);
    ASSERT_EQ(stream.size(), 400u) << bridge.said();
    EXPECT_TRUE(stream.starts_with("$") || stream.starts_with("!")) << stream;
    char chunk[4096];
    for (int i = 0; i < 5; ++i) {
        const ssize_t n = ::recv(udp.fd.get(), chunk, sizeof chunk, 0);
        ASSERT_GT(n, 0) << bridge.said();
        const std::string datagram(chunk, static_cast<size_t>(n));
        EXPECT_TRUE(datagram.ends_with("\r\n") && std::count(datagram.begin(), datagram.end(), '\n') == 1)
            << datagram;
    }
    // The device named once, on the standard error.
    EXPECT_FALSE(bridge.lineWith("firmware").empty()) << bridge.said();

    EXPECT_EQ(bridge.stop(SIGTERM), 0) << bridge.said();
}

INSTANTIATE_TEST_SUITE_P(Programs, Headless,
                         testing::Values(Program{"muxconsole", "third"},
                                         Program{"muxconsole-legacy", "legacy"}),
                         [](const testing::TestParamInfo<Program>& info) {
                             return std::string(info.param.family);
                         });

} // namespace
