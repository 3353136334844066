#pragma once
// The NMEA server behind TCPConnectionModel: a listening socket and the clients it accepted,
// all served by a sending thread of the server's own, on a poll loop. Lines handed in from any
// thread join one batch and the sending thread passes each batch to every client with one
// write; a thread that hands in a line only copies it. When the clients cost more than the
// lines come in, batches grow instead of the handing-in thread falling behind. The owner's
// notifications are posted to the run loop of the thread that started the server.

#include "link/NMEA.h" // Bytes
#include "net/NetSocket.h"
#include "net/PollRunLoop.h"

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TCPServer : private NetSocketDelegate {
public:
    // A client this far behind has stopped reading: it is dropped rather than held in memory.
    static constexpr size_t kClientOutgoingLimit = 1024 * 1024;

    struct Events {
        std::function<void()> clientsChanged; // a client was accepted or has gone
        std::function<void()> listenerLost;   // the listening socket failed
    };

    // Listens (address reuse, backlog 5) and starts the sending thread; empty on failure, with
    // errno telling why. `events` run on `owner`'s thread; without an owner they are dropped.
    static std::unique_ptr<TCPServer> start(uint16_t port, const std::string& bindAddress, size_t maxClients,
                                            std::shared_ptr<RunLoop> owner, Events events);
    ~TCPServer() override;
    TCPServer(const TCPServer&) = delete;
    TCPServer& operator=(const TCPServer&) = delete;

    // Ends the sending thread and closes every socket; no event follows. The owner's thread.
    void stop();
    // Any thread; never waits on a client.
    void broadcast(const uint8_t* line, size_t length);
    unsigned clientsConnected() const { return connected_.load(); }
    uint16_t port() const { return port_; }

private:
    TCPServer() = default;
    void run(std::promise<void>* ready);
    void flush();
    void recount();
    void tellOwner(const std::function<void()>& event);
    void netsocketConnectionAccepted(NetSocket& listener, std::shared_ptr<NetSocket> socket) override;
    void netsocketDisconnected(NetSocket& socket) override;
    void netsocketDataAvailable(NetSocket& socket, size_t total) override;

    std::shared_ptr<NetSocket> listener_;
    std::vector<std::shared_ptr<NetSocket>> clients_; // the sending thread's
    size_t maxClients_ = 0;
    uint16_t port_ = 0;
    std::shared_ptr<PollRunLoop> loop_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<unsigned> connected_{0};

    std::mutex batchMutex_;
    Bytes batch_;
    bool flushPosted_ = false;

    std::shared_ptr<RunLoop> owner_;
    Events events_;
    std::shared_ptr<std::atomic<bool>> live_ = std::make_shared<std::atomic<bool>>(true);
};
