#include "mux/Capture.h"

#include "mux/protocol/TypedText.h"

#include <algorithm>

Capture::Capture(std::function<Clock::time_point()> now, Clock::duration length)
    : now_(std::move(now)), length_(length) {
}

void Capture::start() {
    if (!started_)
        started_ = now_();
}

void Capture::gather(std::string_view sentence, bool byFormatter) {
    if (!started_)
        return;
    auto address = captureAddress(sentence, byFormatter);
    if (!address || (entries_.size() >= kMaxEntries && entries_.count(*address) == 0))
        return;
    Filter f = Filter::filter();
    f.setSentence(*address);
    entries_[*address] = f;
}

bool Capture::due() const {
    return started_ && now_() - *started_ >= length_;
}

std::vector<Filter> Capture::take() {
    std::vector<Filter> taken;
    for (auto& entry : entries_)
        taken.push_back(entry.second);
    entries_.clear();
    std::stable_sort(taken.begin(), taken.end(), filterSortBySentence);
    return taken;
}
