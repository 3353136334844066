#pragma once
// Text pieces of the exchange files: XML-safe text and numbers written the same whatever the
// process's locale.

#include <string>
#include <string_view>

namespace exchange {

// The text as XML character data: "&", "<" and ">" escaped; a carriage return written as "&#13;"
// so that it reads back; control characters XML cannot carry, U+FFFE, U+FFFF and bytes that are
// not UTF-8 each replaced by U+FFFD. Quotes are left alone (the text never goes into an attribute).
std::string xmlEscaped(std::string_view text);
// The same repair of the UTF-8 and the control characters, without the XML escapes.
std::string validUtf8(std::string_view text);

// printf's "%.<decimals>f" in the C locale.
std::string fixed(double value, int decimals);
// printf's "%0<width>.<decimals>f" in the C locale.
std::string zeroPadded(double value, int width, int decimals);

// A decimal number filling the whole text (a leading "+" allowed), in the C locale; finite only.
bool readFloat(std::string_view text, float* value);
bool readDouble(std::string_view text, double* value);

} // namespace exchange
