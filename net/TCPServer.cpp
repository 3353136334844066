#include "net/TCPServer.h"

#include <algorithm>
#include <cerrno>

// A listening socket on the address; "::" falls back to every IPv4 address where the system
// has no IPv6.
std::shared_ptr<NetSocket> TCPServer::listener(uint16_t port, const std::string& address) {
    const bool v6 = address.find(':') != std::string::npos;
    auto socket = std::make_shared<NetSocket>();
    if (!socket->open(v6 ? AF_INET6 : AF_INET)) {
        const int error = errno;
        if (address == "::" && (error == EAFNOSUPPORT || error == EINVAL))
            return listener(port, "0.0.0.0");
        errno = error;
        return nullptr;
    }
    if (!socket->listenOnPort(port, kListenBacklog, address)) {
        const int error = errno;
        socket->close();
        if (address == "::" && error == EADDRNOTAVAIL)
            return listener(port, "0.0.0.0");
        errno = error;
        return nullptr;
    }
    return socket;
}

std::unique_ptr<TCPServer> TCPServer::start(uint16_t port, const std::vector<std::string>& bindAddresses,
                                            size_t maxClients, size_t senders, std::shared_ptr<RunLoop> owner,
                                            Events events, const ClientPolicy& policy) {
    // Every address on one port: the first one's when the system chose it.
    std::vector<std::shared_ptr<NetSocket>> listeners;
    for (const std::string& address : bindAddresses.empty() ? std::vector<std::string>{""} : bindAddresses) {
        auto socket = listener(listeners.empty() ? port : listeners.front()->localPort(), address);
        if (!socket) {
            // An IPv6 loopback where the system has no IPv6 is no loss beside the IPv4 one.
            if (!listeners.empty() && (errno == EAFNOSUPPORT || errno == EADDRNOTAVAIL))
                continue;
            const int error = errno;
            for (const auto& l : listeners)
                l->close();
            errno = error;
            return nullptr;
        }
        listeners.push_back(std::move(socket));
    }
    std::unique_ptr<TCPServer> server(new TCPServer);
    server->port_ = listeners.front()->localPort();
    server->maxClients_ = maxClients;
    server->policy_ = policy;
    server->owner_ = std::move(owner);
    server->events_ = std::move(events);
    TCPServer* const s = server.get();
    for (size_t i = 0; i < std::max<size_t>(senders, 1); ++i)
        server->senders_.push_back(std::make_unique<FanoutSender>(
            policy, [s] { s->tellOwner(s->events_.clientsChanged); }, server->events_.clientLine));
    server->listeners_ = std::move(listeners);
    // Accepting reads the list of senders, now complete.
    FanoutSender& first = *server->senders_.front();
    first.post([s, &first] {
        for (const auto& l : s->listeners_) {
            l->setDelegate(s);
            l->scheduleOnRunLoop(first.loop());
        }
    });
    return server;
}

TCPServer::~TCPServer() {
    stop();
}

void TCPServer::stop() {
    *live_ = false;
    if (!listeners_.empty() && !senders_.empty()) {
        std::promise<void> closed; // the listeners' sources belong to the first sender's thread
        senders_.front()->post([this, &closed] {
            for (const auto& l : listeners_)
                l->close();
            closed.set_value();
        });
        closed.get_future().wait();
        listeners_.clear();
    }
    for (auto& sender : senders_)
        sender->stop();
}

void TCPServer::broadcast(const uint8_t* line, size_t length) {
    for (auto& sender : senders_)
        sender->broadcast(line, length);
}

unsigned TCPServer::clientsConnected() const {
    unsigned n = 0;
    for (const auto& sender : senders_)
        n += sender->connected();
    return n;
}

void TCPServer::netsocketConnectionAccepted(NetSocket&, std::shared_ptr<NetSocket> socket) {
    size_t total = 0;
    for (const auto& sender : senders_)
        total += sender->load();
    if (total >= maxClients_ || !socket->isConnected()) {
        refused(); // closed as it goes out of scope: the client sees an orderly end at once
        return;
    }
    UniqueFd fd(socket->takeNativeSocket());
    policy_.apply(fd.get());
    // The sender with the fewest clients takes it.
    const auto least = std::min_element(senders_.begin(), senders_.end(),
                                        [](const auto& a, const auto& b) { return a->load() < b->load(); });
    (*least)->adopt(std::move(fd), nextClient_++);
}

void TCPServer::netsocketConnectionRefused(NetSocket&) {
    refused();
}

void TCPServer::netsocketDisconnected(NetSocket&) {
    tellOwner(events_.listenerLost);
}

// Said once: a crowd of clients over the ceiling is one fact, not one message each.
void TCPServer::refused() {
    if (!refusalTold_.exchange(true))
        tellOwner(events_.clientsRefused);
}

void TCPServer::tellOwner(const std::function<void()>& event) {
    if (!owner_ || !event)
        return;
    std::shared_ptr<std::atomic<bool>> live = live_;
    owner_->post([live, event] {
        if (*live) // nothing after stop()
            event();
    });
}
