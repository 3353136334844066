#pragma once
// What the NMEA server holds for each client and how it watches it. A client is dropped when
// more than `maxBytes` wait for it (what the system's send buffer holds for it included) or when
// the oldest of them arrived more than `maxAge` ago: an app that stopped reading gets no
// hours-old positions, and a stalled client costs little. Keepalive and the user timeout end a
// client whose machine vanished within a minute.

#include <chrono>
#include <cstddef>
#include <functional>

struct ClientPolicy {
    using Clock = std::chrono::steady_clock;

    static constexpr size_t kDefaultMaxBytes = 1024 * 1024;

    size_t maxBytes = kDefaultMaxBytes;
    Clock::duration maxAge = std::chrono::seconds(10);
    // Kept small: many stalled clients must not pin the system's memory (it doubles the value).
    int sendBuffer = 64 * 1024;
    // Silence after which the peer is probed, the time between probes, probes unanswered.
    int keepIdle = 20, keepInterval = 5, keepCount = 4;
    // Sent bytes that stay unacknowledged this long end the connection.
    std::chrono::milliseconds userTimeout{30000};
    // Lines that arrive this soon after a sender's last round of writes wait to go out with the
    // next: a sender with many clients, whose every round costs a system call per client, gathers
    // about twice as long as a round takes, so each system call carries more lines. With a few
    // clients the wait is a few tens of microseconds.
    std::chrono::microseconds gatherPerClient{16};
    std::chrono::microseconds gatherAtMost{4000};
    // The server's clock; tests bring their own.
    std::function<Clock::time_point()> now = [] { return Clock::now(); };

    // The longest a vanished peer can count as connected.
    Clock::duration deadPeerBound() const;
    // Sets the options on an accepted client; false when the system refused one.
    bool apply(int fd) const;
};
