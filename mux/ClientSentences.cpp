#include "mux/ClientSentences.h"

#include "support/Alert.h"

#include <algorithm>
#include <cctype>

namespace {

int hexValue(uint8_t c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : -1;
}

// The sentence without its line end: CR LF or LF alone.
std::string_view body(const Bytes& line) {
    size_t n = line.size();
    if (n > 0 && line[n - 1] == '\n')
        --n;
    if (n > 0 && line[n - 1] == '\r')
        --n;
    return {reinterpret_cast<const char*>(line.data()), n};
}

} // namespace

ClientSentences::Verdict ClientSentences::judge(const Bytes& line) {
    const std::string_view s = body(line);
    if (line.empty() || line.back() != '\n' || s.size() < 2 || s.size() > kMaxLength ||
        (s[0] != '$' && s[0] != '!'))
        return Verdict::Malformed;
    if (!std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c <= 0x7E; }))
        return Verdict::Malformed;
    const size_t star = s.find('*');
    if (star != std::string_view::npos) {
        if (star + 3 != s.size())
            return Verdict::Malformed;
        uint8_t sum = 0;
        for (size_t i = 1; i < star; ++i)
            sum ^= static_cast<uint8_t>(s[i]);
        const int high = hexValue(s[star + 1]), low = hexValue(s[star + 2]);
        if (high < 0 || low < 0 || sum != (high << 4 | low))
            return Verdict::Malformed;
    }
    std::string head(s.substr(1, 4));
    for (char& c : head)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return head == "PQVX" ? Verdict::DeviceCommand : Verdict::WellFormed;
}

ClientSentences::ClientSentences(GPSTransfer& sender, std::function<Clock::time_point()> now)
    : sender_(sender), now_(std::move(now)), writer_([this] { run(); }) {
}

ClientSentences::~ClientSentences() {
    {
        std::lock_guard lock(queueMutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    writer_.join();
}

void ClientSentences::line(uint64_t client, const Bytes& line) {
    if (!accepting_)
        return;
    switch (judge(line)) {
    case Verdict::Malformed:
        ++malformed_;
        return;
    case Verdict::DeviceCommand:
        ++deviceCommands_;
        return;
    case Verdict::WellFormed:
        break;
    }
    if (!withinRate(client)) {
        ++overRate_;
        return;
    }
    {
        std::lock_guard lock(queueMutex_);
        if (queue_.size() >= kQueued) {
            ++notWritten_; // the port takes less than the clients send
            return;
        }
        queue_.emplace_back(body(line));
    }
    queued_.notify_one();
}

// At most kPerSecond lines in any second: the oldest of a client's last kPerSecond must be a
// second old.
bool ClientSentences::withinRate(uint64_t client) {
    const Clock::time_point now = now_();
    std::lock_guard lock(rateMutex_);
    // Clients that went quiet (or went) are forgotten, once a second at most: not a walk over
    // every client for each line.
    if (recent_.size() > 64 && now - lastSweep_ >= std::chrono::seconds(1)) {
        lastSweep_ = now;
        std::erase_if(
            recent_, [&](const auto& entry) { return now - entry.second.back() >= std::chrono::seconds(1); });
    }
    auto& times = recent_[client];
    if (times.size() == kPerSecond) {
        if (now - times.front() < std::chrono::seconds(1))
            return false;
        times.pop_front();
    }
    times.push_back(now);
    return true;
}

void ClientSentences::run() {
    std::unique_lock lock(queueMutex_);
    for (;;) {
        queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            return;
        const std::string sentence = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        // Under the sender's lock: whole, never inside another sentence.
        if (sender_.sendNMEACommandWithOutCheckSum(sentence))
            ++written_;
        else
            ++notWritten_;
        lock.lock();
    }
}

ClientSentences::Counts ClientSentences::counts() const {
    return {written_.load(), malformed_.load(), deviceCommands_.load(), overRate_.load(), notWritten_.load()};
}

std::string ClientSentences::said(const Counts& c) {
    return Alert::localizedStringWithKey("NSClientSentences",
                                         {std::to_string(c.written), std::to_string(c.malformed),
                                          std::to_string(c.deviceCommands), std::to_string(c.overRate),
                                          std::to_string(c.notWritten)});
}
