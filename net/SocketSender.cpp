#include "net/SocketSender.h"

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <utility>

namespace {

bool transient(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

} // namespace

void SocketSender::attach(int fd) {
    std::lock_guard lock(mutex_);
    fd_ = fd;
}

void SocketSender::detach() {
    std::lock_guard lock(mutex_);
    fd_ = -1;
    connected_ = false;
    waiting_.release();
    watching_ = failing_ = false;
    loop_.reset();
}

void SocketSender::setLoop(std::shared_ptr<RunLoop> loop) {
    std::lock_guard lock(mutex_);
    loop_ = std::move(loop);
}

std::shared_ptr<RunLoop> SocketSender::loop() const {
    std::lock_guard lock(mutex_);
    return loop_;
}

size_t SocketSender::waiting() const {
    std::lock_guard lock(mutex_);
    return waiting_.size();
}

bool SocketSender::watching() const {
    std::lock_guard lock(mutex_);
    return watching_;
}

bool SocketSender::failing() const {
    std::lock_guard lock(mutex_);
    return failing_;
}

void SocketSender::setLimit(size_t bytes) {
    std::lock_guard lock(mutex_);
    limit_ = bytes;
}

SocketSender::Outcome SocketSender::write(const void* bytes, size_t length) {
    if (length == 0 || bytes == nullptr)
        return Outcome::Dropped;
    std::lock_guard lock(mutex_);
    if (!connected_ || fd_ < 0)
        return Outcome::Dropped;
    if (waiting_.size() + length > limit_)
        return fail(); // a peer this far behind has stopped reading
    const bool wasEmpty = waiting_.empty();
    waiting_.append(static_cast<const uint8_t*>(bytes), length);
    // With bytes already waiting, the socket watches for room and sends them in order.
    if (!wasEmpty && loop_)
        return Outcome::Waiting;
    const Outcome outcome = sendWaiting();
    if (outcome != Outcome::Waiting || watching_ || !loop_)
        return outcome;
    watching_ = true;
    return Outcome::WatchForRoom;
}

SocketSender::Outcome SocketSender::drain() {
    std::lock_guard lock(mutex_);
    if (fd_ < 0 || !connected_ || waiting_.empty()) {
        watching_ = false;
        return Outcome::Dropped;
    }
    const Outcome outcome = sendWaiting();
    watching_ = outcome == Outcome::Waiting;
    return outcome;
}

// Under the lock: as much as the system takes, in one call.
SocketSender::Outcome SocketSender::sendWaiting() {
    const ssize_t sent = ::send(fd_, waiting_.data(), waiting_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && !transient(errno))
        return fail();
    waiting_.consume(static_cast<size_t>(std::max<ssize_t>(sent, 0)));
    return waiting_.empty() ? Outcome::Sent : Outcome::Waiting;
}

// Under the lock: nothing more is sent, and the connected count drops now.
SocketSender::Outcome SocketSender::fail() {
    connected_ = false;
    waiting_.release();
    watching_ = false;
    return std::exchange(failing_, true) ? Outcome::Dropped : Outcome::Fail;
}
