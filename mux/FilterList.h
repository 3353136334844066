#pragma once
// The device's filter list as the console knows it, and the entries edited but not yet sent.
// The rows are only ever what the device reported: edits go to the device, and the list is read
// back. Main thread only.

#include "mux/protocol/Filter.h"

#include <cstddef>
#include <string>
#include <vector>

class FilterList {
public:
    // A device lists at most a few dozen entries; one that keeps sending cannot grow ours.
    static constexpr size_t kMaxRows = 200;

    explicit FilterList(bool withFrequency) : withFrequency_(withFrequency) {}

    const std::vector<Filter>& rows() const { return rows_; }
    size_t size() const { return rows_.size(); }
    void clear() { rows_.clear(); }
    void append(const Filter& reported);

    // A click on a flag cell inverts that flag of the row; Remove sets all five, which the device
    // takes as dropping the entry. Both give the entry to send.
    Filter toggle(size_t row, int column);
    Filter removal(size_t row);

    // An entry to send: one edit per address waits, the later replacing the earlier. Clearing
    // the list makes the edits before it moot.
    void post(const Filter& entry);
    void postClear() { pending_.clear(); }
    // The waiting edits as commands, in the order they were made; none wait afterwards.
    std::vector<std::string> takeSentences();

private:
    bool withFrequency_;
    std::vector<Filter> rows_;
    std::vector<Filter> pending_;
};
