#pragma once
// printf-style text that the compiler checks against its arguments and that is never cut short.

#include <cstdarg>
#include <string>

namespace base {

[[gnu::format(printf, 1, 2)]] std::string textf(const char* format, ...);
[[gnu::format(printf, 1, 0)]] std::string vtextf(const char* format, va_list args);

} // namespace base
