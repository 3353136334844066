// TCPConnectionModel: the shared instance, the server side and the NetSocket events.

#include "net/TCPConnectionModel.h"

#include <algorithm>
#include <climits>
#include <sys/resource.h>

namespace {

// Room for the console's own files and ports beside its clients.
size_t clientCeiling() {
    rlimit limit{};
    rlim_t open = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        open = limit.rlim_cur;
    return std::clamp<size_t>(open > 64 ? static_cast<size_t>(open - 64) : 8, 8, 4096);
}

} // namespace

TCPConnectionModel& TCPConnectionModel::tcpConnection() {
    static TCPConnectionModel* const shared = new TCPConnectionModel;
    return *shared;
}

TCPConnectionModel::TCPConnectionModel() = default;

TCPConnectionModel::~TCPConnectionModel() {
    serverDelegate_ = nullptr;
    clientDelegate_ = nullptr;
    closeServerConnection();
    closeClientConnection(false);
}

bool TCPConnectionModel::createServerConnection(TCPServerDelegate* delegate,
                                                const std::optional<std::string>& portText,
                                                const std::string& bindAddress) {
    if (serverNetSocket_ || !portText)
        return false;
    {
        std::lock_guard lock(clientsMutex_);
        clientSocketsArray_.clear();
    }
    std::shared_ptr<NetSocket> server = NetSocket::netsocket();
    if (!server || !server->listenOnPort(portFromText(*portText), NetSocket::kDefaultBacklog, bindAddress))
        return false;
    NetSocket::ignoreBrokenPipes();
    server->setDelegate(this);
    serverNetSocket_ = std::move(server);
    serverDelegate_ = delegate;
    maxClients_ = clientCeiling();
    {
        std::lock_guard lock(clientsMutex_);
        serverLoop_ = RunLoop::current();
    }
    serverListening_ = true;
    return true;
}

void TCPConnectionModel::closeServerConnection() {
    if (serverNetSocket_) {
        std::vector<std::shared_ptr<NetSocket>> clients;
        {
            std::lock_guard lock(clientsMutex_);
            clients.swap(clientSocketsArray_);
            serverLoop_.reset();
        }
        serverListening_ = false;
        for (const auto& client : clients)
            client->close();
        std::shared_ptr<NetSocket> server = std::move(serverNetSocket_);
        server->close();
        if (TCPServerDelegate* delegate = serverDelegate_)
            delegate->serverSocketDisconnected();
    }
    serverDelegate_ = nullptr;
}

unsigned TCPConnectionModel::clientsConnected() const {
    std::lock_guard lock(clientsMutex_);
    return static_cast<unsigned>(std::count_if(clientSocketsArray_.begin(), clientSocketsArray_.end(),
                                               [](const auto& client) { return client->isConnected(); }));
}

uint16_t TCPConnectionModel::serverPort() const {
    return serverNetSocket_ && serverNetSocket_->isListening() ? serverNetSocket_->localPort() : 0;
}

bool TCPConnectionModel::writeNMEASentence(const uint8_t* line, size_t length) {
    if (line == nullptr || length == 0)
        return false;
    bool sent = false;
    std::shared_ptr<RunLoop> loop;
    {
        std::lock_guard lock(clientsMutex_);
        if (clientSocketsArray_.empty())
            return false;
        // Each write copies the line, sends what the socket takes at once and leaves the rest
        // for the server's thread: no client can hold up the caller or the others.
        for (const auto& client : clientSocketsArray_) {
            if (client->isConnected()) {
                client->write(line, length);
                sent = true;
            }
        }
        loop = serverLoop_;
    }
    if (loop && serverDelegate_.load()) {
        std::weak_ptr<char> alive = alive_;
        loop->post([this, alive, copy = Bytes(line, line + length)] {
            if (alive.expired())
                return;
            if (TCPServerDelegate* delegate = serverDelegate_)
                delegate->writeNMEASentence(copy);
        });
    }
    return sent;
}

