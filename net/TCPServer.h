#pragma once
// The NMEA server behind TCPConnectionModel: a listening socket and the clients it accepted,
// served by sending threads of the server's own (FanoutSender), each with an epoll loop and its
// share of the clients. A line handed in from any thread is only copied into each sender's
// batch. How much may wait for a client, and for how long, is the ClientPolicy's. The owner's
// notifications are posted to the run loop of the thread that started the server.

#include "net/ClientPolicy.h"
#include "net/FanoutSender.h"
#include "net/NetSocket.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TCPServer : private NetSocketDelegate {
public:
    // A client this far behind has stopped reading: it is dropped rather than held in memory.
    static constexpr size_t kClientOutgoingLimit = ClientPolicy::kDefaultMaxBytes;
    // Room for a reconnect storm: every client of a boat's network at once (the system may
    // clip it to its own ceiling).
    static constexpr int kListenBacklog = 4096;

    struct Events {
        std::function<void()> clientsChanged; // a client was accepted or has gone
        std::function<void()> listenerLost;   // the listening socket failed
        std::function<void()> clientsRefused; // the first client turned away at the ceiling
        // A line a client sent (its line feed included), on the sending thread that serves the
        // client, without a wait; an empty line stands for bytes that were no line (more than a
        // sentence's worth without a line feed), discarded. Not set: what clients send is read
        // and dropped.
        std::function<void(uint64_t client, const Bytes& line)> clientLine;
    };

    // Listens on each address (empty: every local IPv4 address; "::" every IPv4 and IPv6 one,
    // or every IPv4 one where the system has no IPv6) on one port (address reuse), and starts
    // `senders` sending threads (at least one); empty on failure, with errno telling why. At
    // most `maxClients` are served; those beyond are closed at once and the owner is told the
    // first time. `events` but clientLine run on `owner`'s thread; without an owner they are
    // dropped.
    static std::unique_ptr<TCPServer> start(uint16_t port, const std::vector<std::string>& bindAddresses,
                                            size_t maxClients, size_t senders, std::shared_ptr<RunLoop> owner,
                                            Events events, const ClientPolicy& policy = {});
    static std::unique_ptr<TCPServer> start(uint16_t port, const std::string& bindAddress, size_t maxClients,
                                            size_t senders, std::shared_ptr<RunLoop> owner, Events events,
                                            const ClientPolicy& policy = {}) {
        return start(port, std::vector<std::string>{bindAddress}, maxClients, senders, std::move(owner),
                     std::move(events), policy);
    }
    ~TCPServer() override;
    TCPServer(const TCPServer&) = delete;
    TCPServer& operator=(const TCPServer&) = delete;

    // Ends the sending threads and closes every socket; no event follows. The owner's thread.
    void stop();
    // Any thread; never waits on a client.
    void broadcast(const uint8_t* line, size_t length);
    unsigned clientsConnected() const;
    uint16_t port() const { return port_; }

private:
    TCPServer() = default;
    // The listener's events, on the first sender's thread.
    void netsocketConnectionAccepted(NetSocket& listener, std::shared_ptr<NetSocket> socket) override;
    void netsocketConnectionRefused(NetSocket& listener) override;
    void netsocketDisconnected(NetSocket& listener) override;
    void refused();
    void tellOwner(const std::function<void()>& event);
    static std::shared_ptr<NetSocket> listener(uint16_t port, const std::string& address);

    std::vector<std::unique_ptr<FanoutSender>> senders_;
    std::vector<std::shared_ptr<NetSocket>> listeners_; // served on the first sender's thread
    ClientPolicy policy_;
    size_t maxClients_ = 0;
    uint16_t port_ = 0;
    std::shared_ptr<RunLoop> owner_;
    Events events_;
    std::atomic<bool> refusalTold_{false};
    std::shared_ptr<std::atomic<bool>> live_ = std::make_shared<std::atomic<bool>>(true);
    std::atomic<uint64_t> nextClient_{1};
};
