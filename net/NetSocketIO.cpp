// NetSocket: the byte buffers (reading, writing from any thread) and the address queries.

#include "net/NetSocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t kReadChunk = 64 * 1024; // per read event, so one busy peer cannot hog the loop

bool transient(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

bool validUtf8(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n;) {
        const uint8_t c = p[i];
        const size_t length = c < 0x80           ? 1
                              : (c >> 5) == 0x6  ? 2
                              : (c >> 4) == 0xE  ? 3
                              : (c >> 3) == 0x1E ? 4
                                                 : 0;
        if (length == 0 || i + length > n)
            return false;
        uint32_t code = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (p[i + k] & 0x3F);
        }
        static constexpr uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::optional<std::string> decode(const uint8_t* p, size_t n, NetSocket::Encoding encoding) {
    switch (encoding) {
    case NetSocket::Encoding::ASCII:
        if (std::any_of(p, p + n, [](uint8_t c) { return c >= 0x80; }))
            return std::nullopt;
        break;
    case NetSocket::Encoding::UTF8:
        if (!validUtf8(p, n))
            return std::nullopt;
        break;
    case NetSocket::Encoding::Latin1: {
        std::string text;
        for (size_t i = 0; i < n; ++i) {
            if (p[i] < 0x80) {
                text += static_cast<char>(p[i]);
            } else {
                text += static_cast<char>(0xC0 | (p[i] >> 6));
                text += static_cast<char>(0x80 | (p[i] & 0x3F));
            }
        }
        return text;
    }
    }
    return std::string(reinterpret_cast<const char*>(p), n);
}

// The UTF-8 text's characters in the encoding; nothing when the text is not UTF-8 or holds a
// character the encoding lacks.
std::optional<Bytes> encode(std::string_view text, NetSocket::Encoding encoding) {
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    if (!validUtf8(p, text.size()))
        return std::nullopt;
    if (encoding == NetSocket::Encoding::UTF8)
        return Bytes(p, p + text.size());
    const uint8_t highest = encoding == NetSocket::Encoding::ASCII ? 0x7F : 0xFF;
    Bytes bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t code = p[i];
        if (code >= 0x80) { // a valid sequence: two bytes encode up to 0x7FF, more go beyond 0xFF
            if ((code >> 5) != 0x6)
                return std::nullopt;
            code = ((code & 0x1F) << 6) | (p[++i] & 0x3F);
        }
        if (code > highest)
            return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(code));
    }
    return bytes;
}

} // namespace

bool NetSocket::writeString(std::string_view text, Encoding encoding) {
    const std::optional<Bytes> bytes = encode(text, encoding);
    if (!bytes || !isConnected())
        return false;
    writeData(*bytes);
    return true;
}

void NetSocket::setOutgoingLimit(size_t bytes) {
    std::lock_guard lock(mutex_);
    outgoingLimit_ = bytes;
}

size_t NetSocket::outgoingBufferLength() const {
    std::lock_guard lock(mutex_);
    return outgoing_.size();
}

void NetSocket::write(const void* bytes, size_t length) {
    if (length == 0 || bytes == nullptr)
        return;
    std::unique_lock lock(mutex_);
    if (!connected_ || fd_ < 0)
        return;
    if (outgoing_.size() + length > outgoingLimit_) {
        socketFailed(lock); // a peer this far behind has stopped reading
        return;
    }
    const bool wasEmpty = outgoing_.empty();
    outgoing_.append(static_cast<const uint8_t*>(bytes), length);
    // With bytes already waiting, the write event is armed and sends them in order.
    if (!wasEmpty && loop_)
        return;
    ssize_t sent = ::send(fd_, outgoing_.data(), outgoing_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && !transient(errno)) {
        socketFailed(lock);
        return;
    }
    outgoing_.consume(static_cast<size_t>(std::max<ssize_t>(sent, 0)));
    if (!outgoing_.empty()) {
        armWrite(lock);
        return;
    }
    const bool tell = delegate_ && (!loop_ || loop_->isLoopThread());
    lock.unlock();
    if (tell)
        delegate_->netsocketDataSent(*this);
}

