#pragma once
// The value formatters of the navigation views: a stored value in the library's internal unit
// becomes display text in the user's unit, and some formatters read text back.

#include <optional>
#include <string>

class Formatter {
public:
    virtual ~Formatter() = default;

    // Display text for a value; nil value (or, for some formatters, an unknown unit) gives nil.
    virtual std::optional<std::string> stringForObjectValue(std::optional<float> value) const = 0;

    // Reads text back into *value. On failure returns false and, when errorDescription is given
    // and the formatter has one, stores a localized-message key there ("NSInvalidLatitudeFormat1"...).
    // Formatters that do not parse return false at once.
    virtual bool getObjectValue(float* value, const std::string& text, std::string* errorDescription) const;

    // Whether text being typed may stand; a view refuses (and beeps at) an edit that is not.
    virtual bool isPartialStringValid(const std::string& partial, std::string* newEditingString,
                                      std::string* errorDescription) const;
};

// Grouped decimal text as a number pattern "#,###,##0.00" gives it: commas every three integer
// digits, at least one integer digit, the given number of decimals, and "+" in front of
// non-negative values when plusSign is set. Empty for non-finite values.
std::string formatGroupedNumber(double value, int decimals, bool plusSign = false);

// The degree mark the formatters write and read, in UTF-8.
inline constexpr const char* kDegreeMark = "\xC2\xBA";
