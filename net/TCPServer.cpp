#include "net/TCPServer.h"

#include <algorithm>
#include <cerrno>

std::unique_ptr<TCPServer> TCPServer::start(uint16_t port, const std::string& bindAddress, size_t maxClients,
                                            size_t senders, std::shared_ptr<RunLoop> owner, Events events,
                                            const ClientPolicy& policy) {
    auto listener = std::make_shared<NetSocket>();
    if (!listener->open() || !listener->listenOnPort(port, kListenBacklog, bindAddress)) {
        const int error = errno;
        listener->close();
        errno = error;
        return nullptr;
    }
    std::unique_ptr<TCPServer> server(new TCPServer);
    server->port_ = listener->localPort();
    server->maxClients_ = maxClients;
    server->policy_ = policy;
    server->owner_ = std::move(owner);
    server->events_ = std::move(events);
    TCPServer* const s = server.get();
    for (size_t i = 0; i < std::max<size_t>(senders, 1); ++i)
        server->senders_.push_back(
            std::make_unique<FanoutSender>(policy, [s] { s->tellOwner(s->events_.clientsChanged); }));
    server->listener_ = std::move(listener);
    // Accepting reads the list of senders, now complete.
    FanoutSender& first = *server->senders_.front();
    first.post([s, &first] {
        s->listener_->setDelegate(s);
        s->listener_->scheduleOnRunLoop(first.loop());
    });
    return server;
}

TCPServer::~TCPServer() {
    stop();
}

void TCPServer::stop() {
    *live_ = false;
    if (listener_ && !senders_.empty()) {
        std::promise<void> closed; // the listener's source belongs to the first sender's thread
        senders_.front()->post([this, &closed] {
            listener_->close();
            closed.set_value();
        });
        closed.get_future().wait();
        listener_.reset();
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
    (*least)->adopt(std::move(fd));
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
