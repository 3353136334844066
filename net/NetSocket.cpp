// NetSocket: creation, scheduling, connecting, listening, accepting, the events, sending and
// receiving, the options and the address queries.

#include "net/NetSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr size_t kReadChunk = 64 * 1024; // per read event, so one busy peer cannot hog the loop

bool transient(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

bool resolve(const std::string& host, in_addr* out) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return false;
    *out = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

// The address to bind a socket of fd's family to: the text (a numeric address, an IPv6 one with
// its "%interface" scope) or, empty, every local address. An IPv6 socket bound to "::" serves IPv4
// clients too; bound to one address, only that one.
bool bindableAddress(int fd, const std::string& text, uint16_t port, sockaddr_storage* out,
                     socklen_t* length) {
    sockaddr_storage own{};
    socklen_t ownLength = sizeof own;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&own), &ownLength) != 0)
        return false;
    const int family = own.ss_family;
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(text.empty() ? nullptr : text.c_str(), service.c_str(), &hints, &found) != 0 || !found)
        return false;
    std::memcpy(out, found->ai_addr, found->ai_addrlen);
    *length = found->ai_addrlen;
    ::freeaddrinfo(found);
    if (family == AF_INET6) {
        const int only = text.empty() || text == "::" ? 0 : 1;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
    }
    return true;
}

template <typename Init>
std::shared_ptr<NetSocket> scheduledSocket(Init init) {
    auto socket = std::make_shared<NetSocket>();
    if (!init(*socket) || !socket->scheduleOnCurrentRunLoop())
        return nullptr;
    return socket;
}

} // namespace

std::shared_ptr<NetSocket> NetSocket::netsocket() {
    return scheduledSocket([](NetSocket& s) { return s.open(); });
}

std::shared_ptr<NetSocket> NetSocket::netsocketConnectedToHost(const std::string& host, uint16_t port) {
    auto socket = netsocket();
    if (!socket || !socket->connectToHost(host, port))
        return nullptr;
    return socket;
}

std::shared_ptr<NetSocket> NetSocket::netsocketListeningOnPort(uint16_t port) {
    auto socket = netsocket();
    if (!socket || !socket->listenOnPort(port))
        return nullptr;
    return socket;
}

std::shared_ptr<NetSocket> NetSocket::netsocketListeningOnRandomPort() {
    return netsocketListeningOnPort(0);
}

std::shared_ptr<NetSocket> NetSocket::netsocketWithUDPPort(uint16_t port, double timeout) {
    auto socket = scheduledSocket([port](NetSocket& s) { return s.createForUDP(port); });
    if (socket && timeout > 0)
        socket->scheduleConnectionTimeoutTimer(timeout);
    return socket;
}

std::shared_ptr<NetSocket> NetSocket::withNativeSocket(int fd) {
    auto socket = std::make_shared<NetSocket>();
    if (!socket->createForNative(fd))
        return nullptr;
    socket->sender_.setConnected(true);
    return socket;
}

void NetSocket::ignoreBrokenPipes() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
}

NetSocket::NetSocket() = default;

NetSocket::~NetSocket() {
    delegate_ = nullptr; // no event reaches the delegate during teardown
    close();
}

bool NetSocket::createForNative(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0 || ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    sender_.attach(fd);
    return true;
}

bool NetSocket::createForUDP(uint16_t port) {
    if (fd_ >= 0)
        return false;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return false;
    }
    udp_ = true;
    fd_ = fd;
    sender_.attach(fd);
    return true;
}

bool NetSocket::open(int family) {
    if (fd_ < 0) {
        const int fd = ::socket(family, SOCK_STREAM, 0);
        if (fd >= 0)
            createForNative(fd);
    }
    return fd_ >= 0;
}

void NetSocket::close() {
    connectionTimer_.reset();
    acceptPause_.reset();
    source_.reset();
    if (reserve_ >= 0)
        ::close(reserve_);
    reserve_ = -1;
    sender_.detach(); // no writer reaches the descriptor from here on
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    loop_.reset();
    listening_ = connecting_ = udp_ = false;
}

bool NetSocket::scheduleOnRunLoop(const std::shared_ptr<RunLoop>& loop) {
    if (fd_ < 0 || source_ || !loop)
        return false;
    std::weak_ptr<NetSocket> weak = weak_from_this();
    source_ = loop->addSource(fd_, [weak](bool readable, bool writable) {
        if (auto self = weak.lock()) // kept alive while its delegate runs
            self->onEvent(readable, writable);
    });
    // An idle TCP socket reports a hang-up: read only once there is something to read from.
    source_->setReadEnabled(connecting_ || isConnected() || listening_ || udp_);
    loop_ = loop;
    sender_.setLoop(loop);
    source_->setWriteEnabled(connecting_ || sender_.watching());
    return true;
}

bool NetSocket::scheduleOnCurrentRunLoop() {
    return scheduleOnRunLoop(RunLoop::current());
}

void NetSocket::unscheduleFromRunLoop() {
    source_.reset();
    loop_.reset();
    sender_.setLoop(nullptr);
}

