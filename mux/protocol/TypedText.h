#pragma once
// What the user's typing may put into a sentence. Talker IDs and filter addresses are made of
// ASCII letters and digits only, so that every character is one byte on the wire and the length
// rules count what the device will see.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// A talker-ID field as it goes out: upper-cased, only ASCII letters and digits, at most two.
std::string talkerIDField(std::string_view text);

// The outcome of an edit of a talker-ID field (typed as UTF-8): the text the field keeps,
// whether something typed was refused (a beep), and whether the IDs are to be sent (the field
// holds two characters, or none after the user emptied it; blanks trimmed).
struct TalkerIDEdit {
    std::string text;
    bool refused = false;
    bool send = false;
};
TalkerIDEdit editTalkerID(std::string_view typed);

// A filter entry's address from what the user typed or the device reported: upper-cased and
// widened, a talker ("GP") to "GP---", a sentence code ("RMC") to "--RMC". Nil unless it is two,
// three or five ASCII letters and digits (a five-character address may carry the widening dashes).
std::optional<std::string> filterAddress(std::string_view text);

// The outcome of an edit of the sentence box: the text it keeps (blanks trimmed, at most five
// characters, nothing an address cannot hold), whether something was refused (a beep), and
// whether Add is to be enabled (a valid address while the list has room).
struct FilterTextEdit {
    std::string text;
    bool refused = false;
    bool addable = false;
};
constexpr size_t kMaxFilters = 50; // Add stays possible while the list holds at most this many
FilterTextEdit editFilterText(std::string_view typed, size_t listSize);

// The filter address a capture takes from a received sentence (its text up to the checksum):
// the address field (up to the first comma, start character left out), or, while talker IDs are
// imposed, its three-letter sentence code. Nil when that forms no entry.
std::optional<std::string> captureAddress(std::string_view sentence, bool byFormatter);
