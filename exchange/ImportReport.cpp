#include "exchange/ImportReport.h"

#include <algorithm>

namespace exchange {

namespace {

const char* const kindNames[][2] = {
    {"waypoint", "waypoints"},
    {"route point", "route points"},
    {"route", "routes"},
    {"track point", "track points"},
};

const char* const reasonTexts[] = {
    "without a valid position",
    "past the most records one import makes",
    "not read",
    "named uniquely",
    "left without a name (no unique name was free)",
    "with a symbol outside the icon table, shown with the blank icon",
    "with a time that could not be read, kept without a time",
};

bool isDrop(Reason why) {
    return why == Reason::NoPosition || why == Reason::OverLimit || why == Reason::Unreadable;
}

std::string linesText(const std::vector<unsigned long>& lines, size_t count) {
    if (lines.empty())
        return {};
    std::string text = lines.size() == 1 && count == 1 ? " (line " : " (lines ";
    for (size_t i = 0; i < lines.size(); ++i)
        text += (i ? ", " : "") + groupedNumber(lines[i]);
    return text + (count > lines.size() ? ", ...)" : ")");
}

} // namespace

std::string groupedNumber(size_t number) {
    std::string digits = std::to_string(number);
    for (size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, ",");
    return digits;
}

void ImportReport::note(RecordKind kind, Reason why, unsigned long line) {
    Entry& entry = entries_[slot(kind)][slot(why)];
    ++entry.count;
    if (line != 0 && entry.lines.size() < maxLines)
        entry.lines.push_back(line);
}

void ImportReport::stopped(unsigned long line, const std::string& why) {
    if (stoppedWhy_.empty()) {
        stoppedWhy_ = why;
        stoppedAt_ = line;
    }
}

bool ImportReport::anyDropped() const {
    if (!stoppedWhy_.empty())
        return true;
    for (const auto& kind : entries_)
        for (size_t r = 0; r < kind.size(); ++r)
            if (isDrop(static_cast<Reason>(r)) && kind[r].count > 0)
                return true;
    return false;
}

std::vector<std::string> ImportReport::summary() const {
    std::vector<std::string> out;
    for (size_t k = 0; k < entries_.size(); ++k) {
        size_t dropped = 0;
        std::string drops, changes;
        for (size_t r = 0; r < entries_[k].size(); ++r) {
            const Entry& e = entries_[k][r];
            if (e.count == 0)
                continue;
            std::string& part = isDrop(static_cast<Reason>(r)) ? drops : changes;
            part += (part.empty() ? "" : "; ") + groupedNumber(e.count) + " " + reasonTexts[r] +
                    linesText(e.lines, e.count);
            dropped += isDrop(static_cast<Reason>(r)) ? e.count : 0;
        }
        const auto name = [&](size_t n) { return kindNames[k][n == 1 ? 0 : 1]; };
        const size_t read = std::max(read_[k], dropped);
        if (!drops.empty())
            out.push_back("kept " + groupedNumber(read - dropped) + " of " + groupedNumber(read) + " " +
                          name(read) + ": " + drops);
        if (!changes.empty())
            out.push_back(std::string(kindNames[k][1]) + " changed: " + changes);
    }
    if (!stoppedWhy_.empty())
        out.push_back("stopped at line " + groupedNumber(stoppedAt_) + ": " + stoppedWhy_ +
                      "; the rest of the file is not read");
    return out;
}

} // namespace exchange
