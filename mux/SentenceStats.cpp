#include "mux/SentenceStats.h"

#include <algorithm>

namespace {

// "GPRMC" of "$GPRMC,...", "PGRME" of "$PGRME,..."; empty when the line has no start character.
std::string_view addressOf(std::string_view line) {
    if (line.empty() || (line[0] != '$' && line[0] != '!'))
        return {};
    const size_t end = line.find_first_of(",*\r\n", 1);
    const std::string_view address = line.substr(1, std::min<size_t>(end, 16) - 1);
    return address;
}

} // namespace

int64_t SentenceStats::secondOf(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

// Moves the window of per-second counts on to this second, emptying the seconds passed.
void SentenceStats::roll(Entry& e, int64_t second) {
    if (second <= e.second)
        return;
    const int64_t passed = std::min<int64_t>(second - e.second, kRateSeconds + 1);
    std::rotate(e.perSecond.begin(), e.perSecond.begin() + passed, e.perSecond.end());
    std::fill(e.perSecond.end() - passed, e.perSecond.end(), 0u);
    e.second = second;
}

void SentenceStats::add(std::string_view line, bool valid, Clock::time_point now) {
    std::string_view address = addressOf(line);
    auto it = rows_.find(address);
    if (it == rows_.end()) {
        if (rows_.size() >= kMaxAddresses)
            address = kOther;
        it = rows_.try_emplace(std::string(address)).first;
        it->second.row.address = std::string(address);
        it->second.second = it->second.firstSecond = secondOf(now);
    }
    Entry& e = it->second;
    roll(e, secondOf(now));
    ++e.perSecond.back();
    ++e.row.count;
    e.row.last = now;
    if (!valid) {
        ++e.row.failures;
        return;
    }
    const std::string_view type = address.size() >= 3 ? address.substr(address.size() - 3) : address;
    if (type == "VDM" || type == "VDO") {
        if (auto whole = e.joiner.add(line))
            e.row.sentence = std::move(*whole);
    } else {
        e.row.sentence.assign(1, std::string(line));
    }
}

void SentenceStats::clear() {
    rows_.clear();
}

std::vector<SentenceStats::Row> SentenceStats::rows(Clock::time_point now) const {
    std::vector<Row> out;
    out.reserve(rows_.size());
    const int64_t second = secondOf(now);
    for (const auto& [address, e] : rows_) {
        Row row = e.row;
        // The ten whole seconds before this one; a row younger than that over the seconds it has.
        uint64_t sum = 0;
        for (int64_t s = second - kRateSeconds; s < second; ++s) {
            const int64_t slot = int64_t(e.perSecond.size()) - 1 - (e.second - s);
            if (slot >= 0 && slot < int64_t(e.perSecond.size()))
                sum += e.perSecond[size_t(slot)];
        }
        const int64_t span = std::clamp<int64_t>(second - e.firstSecond, 1, kRateSeconds);
        row.rate = double(sum) / double(span);
        out.push_back(std::move(row));
    }
    std::stable_partition(out.begin(), out.end(), [](const Row& r) { return !r.address.empty(); });
    return out;
}
