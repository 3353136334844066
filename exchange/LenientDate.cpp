#include "exchange/LenientDate.h"

#include <array>
#include <cctype>
#include <string>
#include <vector>

namespace exchange {

namespace {

struct Token {
    enum Kind { Number, Word, Mark } kind;
    std::string text; // digits, lower-case letters, or the mark
    unsigned value() const { return text.size() > 9 ? 1000000000u : static_cast<unsigned>(std::stoul(text)); }
};

// Blanks and commas only separate; every other character belongs to a token.
std::optional<std::vector<Token>> tokenize(std::string_view text) {
    std::vector<Token> tokens;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (std::isspace(c) || c == ',') {
            ++i;
        } else if (std::isdigit(c) || std::isalpha(c)) {
            const bool digit = std::isdigit(c);
            size_t end = i;
            while (end < text.size() && (digit ? std::isdigit(static_cast<unsigned char>(text[end]))
                                               : std::isalpha(static_cast<unsigned char>(text[end]))))
                ++end;
            std::string piece(text.substr(i, end - i));
            for (char& ch : piece)
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            tokens.push_back({digit ? Token::Number : Token::Word, std::move(piece)});
            i = end;
        } else if (c == '-' || c == '/' || c == '.' || c == ':' || c == '+') {
            tokens.push_back({Token::Mark, std::string(1, static_cast<char>(c))});
            ++i;
        } else {
            return std::nullopt;
        }
        if (tokens.size() > 64)
            return std::nullopt;
    }
    return tokens;
}

unsigned monthOf(const std::string& word) {
    static const std::array<const char*, 12> names = {"january",   "february", "march",    "april",
                                                      "may",       "june",     "july",     "august",
                                                      "september", "october",  "november", "december"};
    for (unsigned m = 0; m < 12; ++m) {
        const std::string name = names[m];
        if (word == name || (word.size() >= 3 && name.compare(0, word.size(), word) == 0) ||
            (word == "sept" && m == 8))
            return m + 1;
    }
    return 0;
}

bool isWeekday(const std::string& word) {
    static const std::array<const char*, 7> names = {"monday", "tuesday",  "wednesday", "thursday",
                                                     "friday", "saturday", "sunday"};
    for (const char* name : names) {
        const std::string full = name;
        if (word.size() >= 3 && full.compare(0, word.size(), word) == 0)
            return true;
    }
    return word == "tues" || word == "thur" || word == "thurs";
}

class Reader {
public:
    explicit Reader(std::vector<Token> tokens) : t_(std::move(tokens)) {}

    std::optional<ChartDate> read(DefaultZone zone) {
        while (at_ < t_.size()) {
            if (!step())
                return std::nullopt;
        }
        if (!resolveDay() || year_ < 0 || month_ == 0 || day_ == 0)
            return std::nullopt;
        if (pm_ || am_) {
            if (!hasTime_ || hour_ < 1 || hour_ > 12)
                return std::nullopt;
            hour_ = hour_ % 12 + (pm_ ? 12 : 0);
        }
        return composeDate(year_, month_, day_, hour_, minute_, second_, offset_, zone);
    }

private:
    bool isMark(size_t i, char mark) const {
        return i < t_.size() && t_[i].kind == Token::Mark && t_[i].text[0] == mark;
    }
    bool isNumber(size_t i, size_t minDigits = 1, size_t maxDigits = 9) const {
        return i < t_.size() && t_[i].kind == Token::Number && t_[i].text.size() >= minDigits &&
               t_[i].text.size() <= maxDigits;
    }

    bool step() {
        const Token& token = t_[at_];
        if (token.kind == Token::Word)
            return word(token.text);
        if (token.kind == Token::Mark)
            return (token.text == "+" || token.text == "-") && hasTime_ && zoneOffset();
        if (isMark(at_ + 1, ':'))
            return time();
        if (year_ < 0 && isNumber(at_, 4, 4) &&
            (isMark(at_ + 1, '-') || isMark(at_ + 1, '/') || isMark(at_ + 1, '.')))
            return yearFirst();
        if (year_ < 0 && isNumber(at_, 1, 2) &&
            (isMark(at_ + 1, '/') || isMark(at_ + 1, '.') || isMark(at_ + 1, '-')))
            return dayOrMonthFirst();
        if (year_ < 0 && isNumber(at_, 4, 4)) {
            year_ = token.value();
            ++at_;
            return true;
        }
        if (isNumber(at_, 1, 2) && loneDays_.size() < 2) {
            loneDays_.push_back(token.value());
            ++at_;
            return true;
        }
        return false;
    }

    bool word(const std::string& w) {
        ++at_;
        if (w == "t" || w == "at" || w == "of" || w == "the" || isWeekday(w) || w == "st" || w == "nd" ||
            w == "rd" || w == "th")
            return true;
        if (w == "z" || w == "utc" || w == "gmt" || w == "ut") {
            if (offset_)
                return false;
            offset_ = 0;
            if (isMark(at_, '+') || isMark(at_, '-'))
                return zoneOffset();
            return true;
        }
        if (w == "am" || w == "pm" || w == "a" || w == "p") {
            if (isMark(at_, '.') && w.size() == 1) { // "p.m."
                ++at_;
                if (!(at_ < t_.size() && t_[at_].text == "m"))
                    return false;
                ++at_;
                if (isMark(at_, '.'))
                    ++at_;
            } else if (w.size() == 1) {
                return false;
            }
            (w[0] == 'p' ? pm_ : am_) = true;
            return !(pm_ && am_);
        }
        if (const unsigned m = monthOf(w); m != 0 && month_ == 0) {
            month_ = m;
            if (isMark(at_, '-') || isMark(at_, '.')) // "01-May-2024", "May.", "May-01"
                ++at_;
            return true;
        }
        return false;
    }

