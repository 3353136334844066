#include "mux/Requests.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

Requests::Requests() : wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
}

Requests::~Requests() = default;

void Requests::post(Request request) {
    bits_.fetch_or(uint32_t(request));
    signal();
}

uint32_t Requests::take() {
    drain(); // first: a post that comes after still wakes the next wait
    return bits_.exchange(0);
}

void Requests::interrupt() {
    signal();
}

void Requests::wait(std::chrono::milliseconds timeout) {
    if (pending() != 0)
        return;
    pollfd p{wake_.get(), POLLIN, 0};
    const int n = ::poll(&p, 1, int(std::max<long long>(timeout.count(), 0)));
    if (n > 0 && pending() == 0)
        drain(); // an interrupt: consumed, so the next wait waits again
}

void Requests::signal() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_.get(), &one, sizeof one);
}

void Requests::drain() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(wake_.get(), &count, sizeof count);
}