void TCPConnectionModel::notifyUpdateConnections() {
    if (TCPServerDelegate* delegate = serverDelegate_)
        delegate->updateConnections();
}

void TCPConnectionModel::netsocketConnectionAccepted(NetSocket& listener, std::shared_ptr<NetSocket> socket) {
    if (&listener != serverNetSocket_.get() || !socket->isConnected())
        return;
    std::shared_ptr<RunLoop> loop;
    {
        std::lock_guard lock(clientsMutex_);
        if (clientSocketsArray_.size() >= maxClients_)
            return; // turned away: closed as it goes out of scope
        loop = serverLoop_;
    }
    socket->setDelegate(this);
    socket->setOutgoingLimit(kClientOutgoingLimit);
    socket->setLowDelay();
    // Scheduled for its write events and to see at once when the client leaves.
    if (!socket->scheduleOnRunLoop(loop))
        return;
    {
        std::lock_guard lock(clientsMutex_);
        clientSocketsArray_.push_back(std::move(socket));
    }
    notifyUpdateConnections();
}

void TCPConnectionModel::netsocketDisconnected(NetSocket& socket) {
    if (&socket == clientNetSocket_.get()) {
        closeClientConnection(true);
        return;
    }
    if (&socket == serverNetSocket_.get()) {
        closeServerConnection();
        return;
    }
    std::shared_ptr<NetSocket> departed; // released after the lock, on this thread
    {
        std::lock_guard lock(clientsMutex_);
        auto it = std::find_if(clientSocketsArray_.begin(), clientSocketsArray_.end(),
                               [&](const auto& client) { return client.get() == &socket; });
        if (it == clientSocketsArray_.end())
            return;
        departed = std::move(*it);
        clientSocketsArray_.erase(it);
    }
    notifyUpdateConnections();
}

void TCPConnectionModel::netsocketDataAvailable(NetSocket& socket, size_t total) {
    if (&socket == clientNetSocket_.get()) {
        if (total > 0)
            receiveLines(socket);
        return;
    }
    // What a server client says is not wanted; reading it only shows when the client leaves.
    socket.readData();
}

void TCPConnectionModel::netsocketConnected(NetSocket& socket) {
    if (&socket == clientNetSocket_.get()) {
        if (clientDelegate_)
            clientDelegate_->clientSocketConnected();
    } else if (&socket == serverNetSocket_.get()) {
        if (TCPServerDelegate* delegate = serverDelegate_)
            delegate->serverSocketConnected();
    }
}

void TCPConnectionModel::netsocketConnectionTimedOut(NetSocket& socket, double) {
    if (&socket == serverNetSocket_.get()) {
        if (TCPServerDelegate* delegate = serverDelegate_)
            delegate->serverSocketTimedOut();
    } else if (&socket == clientNetSocket_.get()) {
        if (clientDelegate_)
            clientDelegate_->clientSocketTimedOut();
        closeClientConnection(false);
    }
}

void TCPConnectionModel::setServerTransmit(bool gps, bool instruments, bool ais) {
    serverTransmitGPS_ = gps;
    serverTransmitInstruments_ = instruments;
    serverTransmitAIS_ = ais;
}

long TCPConnectionModel::indexOf(const Bytes* bytes, uint8_t value) {
    if (!bytes)
        return -1;
    const auto it = std::find(bytes->begin(), bytes->end(), value);
    return it == bytes->end() ? -1 : static_cast<long>(it - bytes->begin());
}

uint16_t TCPConnectionModel::portFromText(const std::string& text) {
    // The leading integer, as a text's integer value reads it: spaces, a sign, digits; saturated.
    size_t i = text.find_first_not_of(" \t\n");
    if (i == std::string::npos)
        return 0;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-')
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<long long>(value * 10 + (text[i] - '0'), 1LL + INT_MAX);
    value = negative ? std::max<long long>(-value, INT_MIN) : std::min<long long>(value, INT_MAX);
    return static_cast<uint16_t>(static_cast<uint32_t>(static_cast<int32_t>(value)) & 0xFFFFu);
}
