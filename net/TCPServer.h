#pragma once
// The NMEA server behind TCPConnectionModel: a listening socket and the clients it accepted,
// served by sending threads of the server's own, each with a poll loop and its share of the
// clients. A line handed in from any thread is only copied into each sender's batch; a sender
// passes its batch to each of its clients with one write. When the clients cost more than the
// lines come in, batches grow instead of the handing-in thread falling behind. The owner's
// notifications are posted to the run loop of the thread that started the server.

#include "base/Bytes.h"
#include "net/NetSocket.h"
#include "net/PollRunLoop.h"

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TCPServer {
public:
    // A client this far behind has stopped reading: it is dropped rather than held in memory.
    static constexpr size_t kClientOutgoingLimit = 1024 * 1024;

    struct Events {
        std::function<void()> clientsChanged; // a client was accepted or has gone
        std::function<void()> listenerLost;   // the listening socket failed
        // A line a client sent (its line feed included), on the sending thread that serves the
        // client, without a wait; an empty line stands for bytes that were no line (more than a
        // sentence's worth without a line feed), discarded. Not set: what clients send is read
        // and dropped.
        std::function<void(uint64_t client, const Bytes& line)> clientLine;
    };

    // Listens on each address (empty: every local IPv4 address; "::" every IPv4 and IPv6 one,
    // or every IPv4 one where the system has no IPv6) on one port (address reuse, backlog 5),
    // and starts `senders` sending threads (at least one); empty on failure, with errno telling
    // why. `events` but clientLine run on `owner`'s thread; without an owner they are dropped.
    static std::unique_ptr<TCPServer> start(uint16_t port, const std::vector<std::string>& bindAddresses,
                                            size_t maxClients, size_t senders, std::shared_ptr<RunLoop> owner,
                                            Events events);
    static std::unique_ptr<TCPServer> start(uint16_t port, const std::string& bindAddress, size_t maxClients,
                                            size_t senders, std::shared_ptr<RunLoop> owner, Events events) {
        return start(port, std::vector<std::string>{bindAddress}, maxClients, senders, std::move(owner),
                     std::move(events));
    }
    ~TCPServer();
    TCPServer(const TCPServer&) = delete;
    TCPServer& operator=(const TCPServer&) = delete;

    // Ends the sending threads and closes every socket; no event follows. The owner's thread.
    void stop();
    // Any thread; never waits on a client.
    void broadcast(const uint8_t* line, size_t length);
    unsigned clientsConnected() const;
    uint16_t port() const { return port_; }

private:
    class Sender;
    TCPServer() = default;
    void accepted(std::shared_ptr<NetSocket> socket); // on the first sender's thread
    void tellOwner(const std::function<void()>& event);
    static std::shared_ptr<NetSocket> listener(uint16_t port, const std::string& address);

    std::vector<std::unique_ptr<Sender>> senders_;
    size_t maxClients_ = 0;
    uint16_t port_ = 0;
    std::shared_ptr<RunLoop> owner_;
    Events events_;
    std::shared_ptr<std::atomic<bool>> live_ = std::make_shared<std::atomic<bool>>(true);
    std::atomic<uint64_t> nextClient_{1};
};
