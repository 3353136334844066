#pragma once
// A socket bound to a port of 127.0.0.1, kept for the test: a port let go could be taken meanwhile
// by a test running beside it.

#include "base/UniqueFd.h"

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>

namespace testing_support {

struct LoopbackPort {
    UniqueFd fd;
    uint16_t port = 0; // 0: the system refused
};

// `type` is SOCK_STREAM or SOCK_DGRAM; `port` 0 is one of the system's choice.
inline LoopbackPort bindLoopback(int type, uint16_t port = 0) {
    LoopbackPort bound{UniqueFd(::socket(AF_INET, type | SOCK_CLOEXEC, 0)), 0};
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    if (::bind(bound.fd.get(), reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        ::getsockname(bound.fd.get(), reinterpret_cast<sockaddr*>(&at), &length) != 0)
        return {};
    bound.port = ntohs(at.sin_port);
    return bound;
}

} // namespace testing_support
