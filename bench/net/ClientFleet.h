#pragma once
// Benchmark harness, client side: a fleet of TCP clients on 127.0.0.1 that read a line stream
// on their own threads and tell, per client, how many stamped lines arrived, whether any was
// lost or came out of order, and how long each took from its stamp to the client's socket.
//
// A stamped line is "$PQVXT,<sequence>,<steady-clock nanoseconds>*hh\r\n" (stampedLine()); any
// other line is counted but not timed. Whatever feeds the server (the library directly, or a
// device terminal read by the console) stamps each line just before it enters.

#include "link/NMEA.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bench {

inline int64_t nowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline std::string stampedLine(uint64_t sequence) {
    char body[64];
    std::snprintf(body, sizeof body, "$PQVXT,%llu,%lld", static_cast<unsigned long long>(sequence),
                  static_cast<long long>(nowNanoseconds()));
    return body + NMEA::checkSumTail(body);
}

// The system's memory for TCP, all sockets of the machine together: it pins what waits in them.
inline double tcpKernelMegabytes() {
    std::ifstream sockstat("/proc/net/sockstat");
    for (std::string word; sockstat >> word;)
        if (word == "mem") { // the TCP line's comes first
            long pages = 0;
            sockstat >> pages;
            return static_cast<double>(pages) * static_cast<double>(::sysconf(_SC_PAGESIZE)) /
                   (1024.0 * 1024.0);
        }
    return 0;
}

// Room for many clients and the server's ends of them.
inline void raiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

struct Percentiles {
    double median = 0, p99 = 0, max = 0; // microseconds
};

inline Percentiles percentiles(std::vector<int64_t> nanoseconds) {
    Percentiles p;
    if (nanoseconds.empty())
        return p;
    std::sort(nanoseconds.begin(), nanoseconds.end());
    auto at = [&](double q) {
        return nanoseconds[static_cast<size_t>(q * (nanoseconds.size() - 1))] / 1000.0;
    };
    p.median = at(0.5);
    p.p99 = at(0.99);
    p.max = nanoseconds.back() / 1000.0;
    return p;
}

class ClientFleet {
public:
    struct Client {
        int fd = -1;
        std::string partial;
        uint64_t lines = 0, stamped = 0, lost = 0, reordered = 0;
        int64_t lastSequence = -1;
        bool reading = true; // a stalled client never reads
    };

