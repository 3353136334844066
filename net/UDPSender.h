#pragma once
// Sends lines as UDP datagrams to a set of destinations: a broadcast address, a unicast host or a
// multicast group, IPv4 or IPv6. Each line goes out whole, byte for byte, in a datagram of its
// own; a line longer than a datagram may carry is not sent (and counted). Nothing waits: a
// datagram the system cannot take now is dropped and counted, as the network would drop it.
//
// Threads: start() and stop() on one thread (the owner's); send() from any thread, one sender at
// a time (the reader), while the destinations change under it.

#include "base/Bytes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <vector>

class UDPSender {
public:
    // What fits one Ethernet frame: 1500 less the IPv4 and UDP headers.
    static constexpr size_t kMaxDatagram = 1472;

    struct Destination {
        std::string text; // as given: "192.168.1.255:10110", "[ff02::1]:10110"
        sockaddr_storage address{};
        socklen_t length = 0;
    };
    struct Counts {
        uint64_t sent = 0;    // datagrams that left, over all destinations
        uint64_t dropped = 0; // datagrams the system refused, or lines too long for one
    };
    // A destination that starts failing (with errno), said once until it works again; on the
    // sending thread.
    using Fault = std::function<void(const std::string& destination, int error)>;

    // "HOST:PORT" or "[IPv6]:PORT"; the host is an address or a name. Nothing, with the reason in
    // `why`, when it is not one.
    static std::optional<Destination> parseDestination(const std::string& text, std::string* why);
    // Destinations separated by commas, spaces or both.
    static std::vector<std::string> splitList(const std::string& text);

    UDPSender() = default;
    ~UDPSender();
    UDPSender(const UDPSender&) = delete;
    UDPSender& operator=(const UDPSender&) = delete;

    // Sends to these from now on (replacing earlier ones); false, with the reason in `why` and
    // nothing changed, when one of them is not a destination or no socket could be made.
    bool start(const std::vector<std::string>& destinations, std::string* why, Fault fault = {});
    void stop();
    bool running() const;
    std::vector<std::string> destinations() const;

    void send(const uint8_t* line, size_t length);
    void send(const Bytes& line) { send(line.data(), line.size()); }
    Counts counts() const { return {sent_.load(), dropped_.load()}; }

private:
    struct Target {
        Destination to;
        int fd = -1;
        bool failing = false;
    };
    struct State;
    std::shared_ptr<State> state() const;

    mutable std::mutex mutex_;
    std::shared_ptr<State> state_;
    std::atomic<uint64_t> sent_{0}, dropped_{0};
};
