#pragma once
// The serial line to the multiplexer: port listing, a raw 8N1 terminal at one of the seven
// rates with exclusive access, blocking time-limited single-byte reads and single-byte writes.

#include "base/Bytes.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class Serial {
public:
    Serial();          // closed; clears the owner
    virtual ~Serial(); // closes; clears the owner
    Serial(const Serial&) = delete;
    Serial& operator=(const Serial&) = delete;

    // Short names of the serial ports of this machine ("ttyUSB0", "ttyS0", "pts/3" ...).
    static std::vector<std::string> ports();
    // The same from another tree: a sysfs tty class folder and the device folder beside it.
    static std::vector<std::string> ports(const std::string& sysClassTty, const std::string& devRoot);
    // The port's name under /dev/serial/by-id (maker, model, serial number), or "" when it has none.
    static std::string portDescription(const std::string& name);
    // Appends every name of ports() to anything with addItem(std::string) (nothing for a null box).
    template <class Box>
    static void listPorts(Box* box) {
        if (box == nullptr)
            return;
        for (const auto& name : ports())
            box->addItem(name);
    }
    static std::string shortPortName(const std::string& name);
    // What openPort opens for a name: the name itself when it is a path ("/...", "./...",
    // "../..."), else "/dev/" + name.
    static std::string portPath(const std::string& name);

    // Class-level owner: cleared by every construction and destruction, written by nobody else.
    static const void* owner();
    static void setOwner(const void* owner);

    // A short name opens as "/dev/" + name; a path opens as it stands (see portPath).
    bool openPort(const std::optional<std::string>& port, const std::optional<std::string>& rate,
                  bool softwareFlowControl, bool hardwareFlowControl);
    bool isOpen() const;
    int fd() const { return fd_; }

    enum class Wait { Readable, TimedOut, Woken, Lost };
    // Waits until a byte can be read (read-ahead included), the time passes, the other
    // descriptor becomes readable (it is left unread: the caller's wake-up), or the line is lost.
    Wait waitReadable(std::chrono::milliseconds timeout, int wakeFd = -1);

    // Up to 10 attempts of 0.5 s each; false at once while the line is lost.
    bool readPortChar(uint8_t* byte);
    // The bytes up to and including the end byte; nil on silence or when maxLength is reached first;
    // an empty buffer when the port is closed or the end byte is 0.
    std::optional<Bytes> readPortUntilChar(uint8_t endByte, unsigned maxLength);
    Bytes readPortForLength(unsigned count);

    // Number of bytes written, one write per byte; stops at the first failure.
    unsigned writePort(const Bytes& bytes);
    virtual unsigned writePort(const uint8_t* bytes, size_t length);

    void flushPort();
    void closePort();

    // True once a read or write failed at once (device unplugged, other end of the line gone),
    // as opposed to plain silence. The port stays open; the caller decides to reopen.
    bool lineLost() const { return lineLost_; }

    // Read-ahead: each read takes everything the terminal holds (up to 4 KB) and hands it out byte
    // by byte, instead of one system call per byte. Off by default: with it on, bytes can wait here
    // while fd() polls quiet, so a caller that polls must first ask pendingInput().
    void setReadAhead(bool on) { readAhead_ = on; }
    size_t pendingInput() const { return inputEnd_ - inputPos_; }

private:
    std::atomic<int> fd_{-1}; // read by other threads (isOpen, the command sender's writes)
    std::atomic<bool> lineLost_{false};
    bool readAhead_ = false;
    std::vector<uint8_t> input_; // what the last read brought and is not yet handed out
    size_t inputPos_ = 0, inputEnd_ = 0;
};
