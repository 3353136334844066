#include "sim/SimulatedMux.h"

#include "base/UniqueFd.h"
#include "sim/MuxDevice.h"
#include "sim/Traffic.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <random>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Replies owed beyond this while nobody reads are dropped, as a device's output buffer
// overflows; it keeps reading and applying commands all the same.
constexpr size_t kReplyBacklog = 64 * 1024;
// Unsolicited lines wait no further than this much unread input on the console's side: past
// it nobody is reading, and stale traffic piled up in the terminal would reach the next console.
constexpr int kUnreadLimit = 2048;
// A line that hung up (no slave side open) is looked at again after this, never in a tight loop.
constexpr auto kHangupPause = std::chrono::milliseconds(100);
// The longest the device thread sleeps; also how soon a closed console's exclusive claim is let go.
constexpr auto kLongestWait = std::chrono::milliseconds(25);

// The sentence with its line end, and its talker replaced by the one the input imposes.
std::string wireLine(std::string sentence, const std::string& talker) {
    while (!sentence.empty() && (sentence.back() == '\n' || sentence.back() == '\r'))
        sentence.pop_back();
    if (talker.size() == 2 && sentence.size() > 6 && sentence[0] == '$' && sentence[1] != 'P') {
        sentence.replace(1, 2, talker);
        const size_t star = sentence.find('*');
        if (star != std::string::npos)
            return nmeaLine(std::string_view(sentence).substr(0, star));
    }
    return sentence + "\r\n";
}

} // namespace

struct SimulatedMux::Impl {
    explicit Impl(SimOptions o)
        : options(std::move(o)), device(options), wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

    bool openTerminal();
    void closeTerminal();
    bool placeLink();
    void removeLink();
    void startThread();
    void stopThread();
    bool plugIn();  // a terminal, its link and the device thread
    void pullOut(); // the reverse
    void wakeUp() const;
    void fail(std::string why);

    // Device thread.
    void run();
    void readInput(Clock::time_point now, Clock::time_point* hungUpUntil);
    bool pumpReplies();
    void offer(std::string line);
    void sendTraffic();
    void sendStatus();
    void releaseExclusive();
    void watchOpens();

    SimOptions options;

    mutable std::mutex lifecycle; // start, stop, unplug and replug one at a time
    bool started = false;
    bool plugged = false;

    mutable std::mutex mutex; // what the device thread shares with the callers
    MuxDevice device;
    Bytes received;
    std::deque<std::string> replies; // whole lines owed to the console, in order
    size_t replyBytes = 0;
    std::string slavePath;
    std::string error;
    std::atomic<unsigned long> dropped{0};

    UniqueFd wake; // eventfd: stop, or new bytes to send
    UniqueFd master;
    UniqueFd held;   // our own slave descriptor: the line stays up while no console has it open
    UniqueFd opens;  // inotify on the terminal: who else has it open
    int holders = 0; // device thread: descriptors of the terminal open elsewhere
    std::thread thread;
    std::atomic<bool> stopping{false};

    // Owned by the device thread while it runs.
    std::shared_ptr<TrafficSource> traffic;
    std::string out; // the line being written; finished before any other begins
    size_t outPos = 0;
    std::mt19937 random{42};
    unsigned counts[4] = {};
};

void SimulatedMux::Impl::fail(std::string why) {
    std::lock_guard lock(mutex);
    error = std::move(why);
}

