#pragma once
// One sending thread of the NMEA server: its epoll loop, its clients and the log of the stream
// they read from. Bytes handed in from any thread wait in a batch that the thread moves into its
// log at its next turn; every client is a position in that log and gets all it lacks in one
// write, straight from the log, so nothing is copied or allocated per client. A client whose
// socket is full is written again when it has room. The policy's bounds drop a client that has
// fallen too far behind; what all clients together hold is the log, whatever their number.

#include "base/Bytes.h"
#include "base/UniqueFd.h"
#include "net/ClientPolicy.h"
#include "net/EpollRunLoop.h"
#include "net/StreamLog.h"

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class FanoutSender {
public:
    // A line a client sent, on this sender's thread; an empty one stands for bytes that were no
    // line, discarded.
    using LineHandler = std::function<void(uint64_t client, const Bytes& line)>;

    // `changed` runs on this sender's thread when a client came or went. Without `line`, what
    // clients send is read and dropped.
    FanoutSender(const ClientPolicy& policy, std::function<void()> changed, LineHandler line = {});
    ~FanoutSender();
    FanoutSender(const FanoutSender&) = delete;
    FanoutSender& operator=(const FanoutSender&) = delete;

    // Closes every client and ends the thread; nothing runs on it afterwards.
    void stop();
    // Any thread; copies the bytes and never waits on a client.
    void broadcast(const uint8_t* bytes, size_t count);
    // Any thread: the connected descriptor is served by this thread from now on; its lines are
    // handed on under `id`.
    void adopt(UniqueFd fd, uint64_t id = 0);
    // Runs the task on this sender's thread.
    void post(std::function<void()> task) { loop_->post(std::move(task)); }
    size_t load() const { return served_.load() + adopting_.load(); }
    unsigned connected() const { return static_cast<unsigned>(served_.load()); }
    const std::shared_ptr<EpollRunLoop>& loop() const { return loop_; }

private:
    struct Client {
        UniqueFd fd;
        std::unique_ptr<RunLoop::Source> source;
        uint64_t id = 0;
        Bytes said;              // what it sent that is not yet a whole line
        uint64_t position = 0;   // the next byte of the log it gets
        size_t systemBuffer = 0; // the most its socket holds unsent
        bool waiting = false;    // its socket was full: written on its write events
        bool ended = false;      // it sends no more
        bool gone = false;
    };
    using Clock = ClientPolicy::Clock;

    void run(std::promise<void>& ready);
    void takeBatch();
    void flush();
    void send(Client& client);
    void onEvent(Client& client, bool readable, bool writable);
    void hear(Client& client, const uint8_t* bytes, size_t count);
    bool overBytes(const Client& client) const;
    void checkAges();
    void scheduleAgeCheck();
    void drop(Client& client);
    void sweep();

    const ClientPolicy policy_;
    const std::function<void()> changed_;
    const LineHandler line_;
    std::shared_ptr<EpollRunLoop> loop_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};

    // Shared with the threads that hand bytes in.
    std::mutex batchMutex_;
    std::vector<uint8_t> batch_;
    bool flushPosted_ = false;
    bool overrun_ = false; // the batch outgrew the bound: every client would miss bytes

    // This thread's.
    std::vector<uint8_t> taken_;
    StreamLog log_;
    std::vector<std::unique_ptr<Client>> clients_;
    bool walking_ = false; // clients_ is being walked: removal waits for sweep()
    Clock::time_point lastFlush_{}, lastAgeCheck_{};
    std::unique_ptr<RunLoop::Timer> gatherTimer_, ageTimer_;
    uint8_t heard_[4096]; // what a client just sent
    std::atomic<size_t> served_{0}, adopting_{0};
};
