#pragma once
// Dates as the exchange files write and read them.

#include "chart/ChartMarker.h"

#include <optional>
#include <string>
#include <string_view>

namespace exchange {

// "2024-05-01T12:30:45Z": UTC, whole seconds (GPX).
std::string isoDateText(ChartDate date);
// "2024-05-01 12:30:45 +0000": the date's standard text, in UTC (CSV, KML).
std::string standardDateText(ChartDate date);

// Fixed positions of an ISO 8601 date, YYYY-MM-DD with an optional THH:MM:SS from the 19th
// character on, in the local time zone; a zone designator is not read. Nothing for a text of fewer
// than 10 characters or fields that are not numbers of a real date.
std::optional<ChartDate> dateFromFixedPositions(std::string_view text);

enum class DefaultZone { Utc, Local };
// The date of calendar fields: in the given offset from UTC (minutes), else in the default zone;
// nothing for fields that name no real date.
std::optional<ChartDate> composeDate(long long year, unsigned month, unsigned day, unsigned hour,
                                     unsigned minute, double second, std::optional<int> offsetMinutes,
                                     DefaultZone zone);

// Days from 1970-01-01 of a proleptic Gregorian date, and back.
long long daysFromCivil(long long year, unsigned month, unsigned day);
void civilFromDays(long long days, long long* year, unsigned* month, unsigned* day);

} // namespace exchange