    // Connects `count` clients (the first `stalled` of them never read) from a thread of its own,
    // so that the server's loop can accept them meanwhile, then reads on `threads` threads.
    // `accepted`, when given, tells how many clients the server has taken so far: connecting
    // then waits for it to keep up, so that no attempt meets a full listening queue.
    ClientFleet(uint16_t port, size_t count, size_t stalled = 0, size_t threads = 1,
                std::function<size_t()> accepted = {}) {
        raiseDescriptorLimit();
        cpuSlots_ = 1 + threads;
        cpu_ = std::make_unique<std::atomic<int64_t>[]>(cpuSlots_);
        for (size_t i = 0; i < count; ++i) {
            auto client = std::make_unique<Client>();
            client->fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            client->reading = i >= stalled;
            if (!client->reading) {
                const int small = 4096;
                ::setsockopt(client->fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
            }
            clients_.push_back(std::move(client));
        }
        connector_ = std::thread([this, port, threads, accepted] {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(port);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            for (size_t i = 0; i < clients_.size(); ++i) {
                for (int wait = 0; accepted && i >= accepted() + 4 && wait < 5000; ++wait)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (::connect(clients_[i]->fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
                    std::fprintf(stderr, "client %zu: %s\n", i, std::strerror(errno));
            }
            for (size_t t = 0; t < threads; ++t)
                threads_.emplace_back([this, t, threads] { run(t, threads); });
            cpu_[0] = threadCpuNanoseconds();
            ready_ = true;
        });
    }
    ~ClientFleet() {
        connector_.join(); // it started the readers
        stop_ = true;
        for (auto& thread : threads_)
            thread.join();
        for (auto& client : clients_)
            ::close(client->fd);
    }
    ClientFleet(const ClientFleet&) = delete;
    ClientFleet& operator=(const ClientFleet&) = delete;

    // Every client has connected and the readers run.
    bool ready() const { return ready_; }
    // Stamped lines that every reading client has received.
    uint64_t deliveredToAll() const {
        std::lock_guard lock(mutex_);
        uint64_t least = UINT64_MAX;
        for (const auto& client : clients_)
            if (client->reading)
                least = std::min(least, client->stamped);
        return least == UINT64_MAX ? 0 : least;
    }
    uint64_t stampedTotal() const { return sum(&Client::stamped); }
    uint64_t lost() const { return sum(&Client::lost); }
    uint64_t reordered() const { return sum(&Client::reordered); }
    Percentiles latency() const {
        std::lock_guard lock(mutex_);
        return percentiles(delays_);
    }
    // CPU time of the fleet's own threads, to tell the server's apart from it.
    double cpuSeconds() const {
        int64_t total = 0;
        for (size_t i = 0; i < cpuSlots_; ++i)
            total += cpu_[i].load();
        return static_cast<double>(total) * 1e-9;
    }
    // Delays are kept unless switched off (a long run would keep a great many).
    void recordDelays(bool on) { recordDelays_ = on; }
    void clearLatency() {
        std::lock_guard lock(mutex_);
        delays_.clear();
    }

private:
    uint64_t sum(uint64_t Client::*field) const {
        std::lock_guard lock(mutex_);
        uint64_t total = 0;
        for (const auto& client : clients_)
            total += (*client).*field;
        return total;
    }

    void run(size_t part, size_t parts) {
        const int poller = ::epoll_create1(EPOLL_CLOEXEC);
        for (size_t i = part; i < clients_.size(); i += parts) {
            if (!clients_[i]->reading)
                continue;
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.ptr = clients_[i].get();
            ::epoll_ctl(poller, EPOLL_CTL_ADD, clients_[i]->fd, &event);
        }
        epoll_event ready[256];
        std::vector<int64_t> delays;
        char chunk[65536];
        while (!stop_) {
            cpu_[1 + part] = threadCpuNanoseconds();
            const int n = ::epoll_wait(poller, ready, 256, 20);
            const int64_t arrived = nowNanoseconds();
            for (int i = 0; i < n; ++i) {
                auto* client = static_cast<Client*>(ready[i].data.ptr);
                const ssize_t got = ::recv(client->fd, chunk, sizeof chunk, MSG_DONTWAIT);
                if (got <= 0) {
                    if (got == 0)
                        ::epoll_ctl(poller, EPOLL_CTL_DEL, client->fd, nullptr);
                    continue;
                }
                std::lock_guard lock(mutex_);
                client->partial.append(chunk, static_cast<size_t>(got));
                take(*client, arrived, delays);
            }
            if (!recordDelays_)
                delays.clear();
            if (!delays.empty()) {
                std::lock_guard lock(mutex_);
                delays_.insert(delays_.end(), delays.begin(), delays.end());
                delays.clear();
            }
        }
        ::close(poller);
    }

    static int64_t threadCpuNanoseconds() {
        timespec t{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
    }

    static void take(Client& client, int64_t arrived, std::vector<int64_t>& delays) {
        size_t start = 0;
        for (size_t end; (end = client.partial.find('\n', start)) != std::string::npos; start = end + 1) {
            ++client.lines;
            unsigned long long sequence = 0;
            long long stamp = 0;
            if (std::sscanf(client.partial.c_str() + start, "$PQVXT,%llu,%lld", &sequence, &stamp) != 2)
                continue;
            ++client.stamped;
            const auto seq = static_cast<int64_t>(sequence);
            if (client.lastSequence >= 0 && seq <= client.lastSequence)
                ++client.reordered;
            else if (client.lastSequence >= 0 && seq > client.lastSequence + 1)
                client.lost += static_cast<uint64_t>(seq - client.lastSequence - 1);
            client.lastSequence = std::max(client.lastSequence, seq);
            delays.push_back(arrived - stamp);
        }
        client.partial.erase(0, start);
    }

    std::vector<std::unique_ptr<Client>> clients_;
    std::thread connector_;
    std::vector<std::thread> threads_; // readers, started by the connector
    std::atomic<bool> stop_{false}, ready_{false}, recordDelays_{true};
    size_t cpuSlots_ = 0; // the connector's, then each reader's
    std::unique_ptr<std::atomic<int64_t>[]> cpu_;
    mutable std::mutex mutex_;
    std::vector<int64_t> delays_;
};

} // namespace bench
