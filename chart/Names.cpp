#include "chart/Names.h"

#include <cstdint>
#include <utf8proc.h>

namespace chart {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// One character of a UTF-8 text: its code point (a stray byte stands for itself) and length.
struct Character {
    uint32_t code;
    size_t length;
};

Character characterAt(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return {lead, 1};
    const size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (need == 0 || lead > 0xF4 || at + need > text.size())
        return {lead, 1};
    uint32_t code = lead & (0x3F >> (need - 1));
    for (size_t i = 1; i < need; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return {lead, 1};
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    return {code, need};
}

// One character's simple case folding, for the name order.
uint32_t foldCode(uint32_t code) {
    if (code < 0x80)
        return code >= 'A' && code <= 'Z' ? code + 32 : code;
    return static_cast<uint32_t>(utf8proc_tolower(static_cast<utf8proc_int32_t>(code)));
}

void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Compares the digit runs starting at a[i] and b[j] by value; advances both past their runs.
int compareDigitRuns(std::string_view a, size_t& i, std::string_view b, size_t& j) {
    while (i < a.size() && a[i] == '0' && i + 1 < a.size() && isDigit(a[i + 1]))
        ++i;
    while (j < b.size() && b[j] == '0' && j + 1 < b.size() && isDigit(b[j + 1]))
        ++j;
    size_t endA = i, endB = j;
    while (endA < a.size() && isDigit(a[endA]))
        ++endA;
    while (endB < b.size() && isDigit(b[endB]))
        ++endB;
    int result = 0;
    if (endA - i != endB - j)
        result = endA - i < endB - j ? -1 : 1;
    else if (int c = a.substr(i, endA - i).compare(b.substr(j, endB - j)); c != 0)
        result = c < 0 ? -1 : 1;
    i = endA;
    j = endB;
    return result;
}

} // namespace

std::string trimBlanks(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

int compareNames(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    int tieBreak = 0; // leading zeros: the shorter spelling first
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const size_t startA = i, startB = j;
            if (int c = compareDigitRuns(a, i, b, j); c != 0)
                return c;
            if (tieBreak == 0 && (i - startA) != (j - startB))
                tieBreak = (i - startA) < (j - startB) ? -1 : 1;
            continue;
        }
        const Character ca = characterAt(a, i), cb = characterAt(b, j);
        const uint32_t fa = foldCode(ca.code), fb = foldCode(cb.code);
        if (fa != fb)
            return fa < fb ? -1 : 1;
        i += ca.length;
        j += cb.length;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    if (tieBreak != 0)
        return tieBreak;
    const int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// Full case folding ("STRASSE" and "straße" fold alike); a stray byte stays as it is.
std::string foldCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    utf8proc_int32_t folded[8];
    for (size_t i = 0; i < text.size();) {
        const Character c = characterAt(text, i);
        if (c.length == 1 && c.code >= 0x80) {
            out += text[i];
        } else if (c.code < 0x80) {
            out += static_cast<char>(foldCode(c.code));
        } else {
            int last = 0;
            const utf8proc_ssize_t n = utf8proc_decompose_char(static_cast<utf8proc_int32_t>(c.code), folded,
                                                               8, UTF8PROC_CASEFOLD, &last);
            if (n <= 0 || n > 8)
                appendUtf8(out, c.code);
            for (utf8proc_ssize_t k = 0; k < n && n <= 8; ++k)
                appendUtf8(out, static_cast<uint32_t>(folded[k]));
        }
        i += c.length;
    }
    return out;
}

size_t characterCount(std::string_view text) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); i += characterAt(text, i).length)
        ++count;
    return count;
}

} // namespace chart
