#include "net/UDPSender.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

// The sockets of one set of destinations, one per address family, closed with it.
struct UDPSender::State {
    std::vector<Target> targets;
    int v4 = -1, v6 = -1;
    Fault fault;
    ~State() {
        for (int fd : {v4, v6})
            if (fd >= 0)
                ::close(fd);
    }
};

UDPSender::~UDPSender() {
    stop();
}

std::optional<UDPSender::Destination> UDPSender::parseDestination(const std::string& text, std::string* why) {
    std::string host, port;
    const size_t colon = text.rfind(':');
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos || close + 1 != colon) {
            *why = "\"" + text + "\" is not [ADDRESS]:PORT";
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
    } else if (colon != std::string::npos && text.find(':') == colon) {
        host = text.substr(0, colon);
    } else {
        *why = "\"" + text + "\" is not HOST:PORT";
        return std::nullopt;
    }
    port = text.substr(colon + 1);
    char* end = nullptr;
    const unsigned long number = port.empty() ? 0 : std::strtoul(port.c_str(), &end, 10);
    if (port.empty() || *end != '\0' || number == 0 || number > 65535 || host.empty()) {
        *why = "\"" + text + "\" needs a host and a port from 1 to 65535";
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (const int error = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); error != 0 || !found) {
        *why = "\"" + host + "\": " + ::gai_strerror(error);
        return std::nullopt;
    }
    Destination d;
    d.text = text;
    std::memcpy(&d.address, found->ai_addr, found->ai_addrlen);
    d.length = found->ai_addrlen;
    ::freeaddrinfo(found);
    return d;
}

std::vector<std::string> UDPSender::splitList(const std::string& text) {
    std::vector<std::string> items;
    std::string item;
    for (char c : text + ",") {
        if (c == ',' || c == ' ' || c == '\t' || c == '\n') {
            if (!item.empty())
                items.push_back(item);
            item.clear();
        } else {
            item += c;
        }
    }
    return items;
}

bool UDPSender::start(const std::vector<std::string>& destinations, std::string* why, Fault fault) {
    if (destinations.empty()) {
        *why = "no destination";
        return false;
    }
    auto next = std::make_shared<State>();
    next->fault = std::move(fault);
    for (const std::string& text : destinations) {
        auto d = parseDestination(text, why);
        if (!d)
            return false;
        const bool v6 = d->address.ss_family == AF_INET6;
        int& fd = v6 ? next->v6 : next->v4;
        if (fd < 0) {
            fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0) {
                *why = text + ": " + std::strerror(errno);
                return false;
            }
            const int yes = 1; // a broadcast address is refused without it
            if (!v6)
                ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &yes, sizeof yes);
        }
        next->targets.push_back({std::move(*d), fd, false});
    }
    std::lock_guard lock(mutex_);
    state_ = std::move(next);
    return true;
}

void UDPSender::stop() {
    std::shared_ptr<State> gone;
    std::lock_guard lock(mutex_);
    gone.swap(state_); // a send under way keeps its copy until it returns
}

std::shared_ptr<UDPSender::State> UDPSender::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

bool UDPSender::running() const {
    return state() != nullptr;
}

std::vector<std::string> UDPSender::destinations() const {
    std::vector<std::string> texts;
    if (const auto s = state())
        for (const Target& t : s->targets)
            texts.push_back(t.to.text);
    return texts;
}

void UDPSender::send(const uint8_t* line, size_t length) {
    const std::shared_ptr<State> s = state();
    if (!s || length == 0)
        return;
    if (length > kMaxDatagram) {
        dropped_ += s->targets.size();
        return;
    }
    for (Target& t : s->targets) {
        const ssize_t n = ::sendto(t.fd, line, length, MSG_NOSIGNAL,
                                   reinterpret_cast<const sockaddr*>(&t.to.address), t.to.length);
        if (n == static_cast<ssize_t>(length)) {
            ++sent_;
            t.failing = false;
            continue;
        }
        const int error = n < 0 ? errno : EMSGSIZE;
        ++dropped_;
        if (!t.failing && error != EAGAIN && error != EWOULDBLOCK && error != ENOBUFS) {
            t.failing = true; // a full queue is the network's loss; anything else is said
            if (s->fault)
                s->fault(t.to.text, error);
        }
    }
}
