#pragma once
// The device's filter list as the console knows it. The rows are what the device reported: edits
// go to the device, and the list is read back. A filter-list query sent while the replies to an
// earlier one are still arriving must not double the rows, so a reported entry replaces the row
// of its address. Main thread only.

#include "mux/protocol/Filter.h"

#include <cstddef>
#include <string>
#include <vector>

class FilterList {
public:
    // A device lists at most a few dozen entries; one that keeps sending cannot grow ours.
    static constexpr size_t kMaxRows = 200;

    const std::vector<Filter>& rows() const { return rows_; }
    size_t size() const { return rows_.size(); }
    void clear();
    // A reported entry: the row of its address, or a new row at the end. The first report after
    // refresh() starts the list anew.
    void report(const Filter& reported);
    // Edits are on their way and their query follows: the rows stay (and can be edited further)
    // until the device's report replaces them. Entries the edits drop go at once, since a list the
    // device left empty brings no report at all.
    void refresh(const std::vector<Filter>& edits);

    // A click on a flag cell inverts that flag of the row; Remove sets all five, which the device
    // takes as dropping the entry. Both give the entry to send; the row shows the edit until
    // the device's report, so edits of one row in quick succession add up.
    Filter toggle(size_t row, int column);
    Filter removal(size_t row);

private:
    std::vector<Filter> rows_;
    bool refreshing_ = false;
};
