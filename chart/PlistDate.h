#pragma once
// Property-list dates of any year. The library's date calls carry whole seconds in 32 bits, which
// reach only 1933 to 2069; its nodes hold the full value, so dates go in and out through the
// one-object binary form instead.

#include "chart/ChartMarker.h"

#include <plist/plist.h>

#include <optional>

namespace chart {

// A date node; nothing for a date that is not finite.
plist_t newPlistDate(ChartDate date);
// The date of a date node; nothing for any other node.
std::optional<ChartDate> plistDateValue(plist_t node);

} // namespace chart
