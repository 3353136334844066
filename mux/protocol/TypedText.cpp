#include "mux/protocol/TypedText.h"

#include <algorithm>

namespace {

bool alnum(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Keeps the characters allowed, dropping whole UTF-8 sequences of anything else.
std::string keep(std::string_view typed, bool (*allowed)(char), bool* refused) {
    std::string out;
    for (char c : typed) {
        if (allowed(c))
            out += c;
        else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) // count a character once
            *refused = true;
    }
    return out;
}

} // namespace

std::string talkerIDField(std::string_view text) {
    std::string id;
    for (char c : text)
        if (alnum(c) && id.size() < 2)
            id += upper(c);
    return id;
}

TalkerIDEdit editTalkerID(std::string_view typed) {
    TalkerIDEdit edit;
    bool invalid = false;
    edit.text = keep(
        typed, [](char c) { return alnum(c) || c == ' '; }, &invalid);
    edit.refused = invalid;
    if (edit.text.size() > 2) {
        edit.text.resize(2);
        edit.refused = true;
    }
    // A field the user emptied goes out empty; one that a refused character left empty does not.
    const size_t n = trimmed(edit.text).size();
    edit.send = n == 2 || (n == 0 && !invalid);
    return edit;
}

std::optional<std::string> filterAddress(std::string_view text) {
    std::string address;
    for (char c : text)
        address += upper(c);
    const auto all = [](std::string_view s, auto test) { return std::all_of(s.begin(), s.end(), test); };
    const auto letters = [](char c) { return alnum(c); };
    const auto dashes = [](char c) { return c == '-'; };
    if (address.size() == 2 && all(address, letters))
        return address + "---";
    if (address.size() == 3 && all(address, letters))
        return "--" + address;
    if (address.size() != 5)
        return std::nullopt;
    const std::string_view talker = std::string_view(address).substr(0, 2),
                           code = std::string_view(address).substr(2);
    const bool talkerOk = all(talker, letters) || all(talker, dashes);
    const bool codeOk = all(code, letters) || all(code, dashes);
    if (!talkerOk || !codeOk || all(address, dashes))
        return std::nullopt;
    return address;
}

FilterTextEdit editFilterText(std::string_view typed, size_t listSize) {
    FilterTextEdit edit;
    edit.text = keep(
        trimmed(typed), [](char c) { return alnum(c) || c == '-'; }, &edit.refused);
    if (edit.text.size() > 5) {
        edit.text.resize(5);
        edit.refused = true;
    }
    edit.addable = listSize <= kMaxFilters && filterAddress(edit.text).has_value();
    return edit;
}

std::optional<std::string> captureAddress(std::string_view sentence, bool byFormatter) {
    if (sentence.empty() || (sentence[0] != '$' && sentence[0] != '!'))
        return std::nullopt;
    std::string_view address = sentence.substr(1, sentence.find(',') - 1);
    if (byFormatter) {
        if (address.size() != 5 || !std::all_of(address.begin(), address.end(), alnum))
            return std::nullopt;
        address.remove_prefix(2);
    }
    if (!std::all_of(address.begin(), address.end(), alnum))
        return std::nullopt;
    return filterAddress(address);
}
