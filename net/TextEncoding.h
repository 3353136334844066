#pragma once
// Texts on the wire: UTF-8 checked whole, and a UTF-8 text as the bytes of a socket's encoding.

#include "base/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

enum class TextEncoding { ASCII, UTF8, Latin1 };

// Well-formed UTF-8: shortest forms only, no surrogates, nothing past U+10FFFF.
bool validUtf8(const uint8_t* p, size_t n);

// The UTF-8 text's characters in the encoding; nothing when the text is not UTF-8 or holds a
// character the encoding lacks.
std::optional<Bytes> encodeText(std::string_view text, TextEncoding encoding);