bool SimulatedMux::Impl::openTerminal() {
    UniqueFd m(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!m) {
        fail("cannot create a pseudo-terminal");
        return false;
    }
    // Raw before anyone can open it: an echo would hand the device its own lines back as
    // commands, and CR LF must pass unchanged.
    termios t{};
    if (::tcgetattr(m.get(), &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&t, B4800);
        ::cfsetospeed(&t, B4800);
        ::tcsetattr(m.get(), TCSANOW, &t);
    }
    char name[128];
    if (::grantpt(m.get()) != 0 || ::unlockpt(m.get()) != 0 || ::ptsname_r(m.get(), name, sizeof name) != 0) {
        fail("cannot unlock the pseudo-terminal");
        return false;
    }
    UniqueFd h(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!h) {
        fail(std::string("cannot open ") + name);
        return false;
    }
    // Opened after our own descriptor, so only the others' opens and closes count.
    UniqueFd watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!watch || ::inotify_add_watch(watch.get(), name, IN_OPEN | IN_CLOSE) < 0) {
        fail(std::string("cannot watch ") + name);
        return false;
    }
    master = std::move(m);
    held = std::move(h);
    opens = std::move(watch);
    holders = 0;
    std::lock_guard lock(mutex);
    slavePath = name;
    device.resetInput();
    return true;
}

void SimulatedMux::Impl::closeTerminal() {
    // Closing the master hangs the line up: the console's reads fail at once.
    opens.reset();
    held.reset();
    master.reset();
}

bool SimulatedMux::Impl::placeLink() {
    const std::string& link = options.linkPath;
    if (link.empty())
        return true;
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        fail(link + " exists and is not a symbolic link");
        return false;
    }
    std::string target;
    {
        std::lock_guard lock(mutex);
        target = slavePath;
    }
    // Swapped in whole, as a device node reappears: nobody sees the name missing or half made.
    const std::string fresh = link + ".new" + std::to_string(::getpid());
    ::unlink(fresh.c_str());
    if (::symlink(target.c_str(), fresh.c_str()) != 0 || ::rename(fresh.c_str(), link.c_str()) != 0) {
        ::unlink(fresh.c_str());
        fail("cannot make the link " + link);
        return false;
    }
    return true;
}

void SimulatedMux::Impl::removeLink() {
    const std::string& link = options.linkPath;
    if (link.empty())
        return;
    char target[256];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    std::lock_guard lock(mutex);
    if (n > 0 && std::string(target, static_cast<size_t>(n)) == slavePath)
        ::unlink(link.c_str()); // only our own link, as a device node goes with its device
}

void SimulatedMux::Impl::startThread() {
    out.clear();
    outPos = 0;
    {
        std::lock_guard lock(mutex);
        replies.clear();
        replyBytes = 0;
    }
    stopping = false;
    thread = std::thread([this] { run(); });
}

void SimulatedMux::Impl::stopThread() {
    if (!thread.joinable())
        return;
    stopping = true;
    wakeUp();
    thread.join();
}

void SimulatedMux::Impl::wakeUp() const {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake.get(), &one, sizeof one);
}

void SimulatedMux::Impl::run() {
    const double rate = traffic ? options.linesPerSecond : 0.0;
    const auto trafficStep = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(rate > 0 ? 1.0 / rate : 0.0));
    const auto statusStep = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(std::max(options.statusSeconds, 0.0)));
    const bool hasTraffic = rate > 0 && trafficStep.count() > 0;
    const bool hasStatus = statusStep.count() > 0;
    Clock::time_point now = Clock::now();
    Clock::time_point nextTraffic = now + trafficStep;
    Clock::time_point nextStatus = now + statusStep;
    Clock::time_point hungUpUntil = now;

    while (!stopping) {
        now = Clock::now();
        const bool lineUp = now >= hungUpUntil;
        bool owing = outPos < out.size();
        {
            std::lock_guard lock(mutex);
            owing = owing || !replies.empty();
        }
        pollfd fds[3] = {{wake.get(), POLLIN, 0}, {-1, 0, 0}, {opens.get(), POLLIN, 0}};
        if (lineUp) {
            fds[1].fd = master.get();
            fds[1].events = static_cast<short>(POLLIN | (owing ? POLLOUT : 0));
        }
        Clock::time_point deadline = now + kLongestWait;
        if (hasTraffic)
            deadline = std::min(deadline, nextTraffic);
        if (hasStatus)
            deadline = std::min(deadline, nextStatus);
        if (!lineUp)
            deadline = std::min(deadline, hungUpUntil);
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        ::poll(fds, 3, static_cast<int>(std::max<long long>(wait, 0)));

        if (fds[0].revents != 0) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(wake.get(), &count, sizeof count);
        }
        now = Clock::now();
        if ((fds[1].revents & POLLIN) != 0)
            readInput(now, &hungUpUntil);
        else if ((fds[1].revents & (POLLHUP | POLLERR)) != 0)
            hungUpUntil = now + kHangupPause;
        pumpReplies();
        if ((fds[2].revents & POLLIN) != 0)
            watchOpens();
        releaseExclusive();

        now = Clock::now();
        if (hasTraffic && now >= nextTraffic) {
            if (now - nextTraffic > std::chrono::seconds(1))
                nextTraffic = now; // after a stall, no burst to catch up
            while (nextTraffic <= now && !stopping) {
                sendTraffic();
                nextTraffic += trafficStep;
            }
        }
        if (hasStatus && now >= nextStatus) {
            sendStatus();
            nextStatus = now + statusStep;
        }
    }
}

