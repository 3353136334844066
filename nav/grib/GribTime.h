#pragma once
// Forecast times of GRIB messages, in UTC, and their ISO 8601 text.

#include "nav/grib/GribDecoder.h"

#include <chrono>
#include <optional>
#include <string>

using GribDate = std::chrono::sys_seconds;

// The message's reference time (second 0).
GribDate gribReferenceDate(const GribRecord& record);
// When the values hold: for a moment (time ranges 0, 1, 10, 113, 123, 124) the reference time
// plus P1 in the message's time unit; for an average, sum or difference over a period (2, 3, 4,
// 5, 118, 119) the period's end, P2; the reference time for ranges that name no time.
GribDate gribForecastDate(const GribRecord& record);
// Seconds of one forecast time unit; 0 for a unit that has no fixed length.
long long gribTimeUnitSeconds(int unit);

// "2011-10-08T06:00:00Z".
std::string isoDate(GribDate date);
// "YYYY-MM-DD", "YYYY-MM-DDTHH:MM" or "YYYY-MM-DDTHH:MM:SS", with or without a final "Z"; UTC.
std::optional<GribDate> parseIsoDate(const std::string& text);
