#include "base/Format.h"

#include <cstdio>

namespace base {

std::string vtextf(const char* format, va_list args) {
    // Most texts are short: one pass into a stack buffer, a second only when it did not fit.
    char small[256];
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (length <= 0)
        return {};
    if (static_cast<size_t>(length) < sizeof small)
        return std::string(small, static_cast<size_t>(length));
    std::string text(static_cast<size_t>(length), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

std::string textf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vtextf(format, args);
    va_end(args);
    return text;
}

} // namespace base
