// TCPConnectionModel: the shared instance, the server side, the client connection's events.
#include "net/TCPConnectionModel.h"

#include "net/LineSplitter.h"

#include <algorithm>
#include <arpa/inet.h>
#include <climits>
#include <cstdio>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

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
    return createServerConnection(delegate, portText, std::vector<std::string>{bindAddress});
}

void TCPConnectionModel::setClientLineHandler(ClientLineHandler handler) {
    auto next = handler ? std::make_shared<const ClientLineHandler>(std::move(handler)) : nullptr;
    std::lock_guard lock(serverMutex_);
    clientLines_ = std::move(next);
}

bool TCPConnectionModel::createServerConnection(TCPServerDelegate* delegate,
                                                const std::optional<std::string>& portText,
                                                const std::vector<std::string>& bindAddresses) {
    if (server_ || !portText)
        return false;
    std::shared_ptr<RunLoop> owner = RunLoop::current();
    std::weak_ptr<char> alive = alive_;
    TCPServer::Events events;
    events.clientsChanged = [this, alive] {
        if (TCPServerDelegate* d = alive.expired() ? nullptr : serverDelegate_.load())
            d->updateConnections();
    };
    events.clientsRefused = [this, alive] {
        if (TCPServerDelegate* d = alive.expired() ? nullptr : serverDelegate_.load())
            d->serverRefusedClients();
    };
    events.listenerLost = [this, alive] {
        if (!alive.expired())
            closeServerConnection();
    };
    events.clientLine = [this, alive](uint64_t client, const Bytes& line) {
        std::shared_ptr<const ClientLineHandler> handler;
        if (!alive.expired()) {
            std::lock_guard lock(serverMutex_);
            handler = clientLines_;
        }
        if (handler)
            (*handler)(client, line);
    };
    NetSocket::ignoreBrokenPipes();
    std::shared_ptr<TCPServer> server = TCPServer::start(
        portFromText(*portText), bindAddresses, clientCeiling(), senderCount(), owner, std::move(events));
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

// ---- the client connection (TCP or UDP), its lines, and this machine's names -----------------

namespace {

// One byte per character: the low 8 bits of each character of the UTF-8 text.
Bytes characterBytes(const std::string& text) {
    Bytes bytes;
    bytes.reserve(text.size() + 5);
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<uint8_t>(text[i]);
        const size_t length = (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
        bool whole = i + length <= text.size();
        for (size_t k = 1; whole && k < length; ++k)
            whole = (static_cast<uint8_t>(text[i + k]) & 0xC0) == 0x80;
        if (length == 1 || !whole) {
            bytes.push_back(c); // not a sequence: the byte as it is
            ++i;
            continue;
        }
        uint32_t code = c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k)
            code = (code << 6) | (static_cast<uint8_t>(text[i + k]) & 0x3F);
        bytes.push_back(static_cast<uint8_t>(code & 0xFF));
        i += length;
    }
    return bytes;
}

} // namespace

bool TCPConnectionModel::createClientConnection(TCPClientDelegate* delegate,
                                                const std::optional<std::string>& host,
                                                const std::optional<std::string>& portText) {
    if (clientNetSocket_ || !host || !portText)
        return false;
    std::shared_ptr<NetSocket> socket = NetSocket::netsocket();
    if (!socket)
        return false;
    NetSocket::ignoreBrokenPipes();
    if (!socket->connectToHost(*host, portFromText(*portText), tcpTimeout_)) {
        socket->close();
        return false;
    }
    socket->setDelegate(this);
    clientNetSocket_ = std::move(socket);
    clientDelegate_ = delegate;
    clientPending_.clear();
    return true;
}

bool TCPConnectionModel::createClientUDPConnection(TCPClientDelegate* delegate,
                                                   const std::optional<std::string>& portText) {
    if (clientNetSocket_ || !portText)
        return false;
    std::shared_ptr<NetSocket> socket = NetSocket::netsocketWithUDPPort(portFromText(*portText), udpTimeout_);
    if (!socket)
        return false;
    NetSocket::ignoreBrokenPipes();
    socket->setDelegate(this);
    clientNetSocket_ = std::move(socket);
    clientDelegate_ = delegate;
    clientPending_.clear();
    return true;
}

