#pragma once
// A pseudo-terminal whose master end the test holds; the port under test opens the other end.

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

class Pty {
public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        char name[128];
        if (::ptsname_r(master_, name, sizeof name) != 0)
            throw std::runtime_error("no pseudo-terminal name");
        path_ = name;
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& path() const { return path_; }         // "/dev/pts/N"
    std::string shortName() const { return path_.substr(5); } // "pts/N"
    int master() const { return master_; }

    void closeMaster() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

    bool write(const std::string& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    // Everything that arrives until the line has been quiet for the given time.
    std::string readQuiet(std::chrono::milliseconds quiet = std::chrono::milliseconds(200)) const {
        std::string got;
        char buffer[4096];
        for (;;) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0 || !(p.revents & POLLIN))
                return got;
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0)
                return got;
            got.append(buffer, static_cast<size_t>(n));
        }
    }

    // Waits until the master has something to read.
    bool readable(std::chrono::milliseconds timeout) const {
        pollfd p{master_, POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(timeout.count())) > 0 && (p.revents & POLLIN);
    }

private:
    int master_ = -1;
    std::string path_;
};
