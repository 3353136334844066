#include "link/GPSTransfer.h"

#include "link/NMEA.h"

#include <algorithm>

namespace {

const uint8_t* bytesOf(std::string_view text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

} // namespace

void GPSTransfer::setPort(std::shared_ptr<Serial> port, std::optional<std::string> portString,
                          std::optional<std::string> rateString) {
    std::lock_guard lock(sendLock_);
    serialPort = std::move(port);
    this->portString = std::move(portString);
    this->rateString = std::move(rateString);
}

void GPSTransfer::setSentObserver(SentObserver observer) {
    std::lock_guard lock(sendLock_);
    sent_ = std::move(observer);
}

void GPSTransfer::told(std::string_view line) const {
    if (sent_)
        sent_(line);
}

bool GPSTransfer::sendNMEACommand(std::string_view command) {
    std::lock_guard lock(sendLock_);
    // An empty command would put a bare checksum tail on the line.
    if (!serialPort || command.empty())
        return false;
    if (serialPort->writePort(bytesOf(command), command.size()) != command.size())
        return false;

    if (command.find('*', 1) != std::string_view::npos) {
        told(command);
        return true; // the caller's own checksum
    }
    const std::string tail = NMEA::checkSumTail(command);
    const bool whole = serialPort->writePort(bytesOf(tail), tail.size()) == tail.size();
    if (sent_)
        told(std::string(command) + tail.substr(0, tail.size() - 2));
    return whole;
}

bool GPSTransfer::sendNMEACommandWithOutCheckSum(std::string_view line) {
    std::lock_guard lock(sendLock_);
    if (!serialPort)
        return false;
    if (serialPort->writePort(bytesOf(line), line.size()) != line.size())
        return false;
    told(line);
    return serialPort->writePort(bytesOf("\r\n"), 2) == 2;
}

bool GPSTransfer::sendLineInPieces(const LineSource& source) {
    std::lock_guard lock(sendLock_);
    if (!serialPort)
        return false;
    uint8_t piece[512]; // small: a stop is seen between two pieces, even at 4800 bit/s
    std::string beginning;
    for (size_t n; (n = source(piece, sizeof piece)) > 0;) {
        n = std::min(n, sizeof piece);
        if (beginning.empty())
            beginning.assign(reinterpret_cast<const char*>(piece), std::min<size_t>(n, 80));
        if (serialPort->writePort(piece, n) != n)
            return false;
    }
    told(beginning + "...");
    return serialPort->writePort(bytesOf("\r\n"), 2) == 2;
}
