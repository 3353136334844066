#pragma once
// The lenient date reader: ISO 8601 and its near relatives, slashed and dotted numeric dates, and
// dates with English month names, each with an optional time and zone.

#include "exchange/DateText.h"

namespace exchange {

// A lenient reader for the dates people and programs write; see the README for the forms it
// takes. A text that gives no zone is read in the default zone. Nothing for any other text.
std::optional<ChartDate> readDate(std::string_view text, DefaultZone zone);

} // namespace exchange