bool NetSocket::connectToHost(const std::string& host, uint16_t port, double timeout) {
    if (fd_ < 0 || udp_ || isConnected() || listening_ || connecting_)
        return false;
    sockaddr_in address{};
    if (!resolve(host, &address.sin_addr))
        return false;
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS)
        return false;
    connecting_ = true; // the outcome, even an immediate one, arrives as an event
    if (source_) {
        source_->setReadEnabled(true);
        source_->setWriteEnabled(true);
    }
    if (timeout > 0)
        scheduleConnectionTimeoutTimer(timeout);
    incoming_.clear();
    return true;
}

bool NetSocket::listenOnPort(uint16_t port, int backlog, const std::string& bindAddress) {
    if (fd_ < 0 || udp_ || isConnected() || listening_ || connecting_)
        return false;
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!bindableAddress(fd_, bindAddress, port, &address, &length)) {
        errno = EINVAL;
        return false;
    }
    const int yes = 1;
    if (::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), length) != 0 || ::listen(fd_, backlog) != 0)
        return false;
    listening_ = true;
    reserve_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC); // see refuseOverCeiling()
    if (source_)
        source_->setReadEnabled(true);
    return true;
}

void NetSocket::onEvent(bool readable, bool writable) {
    if (connecting_) {
        finishConnect();
        return; // data that came with the connection is read on the next event
    }
    if (listening_) {
        if (readable)
            socketAcceptConnections();
        return;
    }
    if (writable)
        socketWriteData();
    if (readable && fd_ >= 0) {
        if (udp_ && !isConnected())
            connectedEvent(); // the first datagram is the connection
        if (fd_ >= 0)
            socketReadData();
    }
}

void NetSocket::finishConnect() {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    connecting_ = false;
    if (error != 0) {
        disconnectedEvent(); // refused or unreachable: never reported as connected
        return;
    }
    connectedEvent();
}

void NetSocket::connectedEvent() {
    connectionTimer_.reset();
    sender_.setConnected(true);
    if (source_) {
        source_->setReadEnabled(true);
        source_->setWriteEnabled(sender_.watching());
    }
    if (delegate_)
        delegate_->netsocketConnected(*this);
    if (fd_ >= 0)
        socketWriteData();
}

void NetSocket::disconnectedEvent() {
    close();
    if (delegate_)
        delegate_->netsocketDisconnected(*this);
}

void NetSocket::scheduleConnectionTimeoutTimer(double seconds) {
    std::shared_ptr<RunLoop> loop = loop_ ? loop_ : RunLoop::current();
    if (!loop)
        return;
    std::weak_ptr<NetSocket> weak = weak_from_this();
    connectionTimer_ = loop->addTimer(seconds, [weak, seconds] {
        if (auto self = weak.lock())
            self->socketConnectionTimedOut(seconds);
    });
}

void NetSocket::socketConnectionTimedOut(double seconds) {
    connectionTimer_.reset();
    if (delegate_)
        delegate_->netsocketConnectionTimedOut(*this, seconds);
}

int NetSocket::takeNativeSocket() {
    sender_.detach();
    const int fd = std::exchange(fd_, -1);
    close();
    return fd;
}

void NetSocket::socketAcceptConnections() {
    if (reserve_ < 0) // lost to a want of descriptors before: taken back once there is room
        reserve_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    while (listening_) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd =
            ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            const bool full = errno == EMFILE || errno == ENFILE;
            if (full && refuseOverCeiling())
                continue;
            if (full || errno == ENOBUFS || errno == ENOMEM)
                pauseAccepting(); // the pending connection would wake us again at once
            return;
        }
        std::shared_ptr<NetSocket> accepted = withNativeSocket(fd);
        if (accepted && delegate_)
            delegate_->netsocketConnectionAccepted(*this, std::move(accepted));
    }
}

// Out of descriptors: the spare one makes room to take the waiting client and close it, so it
// hears at once that it was turned away instead of waiting in the queue.
bool NetSocket::refuseOverCeiling() {
    if (reserve_ < 0)
        return false;
    ::close(reserve_);
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
    reserve_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (delegate_)
        delegate_->netsocketConnectionRefused(*this);
    return reserve_ >= 0;
}

void NetSocket::pauseAccepting() {
    if (!source_ || !loop_)
        return;
    source_->setReadEnabled(false);
    std::weak_ptr<NetSocket> weak = weak_from_this();
    acceptPause_ = loop_->addTimer(0.1, [weak] {
        auto self = weak.lock();
        if (self && self->listening_ && self->source_)
            self->source_->setReadEnabled(true);
    });
}

void NetSocket::setOutgoingLimit(size_t bytes) {
    sender_.setLimit(bytes);
}

void NetSocket::write(const void* bytes, size_t length) {
    switch (sender_.write(bytes, length)) {
    case SocketSender::Outcome::Sent:
        if (delegate_) {
            const std::shared_ptr<RunLoop> loop = sender_.loop();
            if (!loop || loop->isLoopThread())
                delegate_->netsocketDataSent(*this);
        }
        break;
    case SocketSender::Outcome::WatchForRoom:
        watchForRoom();
        break;
    case SocketSender::Outcome::Fail:
        postFailure();
        break;
    default:
        break;
    }
}

