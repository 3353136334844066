#include "net/FanoutSender.h"

#include "net/LineSplitter.h"

#include <algorithm>
#include <cerrno>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace {

constexpr auto kAgeCheckEvery = std::chrono::seconds(1);

bool transient(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

} // namespace

FanoutSender::FanoutSender(const ClientPolicy& policy, std::function<void()> changed, LineHandler line)
    : policy_(policy), changed_(std::move(changed)), line_(std::move(line)),
      // Arrival times matter up to the age bound; twice that leaves room for a late check.
      log_(policy.maxBytes, 2 * policy.maxAge) {
    std::promise<void> ready;
    thread_ = std::thread([this, &ready] { run(ready); });
    ready.get_future().wait();
}

FanoutSender::~FanoutSender() {
    stop();
}

void FanoutSender::stop() {
    if (!thread_.joinable())
        return;
    stopping_ = true;
    loop_->post([] {}); // wakes the loop to see the flag
    thread_.join();
}

void FanoutSender::run(std::promise<void>& ready) {
    loop_ = std::make_shared<EpollRunLoop>();
    scheduleAgeCheck();
    ready.set_value();
    while (!stopping_)
        loop_->runOnce(std::chrono::milliseconds(500));
    loop_->runOnce(std::chrono::milliseconds(0)); // clients handed over meanwhile are closed too
    // The sources belong to this loop: they go on this thread.
    gatherTimer_.reset();
    ageTimer_.reset();
    clients_.clear();
    served_ = 0;
}

void FanoutSender::broadcast(const uint8_t* bytes, size_t count) {
    if (load() == 0)
        return;
    {
        std::lock_guard lock(batchMutex_);
        if (batch_.size() + count > policy_.maxBytes) {
            overrun_ = true; // this thread has not run for that long: nobody could get these
            batch_.clear();
        }
        batch_.insert(batch_.end(), bytes, bytes + count);
        if (flushPosted_)
            return; // the posted flush takes these too
        flushPosted_ = true;
    }
    loop_->post([this] { flush(); });
}

void FanoutSender::adopt(UniqueFd fd, uint64_t id) {
    ++adopting_;
    loop_->post([this, raw = fd.release(), id] {
        auto client = std::make_unique<Client>();
        client->fd.reset(raw);
        client->id = id;
        client->position = log_.head(); // it gets what arrives from now on
        int size = 0;
        socklen_t length = sizeof size;
        if (::getsockopt(raw, SOL_SOCKET, SO_SNDBUF, &size, &length) == 0)
            client->systemBuffer = static_cast<size_t>(size);
        Client* const c = client.get();
        client->source = loop_->addSource(
            raw, [this, c](bool readable, bool writable) { onEvent(*c, readable, writable); });
        clients_.push_back(std::move(client));
        served_ = clients_.size();
        --adopting_;
        if (changed_)
            changed_();
    });
}

void FanoutSender::takeBatch() {
    bool overrun = false;
    {
        std::lock_guard lock(batchMutex_);
        taken_.swap(batch_); // both keep their storage
        flushPosted_ = false;
        overrun = std::exchange(overrun_, false);
    }
    if (overrun) { // bytes were lost before this batch: every client would get a broken stream
        walking_ = true;
        for (const auto& client : clients_)
            drop(*client);
        walking_ = false;
        sweep();
    }
    log_.append(taken_.data(), taken_.size(), policy_.now());
    taken_.clear();
}

void FanoutSender::flush() {
    if (gatherTimer_)
        return; // the gathering timer flushes
    const auto gather = std::min<Clock::duration>(
        policy_.gatherAtMost, policy_.gatherPerClient * static_cast<int64_t>(clients_.size()));
    const auto since = Clock::now() - lastFlush_;
    if (since < gather) {
        gatherTimer_ = loop_->addTimer(std::chrono::duration<double>(gather - since).count(), [this] {
            gatherTimer_.reset();
            flush();
        });
        return;
    }
    lastFlush_ = Clock::now();
    takeBatch();
    walking_ = true;
    for (const auto& client : clients_) {
        if (!client->waiting && !client->gone)
            send(*client);
        if (client->waiting && !client->gone && overBytes(*client))
            drop(*client);
    }
    walking_ = false;
    sweep();
    if (policy_.now() - lastAgeCheck_ >= kAgeCheckEvery)
        checkAges();
}

