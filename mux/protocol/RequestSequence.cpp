#include "mux/protocol/RequestSequence.h"

#include "mux/protocol/Codec.h"

namespace {

struct Step {
    std::vector<std::string> commands;
    Query followUp;
};

std::vector<Step> steps(const ProgramDescriptor& program, const DeviceRequest& r) {
    std::vector<Step> out;
    if (r.configuration)
        out.push_back(
            {codec::configurationCommand(familyDescriptor(program.program, r.family), *r.configuration),
             Query::Configuration});
    if (r.speeds && program.speeds)
        out.push_back({{codec::speedsCommand(*r.speeds)}, Query::Speeds});
    if (r.talkerIDs)
        out.push_back({{codec::talkerIDCommand(*r.talkerIDs)}, Query::TalkerIDs});
    if (r.clearFilters)
        out.push_back({{codec::clearFiltersCommand()}, Query::Filters});
    if (!r.filters.empty()) {
        Step edits{{}, Query::Filters};
        for (const Filter& f : r.filters)
            edits.commands.push_back(codec::filterCommand(f, program.filterFrequency));
        out.push_back(std::move(edits));
    }
    if (r.captured) {
        Step commit{{}, Query::Filters};
        for (const Filter& f : *r.captured)
            commit.commands.push_back(codec::filterCommand(f, false)); // no frequency in either program
        out.push_back(std::move(commit));
    }
    return out;
}

} // namespace

bool DeviceRequest::empty() const {
    return !configuration && !speeds && !talkerIDs && !asksFilters();
}

std::vector<Outgoing> requestSentences(const ProgramDescriptor& program, const DeviceRequest& request) {
    const std::vector<Step> all = steps(program, request);
    std::vector<Outgoing> out;
    for (size_t i = 0; i < all.size(); ++i) {
        for (const std::string& command : all[i].commands)
            out.push_back({command, std::nullopt});
        if (i + 1 == all.size() || all[i + 1].followUp != all[i].followUp)
            for (Outgoing& q : querySentences(program, all[i].followUp))
                out.push_back(std::move(q));
    }
    return out;
}

std::vector<Outgoing> querySentences(const ProgramDescriptor& program, Query query) {
    switch (query) {
    case Query::Configuration:
    case Query::TalkerIDs:
    case Query::Filters:
    case Query::Version:
        break;
    case Query::Speeds:
        if (!program.speeds)
            return {};
        break;
    default:
        return {};
    }
    return {{codec::query(query), query}};
}

std::vector<Outgoing> queryBurst(const ProgramDescriptor& program) {
    std::vector<Outgoing> out;
    for (Query q : program.queryBurst)
        for (Outgoing& o : querySentences(program, q))
            out.push_back(std::move(o));
    return out;
}
