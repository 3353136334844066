#pragma once
// The reader thread: opens and reopens the port, carries out the window's requests, reads the
// device's lines, hands them to observers and to their handlers, and finds a lost device again.
//
// Threads. The reader runs its own thread from start() until it is destroyed. A request reaches it
// once, as values (Requests), and it sends the request's sentences itself. It asks the main thread
// for one thing only, running a reply's handler, and waits for it, giving up when it is being
// stopped. Instrument traffic (lines without a handler) goes to the client without a wait.
// Everything else it tells the client is posted to the main thread without waiting.
//
// Observers (for the network server's forwarding and file playback). May be added at any time
// from any thread; they stay for the reader's life. Both kinds are called on the reader thread,
// one call at a time, in the order of the lines, and must not block: copy what you need and
// return (a write to the port through the command sender is fine; it is what the reader does).
//   - LineObserver: every line as read, line feed included, before its checksum is checked and
//     before it is dispatched; lines cut short by silence or too long are not lines.
//   - TurnObserver: once per turn with a port open, after the line (if any) was dispatched:
//     true when the turn read a line, false when the read came back empty (silence for the
//     silence time, a line cut short, a line too long). Not called for turns that were
//     interrupted by a request or while no port is open.

#include "link/GPSTransfer.h"
#include "link/NMEA.h"
#include "link/Serial.h"
#include "mux/Requests.h"
#include "mux/protocol/Descriptor.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct ReaderTimes {
    std::chrono::milliseconds startDelay{2000};   // before the first open
    std::chrono::milliseconds idleWait{1000};     // the longest sleep while no port is open
    std::chrono::milliseconds silence{5000};      // a read that waited this long came back empty
    std::chrono::milliseconds retryFirst{1000};   // a lost port is opened again after this ...
    std::chrono::milliseconds retryLongest{4000}; // ... doubling while it keeps failing, up to this
};

// The reader's client: the console's core. See the header's comment for the threads.
class ReaderClient {
public:
    virtual ~ReaderClient() = default;
    virtual void readerStarted() = 0; // main thread, waited for: before the first turn
    virtual void portOpening() = 0;   // posted: the user's open is about to close the old port
    virtual void portOpened(const std::string& port, const std::string& rate) = 0; // posted
    virtual void portFailed(const std::string& port) = 0;                          // posted
    virtual void portAwaited(const std::string& port) = 0; // posted: not there; opened once it is
    virtual void lineLost(const std::string& port) = 0;    // posted once until the line is back
    virtual void unhandledLine(Bytes line) = 0;            // reader thread: checked, NUL-terminated
};

class Reader {
public:
    using LineObserver = std::function<void(const Bytes& line)>;
    using TurnObserver = std::function<void(bool lineRead)>;

    Reader(ReaderClient& client, GPSTransfer& sender, const NMEA::HandlerTable& handlers,
           const ProgramDescriptor& program, ReaderTimes times);
    ~Reader(); // stops and joins the thread, closes the port
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    void start();
    Requests& requests() { return requests_; }
    bool hasConnection() const { return connected_.load(); }

    void addLineObserver(LineObserver observer);
    void addTurnObserver(TurnObserver observer);

    // How often the reader has waited for the main thread (benchmarks).
    unsigned long mainThreadWaits() const { return mainWaits_.load(); }
    // Opening attempts, requested or not (tests of the back-off).
    unsigned long openAttempts() const { return openAttempts_.load(); }

    // Opens a port; the real serial port unless a test replaces it.
    using Opener = std::function<std::shared_ptr<Serial>(const std::string& port, const std::string& rate)>;
    void setOpener(Opener opener) { opener_ = std::move(opener); }

private:
    struct Observers {
        std::vector<LineObserver> lines;
        std::vector<TurnObserver> turns;
    };

    void run();
    void execute(const ReaderWork& work);
    bool open(const std::string& port, const std::string& rate);
    void closePort();
    void idle();
    void turn();
    void lose();
    void announce();
    void backOff();
    void dispatch(Bytes line);
    void notifyTurn(bool lineRead);
    std::shared_ptr<const Observers> observers() const;
    bool runOnMain(std::function<void()> fn);
    void postToMain(std::function<void()> fn);

    ReaderClient& client_;
    GPSTransfer& sender_;
    const NMEA::HandlerTable& handlers_;
    const ProgramDescriptor& program_;
    const ReaderTimes times_;
    Opener opener_;
    Requests requests_;
    QObject context_; // main-thread receiver of what the reader posts; takes them along when it goes

    mutable std::mutex observerLock_;
    std::shared_ptr<const Observers> observers_ = std::make_shared<Observers>();

    // Reader thread.
    std::shared_ptr<Serial> serial_;
    std::string portName_, rateText_;
    bool announced_ = false; // the open was reported; false while a reopened line proves itself
    std::chrono::steady_clock::time_point openedAt_;
    bool retrying_ = false; // a lost port is to be opened again
    std::chrono::milliseconds retryDelay_;
    std::chrono::steady_clock::time_point retryAt_;

    std::atomic<bool> connected_{false};
    std::atomic<bool> stopping_{false};
    std::mutex stopLock_;
    std::condition_variable stopped_; // ends the start delay early
    std::atomic<unsigned long> mainWaits_{0}, openAttempts_{0};
    std::thread thread_;
};
