#include "mux/Requests.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

Requests::Requests() : wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
}

Requests::~Requests() = default;

template <class Edit>
void Requests::post(Request kind, Edit edit) {
    gathered_.emplace_back(std::move(edit));
    gatheredBits_.fetch_or(uint32_t(kind));
}

void Requests::publish() {
    if (gathered_.empty())
        return;
    {
        std::lock_guard guard(lock_);
        for (const auto& edit : gathered_)
            edit(work_);
        bits_.fetch_or(gatheredBits_.exchange(0));
        signal(); // with the work, under the lock: a take() never leaves this wake-up behind
    }
    gathered_.clear();
}

void Requests::openPort(std::optional<std::string> port, std::optional<std::string> rate, bool await) {
    post(Request::OpenPort, [port, rate, await](ReaderWork& w) {
        w.open = true;
        w.await = await;
        w.port = port;
        w.rate = rate;
    });
}

void Requests::configuration(const Configuration& configuration, MuxFamily family) {
    post(Request::Configuration, [configuration, family](ReaderWork& w) {
        w.device.configuration = configuration;
        w.device.family = family;
    });
}

void Requests::speeds(const Speeds& speeds) {
    post(Request::Speeds, [speeds](ReaderWork& w) { w.device.speeds = speeds; });
}

void Requests::talkerIDs(const TalkerIDs& ids) {
    post(Request::TalkerIDs, [ids](ReaderWork& w) { w.device.talkerIDs = ids; });
}

void Requests::filter(const Filter& entry) {
    post(Request::Filter, [entry](ReaderWork& w) {
        auto& edits = w.device.filters;
        auto same = std::find_if(edits.begin(), edits.end(),
                                 [&](const Filter& f) { return f.sentence() == entry.sentence(); });
        if (same != edits.end())
            *same = entry;
        else
            edits.push_back(entry);
    });
}

void Requests::clearFilters() {
    post(Request::ClearFilters, [](ReaderWork& w) {
        w.device.clearFilters = true;
        w.device.filters.clear();
    });
}

void Requests::capture(std::vector<Filter> entries) {
    post(Request::Capture, [entries = std::move(entries)](ReaderWork& w) { w.device.captured = entries; });
}

ReaderWork Requests::take() {
    // Drained with the work it announces: drained before, a wake-up that came meanwhile would stay
    // behind the work taken here, and every wait of the reader's would end at once.
    std::lock_guard guard(lock_);
    drain();
    ReaderWork taken = std::move(work_);
    work_ = {};
    bits_.store(0);
    return taken;
}

void Requests::interrupt() {
    signal();
}

void Requests::wait(std::chrono::milliseconds timeout) {
    if (published() != 0)
        return;
    pollfd p{wake_.get(), POLLIN, 0};
    const int n = ::poll(&p, 1, int(std::max<long long>(timeout.count(), 0)));
    if (n <= 0)
        return;
    std::lock_guard guard(lock_);
    if (published() == 0)
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
