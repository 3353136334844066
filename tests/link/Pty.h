#pragma once
// A pseudo-terminal whose master end the test holds; the port under test opens the other end.

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <string>
#include <unistd.h>

class Pty {
public:
    Pty() {
        char name[128];
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
            ::ptsname_r(master_, name, sizeof name) != 0)
            throw std::runtime_error("no pseudo-terminal");
        path_ = name;
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& path() const { return path_; }         // "/dev/pts/N"
    std::string shortName() const { return path_.substr(5); } // "pts/N"

    void closeMaster() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

    bool write(const std::string& bytes) const {
        for (size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += size_t(n);
        }
        return true;
    }

    // Whether the master has something to read (within seconds: a guard, not a wait).
    bool readable(int milliseconds = 5000) const {
        pollfd p{master_, POLLIN, 0};
        return ::poll(&p, 1, milliseconds) > 0 && (p.revents & POLLIN);
    }

    // What the port's side writes, through the first `end`.
    std::string readThrough(const std::string& end) const {
        std::string got;
        for (char byte; got.find(end) == std::string::npos && readable() && ::read(master_, &byte, 1) == 1;)
            got += byte;
        return got;
    }

private:
    int master_ = -1;
    std::string path_;
};
