#include "mux/FilterList.h"

#include <algorithm>

namespace {

bool dropped(const Filter& f) {
    return f.usb && f.channel1 && f.channel2 && f.channel3 && f.channel4;
}

} // namespace

void FilterList::clear() {
    rows_.clear();
    refreshing_ = false;
}

void FilterList::report(const Filter& reported) {
    if (refreshing_) {
        rows_.clear();
        refreshing_ = false;
    }
    auto same = std::find_if(rows_.begin(), rows_.end(),
                             [&](const Filter& f) { return f.sentence() == reported.sentence(); });
    if (same != rows_.end())
        *same = reported;
    else if (rows_.size() < kMaxRows)
        rows_.push_back(reported);
}

void FilterList::refresh(const std::vector<Filter>& edits) {
    refreshing_ = true;
    for (const Filter& edit : edits)
        if (dropped(edit))
            std::erase_if(rows_, [&](const Filter& f) { return f.sentence() == edit.sentence(); });
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