// Any thread: the write event is the owning thread's to enable.
void NetSocket::watchForRoom() {
    const std::shared_ptr<RunLoop> loop = sender_.loop();
    if (!loop)
        return;
    if (loop->isLoopThread()) {
        if (source_)
            source_->setWriteEnabled(true);
        return;
    }
    std::weak_ptr<NetSocket> weak = weak_from_this();
    loop->post([weak] {
        auto self = weak.lock();
        if (self && self->source_ && self->sender_.watching())
            self->source_->setWriteEnabled(true);
    });
}

// Any thread. Closing and telling the delegate happen on the owning thread, never inside a
// writer's loop over its peers. An unscheduled socket keeps its descriptor until its owner
// closes it.
void NetSocket::postFailure() {
    const std::shared_ptr<RunLoop> loop = sender_.loop();
    if (!loop)
        return;
    std::weak_ptr<NetSocket> weak = weak_from_this();
    loop->post([weak] {
        auto self = weak.lock();
        if (self && self->fd_ >= 0 && self->sender_.failing())
            self->disconnectedEvent();
    });
}

void NetSocket::socketWriteData() {
    const SocketSender::Outcome outcome = sender_.drain();
    if (source_)
        source_->setWriteEnabled(outcome == SocketSender::Outcome::Waiting);
    if (outcome == SocketSender::Outcome::Fail)
        postFailure();
    else if (outcome == SocketSender::Outcome::Sent && delegate_)
        delegate_->netsocketDataSent(*this);
}

void NetSocket::socketReadData() {
    int readable = 0;
    if (::ioctl(fd_, FIONREAD, &readable) != 0) {
        if (errno == EINVAL)
            return;
        readable = 0;
    }
    // One read takes what is there, at least one byte (or one whole datagram).
    const size_t want = udp_ ? kReadChunk : std::clamp<size_t>(static_cast<size_t>(readable), 1, kReadChunk);
    uint8_t chunk[kReadChunk];
    const ssize_t got = ::recv(fd_, chunk, want, 0);
    if (got > 0) {
        incoming_.append(chunk, static_cast<size_t>(got));
        if (delegate_)
            delegate_->netsocketDataAvailable(*this, incoming_.size());
        return;
    }
    if (udp_ ? (got < 0 && !transient(errno) && errno != ECONNREFUSED) // an empty datagram is no close
             : (got == 0 || !transient(errno)))
        disconnectedEvent();
}

bool NetSocket::isUDP() const {
    int type = 0;
    socklen_t length = sizeof type;
    return fd_ >= 0 && ::getsockopt(fd_, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_DGRAM;
}

void NetSocket::setNoDelay() {
    if (fd_ < 0)
        return;
    const int yes = 1, size = 1024;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
}

bool NetSocket::writeString(std::string_view text, Encoding encoding) {
    const std::optional<Bytes> bytes = encodeText(text, encoding);
    if (!bytes || !isConnected())
        return false;
    writeData(*bytes);
    return true;
}

void NetSocket::setLowDelay() {
    const int yes = 1;
    if (fd_ >= 0)
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
}

namespace {

// The socket's own or its peer's address, IPv4 or IPv6; an IPv4 peer of an IPv6 socket
// (::ffff:a.b.c.d) as the IPv4 address it is.
template <typename Query>
std::optional<std::pair<std::string, uint16_t>> socketAddress(int fd, Query query) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (fd < 0 || query(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return std::nullopt;
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        return std::pair{NetSocket::stringWithSocketAddress(v4.sin_addr), ntohs(v4.sin_port)};
    }
    if (address.ss_family != AF_INET6)
        return std::nullopt;
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
        in_addr v4{};
        std::memcpy(&v4, v6.sin6_addr.s6_addr + 12, sizeof v4);
        return std::pair{NetSocket::stringWithSocketAddress(v4), ntohs(v6.sin6_port)};
    }
    char text[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    return std::pair{std::string(text), ntohs(v6.sin6_port)};
}

} // namespace

std::optional<std::string> NetSocket::localHost() const {
    const auto a = socketAddress(fd_, ::getsockname);
    return a ? std::optional(a->first) : std::nullopt;
}

std::optional<std::string> NetSocket::remoteHost() const {
    const auto a = socketAddress(fd_, ::getpeername);
    return a ? std::optional(a->first) : std::nullopt;
}

uint16_t NetSocket::localPort() const {
    const auto a = socketAddress(fd_, ::getsockname);
    return a ? a->second : 0;
}

uint16_t NetSocket::remotePort() const {
    const auto a = socketAddress(fd_, ::getpeername);
    return a ? a->second : 0;
}

std::string NetSocket::stringWithSocketAddress(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

bool NetSocket::addressFromString(const std::string& text, sockaddr_in* address) {
    if (text.empty() || !address)
        return false;
    *address = sockaddr_in{};
    address->sin_family = AF_INET;
    return ::inet_aton(text.c_str(), &address->sin_addr) != 0;
}
