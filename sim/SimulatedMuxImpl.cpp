// The simulated multiplexer's device thread: reads the console's commands, writes the replies
// whole, offers traffic and status sentences, and minds the console's exclusive claim.

#include "sim/SimulatedMuxImpl.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace simline;

namespace {

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
        Clock::time_point deadline = Clock::now() + kLongestWait;
        if (hasTraffic)
            deadline = std::min(deadline, nextTraffic);
        if (hasStatus)
            deadline = std::min(deadline, nextStatus);
        serveLine(deadline, &hungUpUntil);

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

// Waits until the deadline for the console's bytes, room for the replies owed, a wake-up or an
// open or close of the terminal, and serves what came.
void SimulatedMux::Impl::serveLine(Clock::time_point deadline, Clock::time_point* hungUpUntil) {
    Clock::time_point now = Clock::now();
    const bool lineUp = now >= *hungUpUntil;
    bool owing = outPos < out.size();
    {
        std::lock_guard lock(mutex);
        owing = owing || !replies.empty();
    }
    pollfd fds[3] = {{wake.get(), POLLIN, 0}, {-1, 0, 0}, {opens.get(), POLLIN, 0}};
    if (lineUp) {
        fds[1].fd = master.get();
        fds[1].events = static_cast<short>(POLLIN | (owing ? POLLOUT : 0));
    } else {
        deadline = std::min(deadline, *hungUpUntil);
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    ::poll(fds, 3, static_cast<int>(std::max<long long>(wait, 0)));

    if (fds[0].revents != 0) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(wake.get(), &count, sizeof count);
    }
    now = Clock::now();
    if ((fds[1].revents & POLLIN) != 0)
        readInput(now, hungUpUntil);
    else if ((fds[1].revents & (POLLHUP | POLLERR)) != 0)
        *hungUpUntil = now + kHangupPause;
    pumpReplies();
    if ((fds[2].revents & POLLIN) != 0)
        watchOpens();
    releaseExclusive();
}

void SimulatedMux::Impl::readInput(Clock::time_point now, Clock::time_point* hungUpUntil) {
    uint8_t buffer[4096];
    const ssize_t n = ::read(master.get(), buffer, sizeof buffer);
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR))
            *hungUpUntil = now + kHangupPause;
        return;
    }
    lineFeeds += static_cast<unsigned long>(std::count(buffer, buffer + n, '\n'));
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
    if (free && ::ioctl(held.get(), FIONREAD, &unread) == 0) {
        // What is written reaches the terminal's input a moment later: while nobody holds it, the
        // bytes written count too, or a busy machine would see room that is not there.
        const size_t waiting = holders == 0 ? std::max(size_t(unread), unheard) : size_t(unread);
        free = waiting <= size_t(kUnreadLimit);
    }
    const ssize_t n = free ? ::write(master.get(), line.data(), line.size()) : -1;
    if (n <= 0) {
        ++dropped;
        return;
    }
    if (holders == 0)
        unheard += size_t(n);
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
            if ((event->mask & IN_CLOSE) != 0 && holders > 0 && --holders == 0) {
                int unread = 0; // what the last one left unread
                ::ioctl(held.get(), FIONREAD, &unread);
                unheard = size_t(std::max(unread, 0));
            }
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
    if (::ioctl(held.get(), TIOCGEXCL, &exclusive) != 0 || exclusive == 0)
        return;
    // A console claims the line after it opened it: its open is among the events by now, though
    // the wait before saw none.
    watchOpens();
    if (holders == 0)
        ::ioctl(held.get(), TIOCNXCL);
}
