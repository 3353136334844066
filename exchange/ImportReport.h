#pragma once
// What an import skipped or changed, counted by kind of record and reason with the lines where it
// happened, so that nothing is lost or altered without a word.

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace exchange {

template <class E>
constexpr size_t slot(E e) {
    return static_cast<size_t>(e);
}

enum class RecordKind { Waypoint, RoutePoint, Route, TrackPoint, Count };

enum class Reason {
    NoPosition,    // dropped: no valid position
    OverLimit,     // dropped: past the most records one import makes
    Unreadable,    // dropped: a line that could not be read
    UniqueName,    // changed: named uniquely
    NoUniqueName,  // changed: kept without a name, every unique name being taken
    UnknownSymbol, // changed: a symbol outside the icon table, shown with the blank icon
    UnreadTime,    // changed: a time that could not be read, kept without a time
    Count
};

class ImportReport {
public:
    // At most this many line numbers are kept per reason.
    static constexpr size_t maxLines = 10;

    void read(RecordKind kind) { ++read_[slot(kind)]; }
    // Counts a record dropped, or kept with a change, by the reason; line 0 when not known.
    void note(RecordKind kind, Reason why, unsigned long line);
    // The import ended early at that line; what came after was not read.
    void stopped(unsigned long line, const std::string& why);

    bool anyDropped() const;
    size_t readCount(RecordKind kind) const { return read_[slot(kind)]; }
    size_t count(RecordKind kind, Reason why) const { return entries_[slot(kind)][slot(why)].count; }
    // One line per kind of record with drops or changes:
    // "kept 9,998 of 10,000 waypoints: 2 without a valid position (lines 12, 40)".
    std::vector<std::string> summary() const;
    void clear() { *this = ImportReport(); }

private:
    struct Entry {
        size_t count = 0;
        std::vector<unsigned long> lines;
    };

    std::array<size_t, slot(RecordKind::Count)> read_{};
    std::array<std::array<Entry, slot(Reason::Count)>, slot(RecordKind::Count)> entries_{};
    std::string stoppedWhy_;
    unsigned long stoppedAt_ = 0;
};

// 1234567 as "1,234,567".
std::string groupedNumber(size_t number);

} // namespace exchange
