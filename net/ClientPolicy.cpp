#include "net/ClientPolicy.h"

#include <algorithm>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

ClientPolicy::Clock::duration ClientPolicy::deadPeerBound() const {
    const auto silent = std::chrono::seconds(keepIdle + keepInterval * keepCount);
    return std::max<Clock::duration>(silent, userTimeout);
}

bool ClientPolicy::apply(int fd) const {
    const int yes = 1;
    const auto timeout = static_cast<unsigned>(userTimeout.count());
    auto set = [fd](int level, int name, const auto& value) {
        return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
    };
    // Every option is tried; one refused leaves the others in force.
    bool ok = set(IPPROTO_TCP, TCP_NODELAY, yes);
    ok &= set(SOL_SOCKET, SO_SNDBUF, sendBuffer);
    ok &= set(SOL_SOCKET, SO_KEEPALIVE, yes);
    ok &= set(IPPROTO_TCP, TCP_KEEPIDLE, keepIdle);
    ok &= set(IPPROTO_TCP, TCP_KEEPINTVL, keepInterval);
    ok &= set(IPPROTO_TCP, TCP_KEEPCNT, keepCount);
    ok &= set(IPPROTO_TCP, TCP_USER_TIMEOUT, timeout);
    return ok;
}
