#pragma once
// What the console benchmarks share: the device's end of a pseudo-terminal, framed sentences, and
// the offscreen platform unless the environment names one.

#include "link/NMEA.h"

#include <QByteArray>
#include <QtGlobal>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace bench {

inline std::string framed(const std::string& sentence) {
    return sentence + NMEA::checkSumTail(sentence);
}

// The console opens `slave`; the benchmark writes the device's bytes into `master`.
struct DeviceTerminal {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    std::string slave;
    DeviceTerminal() {
        ::grantpt(master);
        ::unlockpt(master);
        slave = ::ptsname(master);
        termios t{};
        ::tcgetattr(master, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(master, TCSANOW, &t);
    }
    ~DeviceTerminal() { ::close(master); }
    DeviceTerminal(const DeviceTerminal&) = delete;
    DeviceTerminal& operator=(const DeviceTerminal&) = delete;

    // Blocks until the console's side took every byte.
    void write(const std::string& bytes) const {
        for (size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<size_t>(n);
            else
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    // Discards what the console wrote (its queries), so the terminal never fills.
    void drain() const {
        char buffer[4096];
        const int flags = ::fcntl(master, F_GETFL);
        ::fcntl(master, F_SETFL, flags | O_NONBLOCK);
        while (::read(master, buffer, sizeof buffer) > 0) {
        }
        ::fcntl(master, F_SETFL, flags);
    }
};

inline void useOffscreenUnlessSet() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace bench
