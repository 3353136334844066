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

    // The next `count` bytes from the port's side; fewer only if nothing arrives for seconds.
    std::string read(size_t count) const {
        return readWhile([count](const std::string& got) { return got.size() < count; });
    }

    // Everything up to and including the first `end` the port's side writes.
    std::string readThrough(const std::string& end) const {
        return readWhile([&end](const std::string& got) { return got.find(end) == std::string::npos; });
    }

    // Waits until the master has something to read.
    bool readable(std::chrono::milliseconds timeout) const {
        pollfd p{master_, POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(timeout.count())) > 0 && (p.revents & POLLIN);
    }

private:
    template <typename More>
    std::string readWhile(More more) const {
        std::string got;
        char byte;
        while (more(got) && readable(std::chrono::seconds(5)) && ::read(master_, &byte, 1) == 1)
            got += byte;
        return got;
    }

    int master_ = -1;
    std::string path_;
};