void NetSocket::armWrite(std::unique_lock<std::mutex>& lock) {
    if (writeArmed_ || !loop_)
        return;
    writeArmed_ = true;
    if (loop_->isLoopThread()) {
        if (source_)
            source_->setWriteEnabled(true);
        return;
    }
    std::weak_ptr<NetSocket> weak = weak_from_this();
    std::shared_ptr<RunLoop> loop = loop_;
    lock.unlock();
    loop->post([weak] {
        auto self = weak.lock();
        if (!self)
            return;
        std::lock_guard relock(self->mutex_);
        if (self->writeArmed_ && self->source_)
            self->source_->setWriteEnabled(true);
    });
}

void NetSocket::socketFailed(std::unique_lock<std::mutex>& lock) {
    connected_ = false; // nothing more is sent; the count of connected peers drops now
    outgoing_.release();
    writeArmed_ = false;
    if (failurePosted_)
        return;
    failurePosted_ = true;
    std::weak_ptr<NetSocket> weak = weak_from_this();
    std::shared_ptr<RunLoop> loop = loop_;
    lock.unlock();
    // Closing and telling the delegate happen on the owning thread, never inside a writer's
    // loop over its peers. An unscheduled socket keeps its descriptor until its owner closes it.
    if (loop)
        loop->post([weak] {
            auto self = weak.lock();
            if (!self)
                return;
            std::unique_lock relock(self->mutex_);
            const bool still = self->failurePosted_ && self->fd_ >= 0;
            relock.unlock();
            if (still)
                self->disconnectedEvent();
        });
}

void NetSocket::socketWriteData() {
    std::unique_lock lock(mutex_);
    if (fd_ < 0 || !connected_ || outgoing_.empty()) {
        writeArmed_ = false;
        if (source_)
            source_->setWriteEnabled(false);
        return;
    }
    const ssize_t sent = ::send(fd_, outgoing_.data(), outgoing_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && !transient(errno)) {
        if (source_)
            source_->setWriteEnabled(false);
        socketFailed(lock);
        return;
    }
    outgoing_.consume(static_cast<size_t>(std::max<ssize_t>(sent, 0)));
    writeArmed_ = !outgoing_.empty();
    if (source_)
        source_->setWriteEnabled(writeArmed_);
    if (writeArmed_)
        return;
    lock.unlock();
    if (delegate_)
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
        incoming_.insert(incoming_.end(), chunk, chunk + got);
        if (delegate_)
            delegate_->netsocketDataAvailable(*this, incoming_.size());
        return;
    }
    if (udp_ ? (got < 0 && !transient(errno) && errno != ECONNREFUSED) // an empty datagram is no close
             : (got == 0 || !transient(errno)))
        disconnectedEvent();
}

size_t NetSocket::read(void* out, size_t amount) {
    const size_t n = std::min(amount, incoming_.size());
    if (n > 0)
        std::memcpy(out, incoming_.data(), n);
    incoming_.erase(incoming_.begin(), incoming_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

size_t NetSocket::readOntoData(Bytes& data, size_t amount) {
    const size_t n = std::min(amount, incoming_.size());
    data.insert(data.end(), incoming_.begin(), incoming_.begin() + static_cast<std::ptrdiff_t>(n));
    incoming_.erase(incoming_.begin(), incoming_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

std::optional<Bytes> NetSocket::readData(size_t amount) {
    if (incoming_.empty())
        return std::nullopt;
    Bytes data;
    readOntoData(data, amount);
    return data;
}

std::optional<std::string> NetSocket::readString(Encoding encoding, size_t amount) {
    const size_t n = std::min(amount, incoming_.size());
    if (n == 0)
        return std::nullopt;
    std::optional<std::string> text = decode(incoming_.data(), n, encoding);
    if (text)
        incoming_.erase(incoming_.begin(), incoming_.begin() + static_cast<std::ptrdiff_t>(n));
    return text;
}

size_t NetSocket::readOntoString(std::string& text, Encoding encoding, size_t amount) {
    const size_t n = std::min(amount, incoming_.size());
    std::optional<std::string> decoded = n ? readString(encoding, n) : std::nullopt;
    if (!decoded)
        return 0;
    text += *decoded;
    return n;
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