void SimulatedMux::Impl::readInput(Clock::time_point now, Clock::time_point* hungUpUntil) {
    uint8_t buffer[4096];
    const ssize_t n = ::read(master.get(), buffer, sizeof buffer);
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR))
            *hungUpUntil = now + kHangupPause;
        return;
    }
    std::lock_guard lock(mutex);
    received.insert(received.end(), buffer, buffer + n);
    if (received.size() > options.receivedLimit) // keep the latest bytes
        received.erase(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(
                                                                received.size() - options.receivedLimit));
    for (auto& reply : device.feed(buffer, static_cast<size_t>(n))) {
        if (replyBytes + reply.size() > kReplyBacklog) {
            ++dropped;
            continue;
        }
        replyBytes += reply.size();
        replies.push_back(std::move(reply));
    }
}

// Writes what is owed, a whole line at a time; false while a line is still under way.
bool SimulatedMux::Impl::pumpReplies() {
    for (;;) {
        while (outPos < out.size()) {
            const ssize_t n = ::write(master.get(), out.data() + outPos, out.size() - outPos);
            if (n <= 0)
                return false; // full or hung up: the rest goes later, nothing may come between
            outPos += static_cast<size_t>(n);
        }
        std::lock_guard lock(mutex);
        if (replies.empty())
            return true;
        out = std::move(replies.front());
        replies.pop_front();
        replyBytes -= out.size();
        outPos = 0;
    }
}

// An unsolicited line: sent when the line is free, dropped when nobody reads, as a device does.
void SimulatedMux::Impl::offer(std::string line) {
    bool free = pumpReplies();
    if (free) {
        std::lock_guard lock(mutex);
        free = replies.empty();
    }
    int unread = 0;
    if (free && ::ioctl(held.get(), FIONREAD, &unread) == 0 && unread > kUnreadLimit)
        free = false;
    const ssize_t n = free ? ::write(master.get(), line.data(), line.size()) : -1;
    if (n <= 0) {
        ++dropped;
        return;
    }
    if (static_cast<size_t>(n) < line.size()) {
        out = std::move(line);
        outPos = static_cast<size_t>(n);
    }
}

void SimulatedMux::Impl::sendTraffic() {
    auto line = traffic->nextLine();
    if (!line || line->sentence.empty())
        return;
    std::string talker;
    if (line->channel >= 1 && line->channel <= 4) {
        ++counts[line->channel - 1];
        std::lock_guard lock(mutex);
        talker = device.talkerID(line->channel);
    }
    std::string wire = wireLine(std::move(line->sentence), talker);
    {
        std::lock_guard lock(mutex);
        if (!device.routesToHost(wire))
            return; // the filter list keeps it from the computer
    }
    offer(std::move(wire));
}

void SimulatedMux::Impl::sendStatus() {
    // Inputs overflow now and then while traffic flows.
    unsigned mask = 0;
    if (traffic && options.linesPerSecond > 0 && random() % 4 == 0)
        mask = 1u + random() % 15u;
    offer(MuxDevice::overflowSentence(mask));
    offer(MuxDevice::channelNumberSentence(counts));
    std::fill(std::begin(counts), std::end(counts), 0u);
}

