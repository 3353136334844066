// NetSocket: creation, scheduling, connecting, listening, accepting and the event routing.

#include "net/NetSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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
    socket->connected_ = true;
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
    std::lock_guard lock(mutex_);
    fd_ = fd;
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
    std::lock_guard lock(mutex_);
    fd_ = fd;
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
    {
        std::lock_guard lock(mutex_);
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        connected_ = false;
        outgoing_.release();
        writeArmed_ = false;
        failurePosted_ = false;
        loop_.reset();
    }
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
    source_->setReadEnabled(connecting_ || connected_ || listening_ || udp_);
    std::lock_guard lock(mutex_);
    loop_ = loop;
    source_->setWriteEnabled(connecting_ || writeArmed_);
    return true;
}

bool NetSocket::scheduleOnCurrentRunLoop() {
    return scheduleOnRunLoop(RunLoop::current());
}

void NetSocket::unscheduleFromRunLoop() {
    source_.reset();
    std::lock_guard lock(mutex_);
    loop_.reset();
}

bool NetSocket::connectToHost(const std::string& host, uint16_t port, double timeout) {
    if (fd_ < 0 || udp_ || connected_ || listening_ || connecting_)
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
    if (fd_ < 0 || udp_ || connected_ || listening_ || connecting_)
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
        if (udp_ && !connected_)
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
    connected_ = true;
    if (source_) {
        source_->setReadEnabled(true);
        std::lock_guard lock(mutex_);
        source_->setWriteEnabled(writeArmed_);
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

void NetSocket::socketAcceptConnections() {
    while (listening_) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd =
            ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                pauseAccepting(); // the pending connection would wake us again at once
            return;
        }
        std::shared_ptr<NetSocket> accepted = withNativeSocket(fd);
        if (accepted && delegate_)
            delegate_->netsocketConnectionAccepted(*this, std::move(accepted));
    }
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
