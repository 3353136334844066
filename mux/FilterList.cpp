#include "mux/FilterList.h"

#include "mux/protocol/Codec.h"

#include <algorithm>

void FilterList::append(const Filter& reported) {
    if (rows_.size() < kMaxRows)
        rows_.push_back(reported);
}

Filter FilterList::toggle(size_t row, int column) {
    Filter& f = rows_.at(row);
    bool* flags[] = {&f.usb, &f.channel1, &f.channel2, &f.channel3, &f.channel4};
    *flags[std::clamp(column, 0, 4)] ^= true;
    return f;
}

Filter FilterList::removal(size_t row) {
    Filter& f = rows_.at(row);
    f.usb = f.channel1 = f.channel2 = f.channel3 = f.channel4 = true;
    return f;
}

void FilterList::post(const Filter& entry) {
    Filter copy = entry;
    copy.setSentence(entry.sentence());
    auto same = std::find_if(pending_.begin(), pending_.end(),
                             [&](const Filter& f) { return f.sentence() == copy.sentence(); });
    if (same != pending_.end())
        *same = copy;
    else
        pending_.push_back(copy);
}

std::vector<std::string> FilterList::takeSentences() {
    std::vector<std::string> sentences;
    for (const Filter& f : pending_)
        sentences.push_back(codec::filterCommand(f, withFrequency_));
    pending_.clear();
    return sentences;
}
