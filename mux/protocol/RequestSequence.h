#pragma once
// What a request to the device sends, in which order, with which follow-up query: one place for
// the console and its golden transcripts. A command is followed by the query of its type, once
// for the filter commands together, so the reply shows what the device now holds.

#include "mux/protocol/Descriptor.h"
#include "mux/protocol/DeviceValues.h"
#include "mux/protocol/Filter.h"

#include <optional>
#include <string>
#include <vector>

// The user's edits waiting for the device, each kind at most once, taken as values when made.
struct DeviceRequest {
    MuxFamily family = MuxFamily::Other; // the layout the configuration goes out in
    std::optional<Configuration> configuration{};
    std::optional<Speeds> speeds{};
    std::optional<TalkerIDs> talkerIDs{};
    bool clearFilters = false;     // before the entries edited after it
    std::vector<Filter> filters{}; // edited entries in the order made, one per address
    // A capture's entries, sorted; a capture that gathered none still asks for the list.
    std::optional<std::vector<Filter>> captured{};
    bool empty() const;
    bool asksFilters() const { return clearFilters || !filters.empty() || captured.has_value(); }
};

// One sentence out, without checksum and line end; a query names what it asks for.
struct Outgoing {
    std::string sentence;
    std::optional<Query> query;
    bool operator==(const Outgoing&) const = default;
};

// The commands of the request in a fixed order (configuration, speeds, talker IDs, the filter
// list's clearing, its edited entries, a capture's entries), each with its follow-up query.
std::vector<Outgoing> requestSentences(const ProgramDescriptor& program, const DeviceRequest& request);
// One query as the program asks it; none for a query the program does not know.
std::vector<Outgoing> querySentences(const ProgramDescriptor& program, Query query);
// What the timer asks an unidentified device, in order.
std::vector<Outgoing> queryBurst(const ProgramDescriptor& program);
