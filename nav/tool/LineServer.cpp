#include "nav/tool/LineServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

LineServer::~LineServer() {
    for (const Client& c : clients_)
        ::close(c.fd);
    if (listener_ >= 0)
        ::close(listener_);
}

bool LineServer::listen(const std::string& address, uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
        error_ = "\"" + address + "\" is not an IPv4 address";
        return false;
    }
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener_ < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    const int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener_, 16) != 0) {
        error_ = std::strerror(errno);
        return false;
    }
    socklen_t length = sizeof addr;
    if (::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
        port_ = ntohs(addr.sin_port);
    return true;
}

void LineServer::wait(std::chrono::milliseconds timeout) {
    std::vector<pollfd> fds;
    fds.push_back({listener_, POLLIN, 0});
    for (const Client& c : clients_)
        fds.push_back({c.fd, static_cast<short>(POLLIN | (c.pending.empty() ? 0 : POLLOUT)), 0});
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(timeout.count()));
    if (ready <= 0)
        return; // time-out, or a signal for the caller to look at
    // Clients first, from the back, so indices stay valid while dropping.
    for (size_t i = fds.size() - 1; i >= 1; --i) {
        const short events = fds[i].revents;
        if (events == 0)
            continue;
        Client& client = clients_[i - 1];
        bool gone = (events & (POLLERR | POLLNVAL)) != 0;
        if (!gone && (events & (POLLIN | POLLHUP))) {
            // Whatever a client says is not wanted; reading tells us when it has left.
            char discard[512];
            const ssize_t got = ::recv(client.fd, discard, sizeof discard, MSG_DONTWAIT);
            gone = got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
        }
        if (!gone && (events & POLLOUT)) {
            flush(client);
            gone = client.fd < 0;
        }
        if (gone)
            drop(i - 1);
    }
    if (fds[0].revents & POLLIN)
        accept();
}

void LineServer::accept() {
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (clients_.size() >= kMaxClients) {
            ::close(fd);
            continue;
        }
        clients_.push_back({fd, {}});
    }
}

void LineServer::broadcast(const std::string& bytes) {
    for (size_t i = clients_.size(); i-- > 0;) {
        Client& client = clients_[i];
        if (client.pending.size() + bytes.size() > kMaxBacklog) {
            drop(i); // too far behind: it would hold memory without bound
            continue;
        }
        client.pending += bytes;
        flush(client);
        if (client.fd < 0)
            drop(i);
    }
}

void LineServer::flush(Client& client) {
    while (!client.pending.empty()) {
        const ssize_t sent =
            ::send(client.fd, client.pending.data(), client.pending.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            client.pending.erase(0, static_cast<size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        ::close(client.fd); // the peer has gone
        client.fd = -1;
        return;
    }
}

void LineServer::drop(size_t index) {
    if (clients_[index].fd >= 0)
        ::close(clients_[index].fd);
    clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(index));
}
