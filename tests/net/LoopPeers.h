#pragma once
// A run loop of either kind made current for the test thread, and plain blocking
// peers on 127.0.0.1.

#include "net/PollRunLoop.h"
#include "tests/support/HangBound.h"
#ifdef MUX_NET_QT
#include "net/QtRunLoop.h"
#endif

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

enum class LoopKind { Poll, Qt };

inline std::string loopName(const testing::TestParamInfo<LoopKind>& info) {
    return info.param == LoopKind::Poll ? "Poll" : "Qt";
}

inline std::vector<LoopKind> loopKinds() {
#ifdef MUX_NET_QT
    return {LoopKind::Poll, LoopKind::Qt};
#else
    return {LoopKind::Poll};
#endif
}

class LoopTest : public testing::TestWithParam<LoopKind> {
protected:
    void SetUp() override {
#ifdef MUX_NET_QT
        if (GetParam() == LoopKind::Qt)
            loop = QtRunLoop::install();
#endif
        if (!loop)
            loop = PollRunLoop::install();
    }
    void TearDown() override {
        RunLoop::setCurrent(nullptr);
    }
    // Runs the loop until the condition holds; false after a bound only a hang reaches.
    bool runUntil(const std::function<bool()>& done, double seconds = testing_support::kHangBound.count()) {
        return loop->runUntil(done, seconds);
    }
    std::shared_ptr<RunLoop> loop;
};

// A blocking TCP peer; reads give up after ten seconds, a bound only a hang reaches.
class Peer {
public:
    explicit Peer(uint16_t port, int receiveBuffer = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        const timeval wait{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Peer() { close(); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool connected() const { return connected_; }
    // Reads until `count` bytes arrived, the peer closed or the wait ran out.
    std::string receive(size_t count) {
        std::string got;
        char chunk[65536];
        while (got.size() < count) {
            const ssize_t n = ::recv(fd_, chunk, std::min(sizeof chunk, count - got.size()), 0);
            if (n <= 0)
                break;
            got.append(chunk, static_cast<size_t>(n));
            // Acknowledged at once: the server sees the bytes delivered, not still in flight.
            const int yes = 1;
            ::setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &yes, sizeof yes);
        }
        return got;
    }
    // Waits for the server to end the connection: true at its end of stream or reset, false when
    // bytes came instead or the wait ran out.
    bool ended() {
        char byte;
        const ssize_t n = ::recv(fd_, &byte, 1, 0);
        return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }
    void send(const std::string& text) {
        [[maybe_unused]] ssize_t n = ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
    }
    // abrupt: a reset instead of an orderly close.
    void close(bool abrupt = false) {
        if (fd_ < 0)
            return;
        if (abrupt) {
            const linger now{1, 0};
            ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        }
        ::close(fd_);
        fd_ = -1;
    }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    bool connected_ = false;
};

inline size_t openDescriptors() {
    size_t count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir))
            ++count;
        ::closedir(dir);
    }
    return count;
}