void TCPConnectionModel::closeClientConnection(bool notify) {
    TCPClientDelegate* const delegate = clientDelegate_;
    clientDelegate_ = nullptr;
    if (clientNetSocket_) {
        std::shared_ptr<NetSocket> socket = std::move(clientNetSocket_);
        socket->close();
        clientPending_.clear();
        if (notify && delegate)
            delegate->clientSocketDisconnected();
    }
}

void TCPConnectionModel::setClientTimeouts(double tcpSeconds, double udpSeconds) {
    tcpTimeout_ = tcpSeconds;
    udpTimeout_ = udpSeconds;
}

void TCPConnectionModel::receiveLines(NetSocket& socket) {
    socket.readOntoData(clientPending_);
    // The delegate may close the connection while it takes a line: work on a moved-out copy.
    Bytes pending = std::move(clientPending_);
    clientPending_.clear();
    const LineSplitter::Result result = LineSplitter::split(
        pending,
        [&](const Bytes& line) {
            readNMEASentence(line);
            return clientNetSocket_.get() == &socket;
        },
        clientClock_);
    if (clientNetSocket_.get() != &socket)
        return;
    clientPending_ = std::move(pending);
    if (result == LineSplitter::Result::Overflow)
        readNMEASentenceOverflow();
}

void TCPConnectionModel::readNMEASentence(const Bytes& line) {
    if (clientDelegate_)
        clientDelegate_->readNMEASentence(line);
}

void TCPConnectionModel::readNMEASentenceOverflow() {
    if (clientDelegate_)
        clientDelegate_->readNMEASentenceOverflow();
}

bool TCPConnectionModel::writeData(const Bytes& bytes) {
    if (!clientNetSocket_ || bytes.empty() || !clientNetSocket_->isConnected())
        return false;
    clientNetSocket_->writeData(bytes);
    return true;
}

bool TCPConnectionModel::writeString(const std::string& text) {
    return !text.empty() && writeData(Bytes(text.begin(), text.end()));
}

bool TCPConnectionModel::writeNMEASentence(const std::string& sentence, bool addChecksum, bool toServer) {
    Bytes buffer = characterBytes(sentence);
    uint8_t checksum = 0;
    for (size_t i = 1; i < buffer.size(); ++i)
        checksum ^= buffer[i];
    if (addChecksum && indexOf(&buffer, '*') < 0) {
        char tail[4];
        std::snprintf(tail, sizeof tail, "*%02X", checksum);
        buffer.insert(buffer.end(), tail, tail + 3);
    }
    buffer.push_back('\r');
    buffer.push_back('\n');
    if (toServer)
        return writeNMEASentence(buffer);
    if (!writeData(buffer))
        return false;
    if (clientDelegate_)
        clientDelegate_->writeNMEASentence(buffer);
    return true;
}

bool TCPConnectionModel::hasOutgoingData() const {
    return clientNetSocket_ && clientNetSocket_->outgoingBufferLength() > 0;
}

std::string TCPConnectionModel::clientLocalHost() const {
    if (!clientConnected())
        return {};
    return clientNetSocket_->localHost().value_or("");
}

uint16_t TCPConnectionModel::clientLocalPort() const {
    return clientNetSocket_ ? clientNetSocket_->localPort() : 0;
}

std::string TCPConnectionModel::hostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

std::string TCPConnectionModel::serverHost(const std::vector<std::string>& addresses) {
    for (const std::string& address : addresses) {
        const size_t dot = address.find('.');
        // The whole loopback network, not only 127.0.0.1: a host name may map to 127.0.1.1.
        if (dot >= 1 && dot <= 3 && address.compare(0, 4, "127.") != 0)
            return address;
    }
    return {};
}

std::string TCPConnectionModel::serverHost() {
    // The interfaces themselves: the host name's entry may name only a loopback address.
    std::vector<std::string> addresses;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return {};
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET && (i->ifa_flags & IFF_UP))
            addresses.push_back(NetSocket::stringWithSocketAddress(
                reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr));
    }
    ::freeifaddrs(list);
    return serverHost(addresses);
}
