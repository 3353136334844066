#pragma once
// navtool listen: prints the lines a TCP server or UDP senders send, through the NMEA client of
// the socket layer (TCPConnectionModel's client side), with its timers: 30 s to connect, 90 s to
// the first datagram, and the rest of a read dropped when handing on its lines takes more than
// 2 s. What happens to the connection is said on the error stream.

#include "net/TCPConnectionModel.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

class Listener : private TCPClientDelegate {
public:
    struct Target {
        bool udp = false;
        std::string host; // TCP only
        std::string port;
    };
    // "tcp://HOST:PORT" ("[IPv6]" hosts too) or "udp://:PORT"; nothing, said in `why`, else.
    static std::optional<Target> parse(const std::string& url, std::string* why);

    // Prints at most `count` lines (0: no limit) on `out`, its news on `err`.
    Listener(TCPConnectionModel& model, std::FILE* out, std::FILE* err, uint64_t count = 0);
    ~Listener() override;
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Starts connecting or listening on the calling thread's run loop; false, said, when it
    // cannot.
    bool start(const Target& target);
    // The connection ended (the peer closed, it timed out, it was refused) or the count is reached.
    bool done() const { return done_; }
    // 0: the peer closed or the count was reached; 1: no connection or no datagram.
    int status() const { return status_; }
    uint64_t lines() const { return lines_; }

private:
    void clientSocketConnected() override;
    void clientSocketDisconnected() override;
    void clientSocketTimedOut() override;
    void readNMEASentence(const Bytes& line) override;
    void readNMEASentenceOverflow() override;
    void finish(int status);

    TCPConnectionModel& model_;
    std::FILE* out_;
    std::FILE* err_;
    uint64_t count_;
    Target target_;
    std::string name_; // for the news: "HOST:PORT", "UDP port N"
    bool connected_ = false;
    bool done_ = false;
    int status_ = 0;
    uint64_t lines_ = 0;
};
