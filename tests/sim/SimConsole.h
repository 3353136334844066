#pragma once
// Talks to a simulated multiplexer as the console does: through Serial and GPSTransfer.

#include "link/GPSTransfer.h"
#include "link/NMEA.h"
#include "link/Serial.h"
#include "sim/SimulatedMux.h"
#include "tests/support/HangBound.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

// The line as it must appear on the wire: checksum computed here, independently of the device.
inline std::string framed(const std::string& sentence) {
    unsigned sum = 0;
    for (size_t i = 1; i < sentence.size(); ++i)
        sum ^= static_cast<unsigned char>(sentence[i]);
    static const char* hex = "0123456789ABCDEF";
    return sentence + '*' + hex[sum >> 4] + hex[sum & 15] + "\r\n";
}

inline std::string text(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

// A device that only answers: no traffic, no status sentences.
inline SimOptions quiet(MuxFamily family, bool bluetooth = false) {
    SimOptions options;
    options.family = family;
    options.bluetooth = bluetooth;
    options.linesPerSecond = 0;
    options.statusSeconds = 0;
    return options;
}

class SimConsole {
public:
    explicit SimConsole(const std::string& path) : port_(std::make_shared<Serial>()) {
        if (port_->openPort(path, "4800", false, false))
            sender_.setPort(port_);
    }
    ~SimConsole() { sender_.setPort(nullptr); }

    // Both false unless the port is open.
    bool send(const std::string& command) { return sender_.sendNMEACommand(command); }
    bool sendLine(const std::string& line) { return sender_.sendNMEACommandWithOutCheckSum(line); }

    // The next line as read ("" on silence or an overlong line).
    std::string readLine() {
        auto line = port_->readPortUntilChar('\n', 256);
        return line ? text(*line) : std::string();
    }
    // The next line beginning with the prefix, skipping traffic; "" when none comes.
    std::string readLineStarting(const std::string& prefix, int maxLines = 2000) {
        for (int i = 0; i < maxLines; ++i) {
            std::string line = readLine();
            if (line.empty() || line.starts_with(prefix))
                return line;
        }
        return {};
    }

private:
    std::shared_ptr<Serial> port_;
    GPSTransfer sender_;
};

// Waits (bounded) until the condition holds.
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = testing_support::kHangBound) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
