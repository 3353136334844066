// TCPConnectionModel: the shared instance, the server side, the client connection's events.

#include "net/TCPConnectionModel.h"

#include <algorithm>
#include <climits>
#include <sys/resource.h>
#include <thread>

namespace {

// Room for the console's own files and ports beside its clients.
size_t clientCeiling() {
    rlimit limit{};
    rlim_t open = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        open = limit.rlim_cur;
    return std::clamp<size_t>(open > 64 ? static_cast<size_t>(open - 64) : 8, 8, 4096);
}

// One sending thread a core, up to four: a line reaches many clients in parallel.
size_t senderCount() {
    return std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 4);
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
    if (server_ || !portText)
        return false;
    std::shared_ptr<RunLoop> owner = RunLoop::current();
    std::weak_ptr<char> alive = alive_;
    TCPServer::Events events;
    events.clientsChanged = [this, alive] {
        if (TCPServerDelegate* d = alive.expired() ? nullptr : serverDelegate_.load())
            d->updateConnections();
    };
    events.listenerLost = [this, alive] {
        if (!alive.expired())
            closeServerConnection();
    };
    NetSocket::ignoreBrokenPipes();
    std::shared_ptr<TCPServer> server = TCPServer::start(
        portFromText(*portText), bindAddress, clientCeiling(), senderCount(), owner, std::move(events));
    if (!server)
        return false;
    serverDelegate_ = delegate;
    {
        std::lock_guard lock(serverMutex_);
        server_ = std::move(server);
        serverOwner_ = std::move(owner);
    }
    serverListening_ = true;
    return true;
}

void TCPConnectionModel::closeServerConnection() {
    std::shared_ptr<TCPServer> server;
    {
        std::lock_guard lock(serverMutex_);
        server = std::move(server_);
        serverOwner_.reset();
    }
    if (server) {
        serverListening_ = false;
        server->stop(); // every client and the listener closed
        if (TCPServerDelegate* delegate = serverDelegate_)
            delegate->serverSocketDisconnected();
    }
    serverDelegate_ = nullptr;
}

std::shared_ptr<TCPServer> TCPConnectionModel::currentServer(std::shared_ptr<RunLoop>* owner) const {
    std::lock_guard lock(serverMutex_);
    if (owner)
        *owner = serverOwner_;
    return server_;
}

unsigned TCPConnectionModel::clientsConnected() const {
    const std::shared_ptr<TCPServer> server = currentServer();
    return server ? server->clientsConnected() : 0;
}

uint16_t TCPConnectionModel::serverPort() const {
    const std::shared_ptr<TCPServer> server = currentServer();
    return server ? server->port() : 0;
}

bool TCPConnectionModel::writeNMEASentence(const uint8_t* line, size_t length) {
    std::shared_ptr<RunLoop> owner;
    const std::shared_ptr<TCPServer> server = currentServer(&owner);
    if (!server || line == nullptr || length == 0 || server->clientsConnected() == 0)
        return false;
    server->broadcast(line, length); // a copy; the caller may change its buffer at once
    if (TCPServerDelegate* delegate = serverDelegate_.load();
        owner && delegate && delegate->implementsWriteNMEASentence()) {
        std::weak_ptr<char> alive = alive_;
        owner->post([this, alive, copy = Bytes(line, line + length)] {
            if (TCPServerDelegate* delegate = alive.expired() ? nullptr : serverDelegate_.load())
                delegate->writeNMEASentence(copy);
        });
    }
    return true;
}

void TCPConnectionModel::netsocketDisconnected(NetSocket& socket) {
    if (&socket == clientNetSocket_.get())
        closeClientConnection(true);
}

void TCPConnectionModel::netsocketDataAvailable(NetSocket& socket, size_t total) {
    if (&socket == clientNetSocket_.get() && total > 0)
        receiveLines(socket);
}

void TCPConnectionModel::netsocketConnected(NetSocket& socket) {
    if (&socket == clientNetSocket_.get() && clientDelegate_)
        clientDelegate_->clientSocketConnected();
}

void TCPConnectionModel::netsocketConnectionTimedOut(NetSocket& socket, double) {
    if (&socket != clientNetSocket_.get())
        return;
    if (clientDelegate_)
        clientDelegate_->clientSocketTimedOut();
    closeClientConnection(false);
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
