#include "net/TCPServer.h"

#include <algorithm>
#include <cerrno>

std::unique_ptr<TCPServer> TCPServer::start(uint16_t port, const std::string& bindAddress, size_t maxClients,
                                            std::shared_ptr<RunLoop> owner, Events events) {
    auto listener = std::make_shared<NetSocket>();
    if (!listener->open() || !listener->listenOnPort(port, NetSocket::kDefaultBacklog, bindAddress)) {
        const int error = errno;
        listener->close();
        errno = error;
        return nullptr;
    }
    std::unique_ptr<TCPServer> server(new TCPServer);
    server->listener_ = std::move(listener);
    server->port_ = server->listener_->localPort();
    server->maxClients_ = maxClients;
    server->owner_ = std::move(owner);
    server->events_ = std::move(events);
    std::promise<void> ready;
    server->thread_ = std::thread(&TCPServer::run, server.get(), &ready);
    ready.get_future().wait();
    return server;
}

TCPServer::~TCPServer() {
    stop();
}

void TCPServer::stop() {
    *live_ = false;
    if (!thread_.joinable())
        return;
    stopping_ = true;
    loop_->post([] {}); // wakes the loop to see the flag
    thread_.join();
}

void TCPServer::run(std::promise<void>* ready) {
    loop_ = std::make_shared<PollRunLoop>();
    listener_->setDelegate(this);
    listener_->scheduleOnRunLoop(loop_);
    ready->set_value();
    while (!stopping_)
        loop_->runOnce(std::chrono::milliseconds(500));
    // The sockets' sources belong to this loop: they go on this thread.
    for (const auto& client : clients_)
        client->close();
    clients_.clear();
    listener_->close();
    connected_ = 0;
}

void TCPServer::broadcast(const uint8_t* line, size_t length) {
    {
        std::lock_guard lock(batchMutex_);
        batch_.insert(batch_.end(), line, line + length);
        if (flushPosted_)
            return;
        flushPosted_ = true;
    }
    loop_->post([this] { flush(); });
}

void TCPServer::flush() {
    Bytes batch;
    {
        std::lock_guard lock(batchMutex_);
        batch.swap(batch_);
        flushPosted_ = false;
    }
    // One write a client: what its socket does not take at once waits in its outgoing buffer,
    // up to the limit, and goes out on its write events.
    for (const auto& client : clients_)
        if (client->isConnected())
            client->write(batch.data(), batch.size());
    recount();
}

void TCPServer::recount() {
    unsigned n = 0;
    for (const auto& client : clients_)
        n += client->isConnected() ? 1 : 0;
    connected_ = n;
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

void TCPServer::netsocketConnectionAccepted(NetSocket&, std::shared_ptr<NetSocket> socket) {
    if (clients_.size() >= maxClients_ || !socket->isConnected())
        return; // turned away: closed as it goes out of scope
    socket->setDelegate(this);
    socket->setOutgoingLimit(kClientOutgoingLimit);
    socket->setLowDelay();
    // Scheduled for its write events, and to see at once when the client leaves.
    if (!socket->scheduleOnRunLoop(loop_))
        return;
    clients_.push_back(std::move(socket));
    recount();
    tellOwner(events_.clientsChanged);
}

void TCPServer::netsocketDisconnected(NetSocket& socket) {
    if (&socket == listener_.get()) {
        tellOwner(events_.listenerLost);
        return;
    }
    const auto it = std::find_if(clients_.begin(), clients_.end(),
                                 [&](const auto& client) { return client.get() == &socket; });
    if (it == clients_.end())
        return;
    clients_.erase(it); // the socket itself lives on until its event returns
    recount();
    tellOwner(events_.clientsChanged);
}

void TCPServer::netsocketDataAvailable(NetSocket& socket, size_t) {
    // What a client says is not wanted; reading it only shows when the client leaves.
    socket.readData();
}