// All the client lacks, in one write; a short write leaves the rest for its write event.
void FanoutSender::send(Client& client) {
    if (client.position < log_.tail()) {
        drop(client); // its bytes are gone: it could only get a broken stream
        return;
    }
    if (client.position == log_.head())
        return;
    msghdr message{};
    iovec pieces[2];
    message.msg_iov = pieces;
    message.msg_iovlen = static_cast<size_t>(log_.pieces(client.position, pieces));
    const ssize_t sent = ::sendmsg(client.fd.get(), &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && !transient(errno)) {
        drop(client);
        return;
    }
    client.position += static_cast<uint64_t>(std::max<ssize_t>(sent, 0));
    const bool waiting = client.position < log_.head();
    if (waiting != client.waiting) {
        client.waiting = waiting;
        client.source->setWriteEnabled(waiting);
    }
}

void FanoutSender::onEvent(Client& client, bool readable, bool writable) {
    walking_ = true; // the client stays whole until this returns
    if (writable)
        send(client);
    if (readable && !client.gone) {
        // Reading shows when it leaves; what it says is handed on when wanted.
        const ssize_t got = ::recv(client.fd.get(), heard_, sizeof heard_, MSG_DONTWAIT);
        if (got > 0 && line_)
            hear(client, heard_, static_cast<size_t>(got));
        else if (got == 0 && !client.ended) { // it sends no more but may still read, until it resets
            client.ended = true;
            client.source->setReadEnabled(false);
        } else if (got == 0 || (got < 0 && !transient(errno))) {
            drop(client); // the end a second time: the connection is closed both ways
        }
    }
    walking_ = false;
    sweep();
}

void FanoutSender::hear(Client& client, const uint8_t* bytes, size_t count) {
    client.said.insert(client.said.end(), bytes, bytes + count);
    if (LineSplitter::split(client.said, [&](const Bytes& line) {
            line_(client.id, line);
            return true;
        }) == LineSplitter::Result::Overflow)
        line_(client.id, Bytes{});
}

// What waits for the client: the log's bytes it lacks and those its socket has not delivered.
// The system's share is asked only when it could make the difference.
bool FanoutSender::overBytes(const Client& client) const {
    const auto lacking = static_cast<size_t>(log_.head() - client.position);
    if (lacking + client.systemBuffer <= policy_.maxBytes)
        return false;
    int unsent = 0;
    ::ioctl(client.fd.get(), SIOCOUTQ, &unsent);
    return lacking + static_cast<size_t>(std::max(unsent, 0)) > policy_.maxBytes;
}

// A client whose oldest undelivered byte arrived longer ago than the age bound is dropped,
// whether that byte waits in the log or in its socket.
void FanoutSender::checkAges() {
    const auto now = policy_.now();
    lastAgeCheck_ = now;
    walking_ = true;
    for (const auto& client : clients_) {
        int unsent = 0;
        if (client->gone || ::ioctl(client->fd.get(), SIOCOUTQ, &unsent) != 0)
            continue;
        const uint64_t oldest = client->position - std::min<uint64_t>(client->position, std::max(unsent, 0));
        if (oldest >= log_.head())
            continue; // nothing waits for it
        const auto arrived = log_.arrival(oldest);
        if (arrived == Clock::time_point::min() || now - arrived > policy_.maxAge)
            drop(*client);
    }
    walking_ = false;
    sweep();
}

void FanoutSender::scheduleAgeCheck() {
    ageTimer_ = loop_->addTimer(std::chrono::duration<double>(kAgeCheckEvery).count(), [this] {
        if (policy_.now() - lastAgeCheck_ >= kAgeCheckEvery)
            checkAges();
        scheduleAgeCheck();
    });
}

void FanoutSender::drop(Client& client) {
    // Whatever still waits in its socket goes with it, at once, not after minutes of probing.
    const linger now{1, 0};
    ::setsockopt(client.fd.get(), SOL_SOCKET, SO_LINGER, &now, sizeof now);
    client.gone = true;
    client.source.reset();
    client.fd.reset();
    if (!walking_)
        sweep();
}

void FanoutSender::sweep() {
    const size_t before = clients_.size();
    std::erase_if(clients_, [](const auto& client) { return client->gone; });
    if (clients_.size() == before)
        return;
    served_ = clients_.size();
    if (changed_)
        changed_();
}
