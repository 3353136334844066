#pragma once
// The console's side of the $PQVX protocol as pure functions: commands and queries built from
// plain values and the family's descriptor, replies read back into plain values. Sentences are
// without checksum and line end (the command sender adds them); replies are the sentence text
// as the checksum check leaves it.

#include "mux/protocol/Descriptor.h"
#include "mux/protocol/DeviceValues.h"
#include "mux/protocol/Filter.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace codec {

// Each sentence's fields, their order, meaning and range, are drawn beside its builder and
// reader in Codec.cpp.

// Queries: "$PQVXCFQ", "$PQVXIDQ", "$PQVXFLQ", "$PQVXVER", "$PQVXSPQ".
std::string query(Query query);
// The two-letter reply type at offset 5 ("CF" of "$PQVXCF,..."); nil when the text is shorter.
std::optional<std::string> replyType(std::string_view text);

// Version (VE). Nil when the firmware, name or serial number is missing.
std::optional<Version> readVersion(std::string_view text);
// Flags are only ever set by a reply; the two family flags are muxconsole's.
FamilyFlags applyVersion(MuxVariant program, FamilyFlags flags, const Version& version);
// Only a decimal version number ("2.2", "3") can reach the minimum.
bool firmwareSupported(std::string_view firmware, float minimum);

// Configuration (CF): one sentence, or the pair of the current families, in the family's layout.
std::vector<std::string> configurationCommand(const FamilyDescriptor& family, const Configuration& c);
ConfigurationReply readConfiguration(const FamilyDescriptor& family, std::string_view text);

// Talker IDs (ID): each ID upper-cased; anything but ASCII letters and digits is left out.
std::string talkerIDCommand(const TalkerIDs& ids);
// Absent fields read as empty.
TalkerIDs readTalkerIDs(std::string_view text);

// Filter list (FL): "$PQVXFL,--RMC,01000", with ",%u" the frequency when asked for.
std::string filterCommand(const Filter& filter, bool withFrequency);
std::string clearFiltersCommand();
// Nil unless it has an address and exactly five flag characters.
std::optional<Filter> readFilter(std::string_view text, bool withFrequency);

// Channel speeds (SP), the earlier generation's.
std::string speedsCommand(const Speeds& speeds);
SpeedsReply readSpeeds(std::string_view text);

// Overflow (OV).
std::optional<unsigned> readOverflow(std::string_view text);

// A decimal integer as the device writes it: leading blanks skipped, reading stops at the first
// non-digit, no digits read as 0.
int readInt(std::string_view text);

} // namespace codec