    // H:M[:S[.fraction]]
    bool time() {
        if (hasTime_ || !isNumber(at_, 1, 2) || !isNumber(at_ + 2, 2, 2))
            return false;
        hour_ = t_[at_].value();
        minute_ = t_[at_ + 2].value();
        at_ += 3;
        if (isMark(at_, ':')) {
            if (!isNumber(at_ + 1, 2, 2))
                return false;
            second_ = t_[at_ + 1].value();
            at_ += 2;
            if (isMark(at_, '.') && isNumber(at_ + 1, 1, 9)) {
                const std::string& digits = t_[at_ + 1].text;
                second_ += std::stod("0." + digits);
                at_ += 2;
            }
        }
        hasTime_ = true;
        return true;
    }

    // +hh, +hhmm or +hh:mm after the time.
    bool zoneOffset() {
        if (offset_ && *offset_ != 0)
            return false;
        const int sign = t_[at_].text == "-" ? -1 : 1;
        ++at_;
        if (!isNumber(at_, 1, 4))
            return false;
        const std::string& digits = t_[at_].text;
        unsigned hours = 0, minutes = 0;
        if (digits.size() <= 2) {
            hours = t_[at_].value();
            ++at_;
            if (isMark(at_, ':') && isNumber(at_ + 1, 2, 2)) {
                minutes = t_[at_ + 1].value();
                at_ += 2;
            }
        } else if (digits.size() == 4) {
            hours = std::stoul(digits.substr(0, 2));
            minutes = std::stoul(digits.substr(2));
            ++at_;
        } else {
            return false;
        }
        if (hours > 14 || minutes > 59)
            return false;
        offset_ = sign * static_cast<int>(hours * 60 + minutes);
        return true;
    }

    // YYYY-MM-DD, YYYY/MM/DD, YYYY.MM.DD (the same mark twice).
    bool yearFirst() {
        const char mark = t_[at_ + 1].text[0];
        if (!isNumber(at_ + 2, 1, 2) || !isMark(at_ + 3, mark) || !isNumber(at_ + 4, 1, 2))
            return false;
        year_ = t_[at_].value();
        month_ = t_[at_ + 2].value();
        day_ = t_[at_ + 4].value();
        at_ += 5;
        return true;
    }

    // MM/DD/YYYY, DD.MM.YYYY, DD-MM-YYYY; or a day before a month name ("01-May-2024").
    bool dayOrMonthFirst() {
        const char mark = t_[at_ + 1].text[0];
        if (at_ + 2 < t_.size() && t_[at_ + 2].kind == Token::Word) {
            loneDays_.push_back(t_[at_].value());
            at_ += 2;
            return true;
        }
        if (!isNumber(at_ + 2, 1, 2) || !isMark(at_ + 3, mark) || !isNumber(at_ + 4, 4, 4) || month_ != 0)
            return false;
        const unsigned first = t_[at_].value(), second = t_[at_ + 2].value();
        month_ = mark == '/' ? first : second;
        day_ = mark == '/' ? second : first;
        year_ = t_[at_ + 4].value();
        at_ += 5;
        return true;
    }

    // A day given on its own goes with a month name.
    bool resolveDay() {
        if (loneDays_.empty())
            return true;
        if (loneDays_.size() > 1 || day_ != 0)
            return false;
        day_ = loneDays_[0];
        return true;
    }

    std::vector<Token> t_;
    size_t at_ = 0;
    long long year_ = -1;
    unsigned month_ = 0, day_ = 0, hour_ = 0, minute_ = 0;
    double second_ = 0.0;
    bool hasTime_ = false, am_ = false, pm_ = false;
    std::optional<int> offset_;
    std::vector<unsigned> loneDays_;
};

// The form nearly every GPX and KML time takes, "2024-05-01T12:30:45Z" with an optional fraction
// of a second, read without the tokens: a track of many points reads one per point. True when
// the text has that form; *date is then what the general reading gives.
bool readPlainUtc(std::string_view text, DefaultZone zone, std::optional<ChartDate>* date) {
    if (text.size() < 20 || text.size() == 21 || text.size() > 30 || text[4] != '-' || text[7] != '-' ||
        text[10] != 'T' || text[13] != ':' || text[16] != ':' || text.back() != 'Z')
        return false;
    unsigned field[6] = {};
    const size_t at[6] = {0, 5, 8, 11, 14, 17}, width[6] = {4, 2, 2, 2, 2, 2};
    for (size_t k = 0; k < 6; ++k) {
        for (size_t i = at[k]; i < at[k] + width[k]; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return false;
            field[k] = field[k] * 10 + static_cast<unsigned>(text[i] - '0');
        }
    }
    double second = field[5];
    if (text.size() > 20) {
        const std::string_view digits = text.substr(20, text.size() - 21);
        if (text[19] != '.' || digits.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        second += std::stod("0." + std::string(digits));
    }
    *date = composeDate(field[0], field[1], field[2], field[3], field[4], second, 0, zone);
    return true;
}

} // namespace

std::optional<ChartDate> readDate(std::string_view text, DefaultZone zone) {
    if (std::optional<ChartDate> date; readPlainUtc(text, zone, &date))
        return date;
    auto tokens = tokenize(text);
    if (!tokens || tokens->empty())
        return std::nullopt;
    return Reader(std::move(*tokens)).read(zone);
}

} // namespace exchange
