#pragma once
// AIS reports from their VDM/VDO sentences: the armoured payload of one message (its fragments
// joined) turned into bits and read field by field. Message type and MMSI for every message;
// position, speed and course for the position reports (1 to 3, 18, 19); name and call sign for
// the static reports (5, 19, 24). Values not available are said so, not shown as numbers.

#include "link/SentenceDecoder.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class AisDecoder {
public:
    // The fields of the message carried by these sentences (one, or every fragment in order).
    static DecodedSentence decode(const std::vector<std::string>& fragments);

    // Joins fragments into whole messages: feed each VDM/VDO sentence; a completed message's
    // fragments come back. A fragment out of order starts over; memory stays bounded.
    std::optional<std::vector<std::string>> add(std::string_view sentence);

private:
    std::vector<std::string> pending_;
    std::string pendingId_; // sequence id and channel of the message being joined
    unsigned pendingCount_ = 0;
};
