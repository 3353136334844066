#pragma once
// Sends NMEA commands to the device over the attached Serial, completing each with its checksum
// and line end. Whole sentences are kept together when two threads send.

#include "link/Serial.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class GPSTransfer {
public:
    GPSTransfer() = default;
    virtual ~GPSTransfer() = default;
    GPSTransfer(const GPSTransfer&) = delete;
    GPSTransfer& operator=(const GPSTransfer&) = delete;

    // Attach the open port (or nothing, to detach before closing it).
    void setPort(std::shared_ptr<Serial> port, std::optional<std::string> portString = std::nullopt,
                 std::optional<std::string> rateString = std::nullopt);

    // The command without checksum and line end, start character included. Writes the command,
    // then "*%02X\r\n" as a second write; a command already holding "*" is sent as it stands.
    // False without a port, for an empty command, or when the port took fewer bytes than given.
    bool sendNMEACommand(std::string_view command);
    // The line as it stands, then CR LF.
    bool sendNMEACommandWithOutCheckSum(std::string_view line);
    // A line too long to hold, written piece by piece as one sentence (no other sentence comes
    // between its pieces), then CR LF. The source fills the buffer and returns how much it put
    // there; 0 ends the line. False without a port or when the port took fewer bytes than given
    // (then nothing more is written).
    using LineSource = std::function<size_t(uint8_t* buffer, size_t capacity)>;
    bool sendLineInPieces(const LineSource& source);

    // Told each line written, without its line end (a line written in pieces: its beginning,
    // then "..."), under the sender's lock: copy it and return. Set it before the sender is used.
    using SentObserver = std::function<void(std::string_view line)>;
    void setSentObserver(SentObserver observer);

    // Transfer operations of a plain device: none.
    virtual bool receiveWaypoints() { return false; }
    virtual bool sendWaypoints() { return false; }
    virtual bool receiveTracks() { return false; }
    virtual std::optional<std::string> ident() { return std::nullopt; }

protected:
    std::shared_ptr<Serial> serialPort;
    std::optional<std::string> portString;
    std::optional<std::string> rateString;

private:
    void told(std::string_view line) const;

    std::mutex sendLock_; // one whole sentence at a time, and the port pointer with it
    SentObserver sent_;
};