void SimulatedMux::Impl::watchOpens() {
    alignas(inotify_event) char buffer[1024];
    ssize_t n;
    while ((n = ::read(opens.get(), buffer, sizeof buffer)) > 0)
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if ((event->mask & IN_OPEN) != 0)
                ++holders;
            if ((event->mask & IN_CLOSE) != 0)
                holders = std::max(0, holders - 1);
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
}

// A console claims the line for itself when it opens it. On a pseudo-terminal that claim
// outlives the console's close (a real port forgets it at the last close), and would keep it
// (without privileges) from opening the port again: once nobody else holds the terminal, the
// device lets it go. While a console holds it, it stays, as a device cannot touch it.
void SimulatedMux::Impl::releaseExclusive() {
    if (holders > 0)
        return;
    int exclusive = 0;
    if (::ioctl(held.get(), TIOCGEXCL, &exclusive) == 0 && exclusive != 0)
        ::ioctl(held.get(), TIOCNXCL);
}

SimulatedMux::SimulatedMux(SimOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
}

bool SimulatedMux::Impl::plugIn() {
    if (!openTerminal())
        return false;
    if (!placeLink()) {
        closeTerminal();
        return false;
    }
    startThread();
    plugged = true;
    return true;
}

void SimulatedMux::Impl::pullOut() {
    if (!plugged)
        return;
    stopThread();
    removeLink();
    closeTerminal();
    plugged = false;
}

SimulatedMux::~SimulatedMux() {
    stop();
}

bool SimulatedMux::start() {
    std::lock_guard lifecycle(impl_->lifecycle);
    if (impl_->started)
        return true;
    if (!impl_->wake) {
        impl_->fail("cannot make an event descriptor");
        return false;
    }
    const SimOptions& options = impl_->options;
    if (!impl_->traffic) {
        if (options.traffic) {
            impl_->traffic = options.traffic;
        } else if (!options.logFile.empty()) {
            std::string why;
            auto log = LogTraffic::fromFile(options.logFile, &why);
            if (!log) {
                impl_->fail(why);
                return false;
            }
            impl_->traffic = std::move(log);
        } else if (options.linesPerSecond > 0) {
            impl_->traffic = std::make_shared<InstrumentTraffic>();
        }
    }
    if (!impl_->plugIn())
        return false;
    impl_->started = true;
    return true;
}

void SimulatedMux::stop() {
    std::lock_guard lifecycle(impl_->lifecycle);
    if (!impl_->started)
        return;
    impl_->pullOut();
    impl_->started = false;
}

std::string SimulatedMux::portPath() const {
    if (!impl_->options.linkPath.empty())
        return impl_->options.linkPath;
    std::lock_guard lock(impl_->mutex);
    return impl_->slavePath;
}

void SimulatedMux::unplug() {
    std::lock_guard lifecycle(impl_->lifecycle);
    if (impl_->started)
        impl_->pullOut();
}

bool SimulatedMux::replug() {
    std::lock_guard lifecycle(impl_->lifecycle);
    if (!impl_->started)
        return false;
    impl_->pullOut();
    return impl_->plugIn();
}

MuxState SimulatedMux::state() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->device.state();
}

Bytes SimulatedMux::received() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->received;
}

void SimulatedMux::clearReceived() {
    std::lock_guard lock(impl_->mutex);
    impl_->received.clear();
}

void SimulatedMux::sendRaw(const std::string& bytes) {
    if (bytes.empty())
        return;
    {
        std::lock_guard lock(impl_->mutex);
        impl_->replyBytes += bytes.size();
        impl_->replies.push_back(bytes);
    }
    impl_->wakeUp();
}

bool SimulatedMux::exclusiveClaim() const {
    int exclusive = 0;
    std::lock_guard lifecycle(impl_->lifecycle);
    return impl_->held && ::ioctl(impl_->held.get(), TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

unsigned long SimulatedMux::droppedLines() const {
    return impl_->dropped;
}

std::string SimulatedMux::lastError() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->error;
}
