#include "net/TCPServer.h"

#include "net/LineSplitter.h"

#include <algorithm>
#include <cerrno>
#include <unordered_map>

// One sending thread: its loop, its clients and the batch of lines waiting for them. The first
// sender also serves the listening socket.
class TCPServer::Sender : private NetSocketDelegate {
public:
    explicit Sender(TCPServer* server) : server_(server) {
        std::promise<void> ready;
        thread_ = std::thread([this, &ready] { run(ready); });
        ready.get_future().wait();
    }
    ~Sender() override { stop(); }

    void stop() {
        if (!thread_.joinable())
            return;
        stopping_ = true;
        loop_->post([] {}); // wakes the loop to see the flag
        thread_.join();
    }
    void broadcast(const uint8_t* line, size_t length) {
        if (load() == 0)
            return;
        {
            std::lock_guard lock(batchMutex_);
            batch_.insert(batch_.end(), line, line + length);
            if (flushPosted_)
                return;
            flushPosted_ = true;
        }
        loop_->post([this] { flush(); });
    }
    // Serves the listening socket from this sender's thread. Called once every sender is in the
    // server's list, which accepting reads.
    void listen(std::shared_ptr<NetSocket> listener) {
        loop_->post([this, listener] {
            listeners_.push_back(listener);
            listener->setDelegate(this);
            listener->scheduleOnRunLoop(loop_);
        });
    }
    // Any thread: the client is served from this sender's thread.
    void adopt(std::shared_ptr<NetSocket> socket) {
        pending_++;
        loop_->post([this, socket, id = server_->nextClient_++] {
            socket->setDelegate(this);
            if (socket->scheduleOnRunLoop(loop_)) {
                served_.push_back(socket);
                if (server_->events_.clientLine)
                    said_[socket.get()].client = id;
            }
            recount();
            pending_--;
            server_->tellOwner(server_->events_.clientsChanged);
        });
    }
    size_t load() const { return servedCount_.load() + pending_.load(); }
    unsigned connected() const { return connected_.load(); }
    const std::shared_ptr<PollRunLoop>& loop() const { return loop_; }

private:
    void run(std::promise<void>& ready) {
        loop_ = std::make_shared<PollRunLoop>();
        ready.set_value();
        while (!stopping_)
            loop_->runOnce(std::chrono::milliseconds(500));
        // The sockets' sources belong to this loop: they go on this thread.
        for (const auto& client : served_)
            client->close();
        served_.clear();
        for (const auto& listener : listeners_)
            listener->close();
        connected_ = 0;
    }
    void flush() {
        Bytes batch;
        {
            std::lock_guard lock(batchMutex_);
            batch.swap(batch_);
            flushPosted_ = false;
        }
        // One write a client: what its socket does not take at once waits in its outgoing
        // buffer, up to the limit, and goes out on its write events.
        for (const auto& client : served_)
            if (client->isConnected())
                client->write(batch.data(), batch.size());
        recount();
    }
    void recount() {
        unsigned n = 0;
        for (const auto& client : served_)
            n += client->isConnected() ? 1 : 0;
        connected_ = n;
        servedCount_ = served_.size();
    }
    void netsocketConnectionAccepted(NetSocket&, std::shared_ptr<NetSocket> socket) override {
        server_->accepted(std::move(socket));
    }
    void netsocketDisconnected(NetSocket& socket) override {
        if (std::any_of(listeners_.begin(), listeners_.end(),
                        [&](const auto& l) { return l.get() == &socket; })) {
            server_->tellOwner(server_->events_.listenerLost);
            return;
        }
        said_.erase(&socket);
        const auto it = std::find_if(served_.begin(), served_.end(),
                                     [&](const auto& client) { return client.get() == &socket; });
        if (it == served_.end())
            return;
        served_.erase(it); // the socket itself lives on until its event returns
        recount();
        server_->tellOwner(server_->events_.clientsChanged);
    }
    void netsocketDataAvailable(NetSocket& socket, size_t) override {
        const auto said = said_.find(&socket);
        if (said == said_.end()) {
            socket.readData(); // what a client says is not wanted; reading shows when it leaves
            return;
        }
        Said& s = said->second;
        socket.readOntoData(s.pending);
        const auto& handOn = server_->events_.clientLine;
        if (LineSplitter::split(s.pending, [&](const Bytes& line) {
                handOn(s.client, line);
                return true;
            }) == LineSplitter::Result::Overflow)
            handOn(s.client, Bytes{});
    }

    // What a client sent that is not yet a whole line.
    struct Said {
        uint64_t client = 0;
        Bytes pending;
    };

    TCPServer* server_;
    std::vector<std::shared_ptr<NetSocket>> listeners_;
    std::unordered_map<const NetSocket*, Said> said_; // clients whose lines are wanted
    std::shared_ptr<PollRunLoop> loop_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::vector<std::shared_ptr<NetSocket>> served_; // this thread's
    std::atomic<size_t> servedCount_{0};
    std::atomic<size_t> pending_{0}; // handed over, not yet served
    std::atomic<unsigned> connected_{0};
    std::mutex batchMutex_;
    Bytes batch_;
    bool flushPosted_ = false;
};

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
    if (!socket->listenOnPort(port, NetSocket::kDefaultBacklog, address)) {
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
                                            Events events) {
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
    server->owner_ = std::move(owner);
    server->events_ = std::move(events);
    for (size_t i = 0; i < std::max<size_t>(senders, 1); ++i)
        server->senders_.push_back(std::make_unique<Sender>(server.get()));
    for (auto& l : listeners)
        server->senders_.front()->listen(std::move(l));
    return server;
}

TCPServer::~TCPServer() {
    stop();
}

void TCPServer::stop() {
    *live_ = false;
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

void TCPServer::accepted(std::shared_ptr<NetSocket> socket) {
    size_t total = 0;
    for (const auto& sender : senders_)
        total += sender->load();
    if (total >= maxClients_ || !socket->isConnected())
        return; // turned away: closed as it goes out of scope
    socket->setOutgoingLimit(kClientOutgoingLimit);
    socket->setLowDelay();
    // The sender with the fewest clients takes it.
    const auto least = std::min_element(senders_.begin(), senders_.end(),
                                        [](const auto& a, const auto& b) { return a->load() < b->load(); });
    (*least)->adopt(std::move(socket));
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
