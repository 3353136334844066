#include "nav/Formatters.h"

#include "base/Format.h"
#include "nav/NavMath.h"
#include "nav/UnitsModel.h"
#include "support/Alert.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr const char* kDegreeSign = "\xC2\xB0"; // same length in UTF-8 as the mark

using base::textf;

const UnitsModel& units() {
    return UnitsModel::units();
}

// Whole degrees must fit an int; anything beyond is no coordinate.
bool formattable(float v) {
    return std::isfinite(v) && std::fabs(v) < 1.0e9f;
}

// Whole degrees and decimal minutes of |v|, the minutes rounded to `decimals` places with the
// carry into the degrees, so a value a hair under a whole degree never shows 60 minutes.
struct DegreesMinutes {
    long degrees;
    double minutes;
};

DegreesMinutes splitDegrees(float value, int decimals) {
    const double v = std::fabs(static_cast<double>(value));
    long d = static_cast<long>(v);
    double m = (v - static_cast<double>(d)) * 60.0;
    const double scale = std::pow(10.0, decimals);
    if (std::nearbyint(m * scale) / scale >= 60.0) {
        d += 1;
        m = 0.0;
    }
    return {d, m};
}

// Reads text the way the position and speed fields expect: white space skipped before each item.
class Scanner {
public:
    explicit Scanner(const std::string& text) : text_(text) {}

    void skipWhitespace() {
        while (pos_ < text_.size() && std::strchr(" \t\r\n", text_[pos_]) && text_[pos_] != '\0')
            ++pos_;
    }

    bool atEnd() {
        skipWhitespace();
        return pos_ >= text_.size();
    }

    // [+-]digits[.digits][(e|E)[+-]digits], or [+-].digits; no "nan" or "inf".
    bool scanNumber(double* out) {
        skipWhitespace();
        size_t p = pos_;
        if (p < text_.size() && (text_[p] == '+' || text_[p] == '-'))
            ++p;
        const size_t intStart = p;
        while (p < text_.size() && isDigit(text_[p]))
            ++p;
        bool digits = p > intStart;
        if (p < text_.size() && text_[p] == '.') {
            const size_t fracStart = ++p;
            while (p < text_.size() && isDigit(text_[p]))
                ++p;
            digits = digits || p > fracStart;
        }
        if (!digits)
            return false;
        if (p < text_.size() && (text_[p] == 'e' || text_[p] == 'E')) {
            size_t q = p + 1;
            if (q < text_.size() && (text_[q] == '+' || text_[q] == '-'))
                ++q;
            const size_t expStart = q;
            while (q < text_.size() && isDigit(text_[q]))
                ++q;
            if (q > expStart)
                p = q;
        }
        *out = std::strtod(text_.substr(pos_, p - pos_).c_str(), nullptr);
        pos_ = p;
        return std::isfinite(*out);
    }

    // One of the given ASCII characters; stores it.
    bool scanCharacter(const char* set, char* out) {
        skipWhitespace();
        if (pos_ < text_.size() && text_[pos_] != '\0' && std::strchr(set, text_[pos_])) {
            *out = text_[pos_++];
            return true;
        }
        return false;
    }

    bool scanLiteral(const char* literal) {
        skipWhitespace();
        const size_t n = std::strlen(literal);
        if (text_.compare(pos_, n, literal) == 0) {
            pos_ += n;
            return true;
        }
        return false;
    }

    // The common degree sign is taken too: it is what keyboards and help texts offer.
    bool scanDegreeMark() { return scanLiteral("*") || scanLiteral(kDegreeMark) || scanLiteral(kDegreeSign); }

    // Digits up to the next dot, dots before it skipped.
    bool scanDottedPart(long* out) {
        while (pos_ < text_.size() && (text_[pos_] == '.' || std::strchr(" \t\r\n", text_[pos_])))
            ++pos_;
        const size_t start = pos_;
        while (pos_ < text_.size() && isDigit(text_[pos_]) && pos_ - start < 9)
            ++pos_;
        if (pos_ == start ||
            (pos_ < text_.size() && text_[pos_] != '.' && !std::strchr(" \t\r\n", text_[pos_])))
            return false;
        *out = std::strtol(text_.substr(start, pos_ - start).c_str(), nullptr, 10);
        return true;
    }

private:
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    const std::string& text_;
    size_t pos_ = 0;
};

bool fail(std::string* errorDescription, const std::string& key) {
    if (errorDescription)
        *errorDescription = key;
    return false;
}

} // namespace

bool Formatter::getObjectValue(float*, const std::string&, std::string*) const {
    return false;
}

bool Formatter::isPartialStringValid(const std::string&, std::string*, std::string*) const {
    return true;
}

std::string formatGroupedNumber(double value, int decimals, bool plusSign) {
    if (!std::isfinite(value))
        return {};
    std::string digits = textf("%.*f", decimals, std::fabs(value));
    const bool negative = std::signbit(value) && digits.find_first_not_of("0.") != std::string::npos;
    const size_t point = digits.find('.');
    const size_t intLength = point == std::string::npos ? digits.size() : point;
    std::string grouped;
    grouped.reserve(digits.size() + digits.size() / 3 + 2);
    if (negative)
        grouped += '-';
    else if (plusSign)
        grouped += '+';
    for (size_t i = 0; i < intLength; ++i) {
        if (i > 0 && (intLength - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    grouped.append(digits, intLength, std::string::npos);
    return grouped;
}

// ---- positions

std::optional<std::string> NSPositionFormatter::stringForObjectValue(std::optional<float> value) const {
    if (!value)
        return std::string();
    return formatPosition(value);
}

std::optional<std::string> NSPositionFormatter::formatPosition(std::optional<float> value) const {
    if (!value || !formattable(*value))
        return std::nullopt;
    const float v = *value;
    const bool lat = isLatitude();
    const char hemisphere = lat ? (v >= 0.0f ? 'N' : 'S') : (v > 0.0f ? 'E' : 'W');
    const char* pad = lat && align_ ? "  " : "";
    switch (units().positionFormatUnits()) {
    case 0: {
        const DegreesMinutes dm = splitDegrees(v, 2);
        return textf(lat ? "%s%02ld%s%05.2f'%c" : "%s%03ld%s%05.2f'%c", pad, dm.degrees, kDegreeMark,
                     dm.minutes, hemisphere);
    }
    case 1: {
        const DegreesMinutes dm = splitDegrees(v, 3);
        return textf(lat ? "%s%c%02ld.%06.3f" : "%s%c%03ld.%06.3f", pad, hemisphere, dm.degrees, dm.minutes);
    }
    case 2:
        return textf(lat ? "%s%09.6f%c" : "%s%010.6f%c", pad, std::fabs(static_cast<double>(v)), hemisphere);
    case 3: {
        const double a = std::fabs(static_cast<double>(v));
        const long d = static_cast<long>(a);
        double m = (a - static_cast<double>(d)) * 60.0;
        double s = (m - std::floor(m)) * 60.0;
        // Capped rather than rounded up into the next unit.
        m = std::min(m, 59.9);
        s = std::min(s, 59.9);
        return textf(lat ? "%s%02ld%s%02ld'%04.1f\"%c" : "%s%03ld%s%02ld'%04.1f\"%c", pad, d, kDegreeMark,
                     static_cast<long>(m), s, hemisphere);
    }
    default:
        return std::nullopt;
    }
}

std::optional<std::string> NSPositionFormatter::nmeaFormat(std::optional<float> value) const {
    if (!value || !formattable(*value))
        return std::nullopt;
    const DegreesMinutes dm = splitDegrees(*value, 3);
    return textf(isLatitude() ? "%02ld%06.3f" : "%03ld%06.3f", dm.degrees, dm.minutes);
}

bool NSPositionFormatter::getObjectValue(float* value, const std::string& text,
                                         std::string* errorDescription) const {
    if (text.empty())
        return false;
    const unsigned form = units().positionFormatUnits();
    if (form > 3)
        return false;
    const bool lat = isLatitude();
    static const char* const formatKeys[2][4] = {{"NSInvalidLongitudeFormat1", "NSInvalidLongitudeFormat2",
                                                  "NSInvalidLongitudeFormat3", "NSInvalidLongitudeFormat4"},
                                                 {"NSInvalidLatitudeFormat1", "NSInvalidLatitudeFormat2",
                                                  "NSInvalidLatitudeFormat3", "NSInvalidLatitudeFormat4"}};
    static const char* const rangeKeys[2][4] = {{"NSInvalidLongitudeRange1", "NSInvalidLongitudeRange2",
                                                 "NSInvalidLongitudeRange3", "NSInvalidLongitudeRange1"},
                                                {"NSInvalidLatitudeRange1", "NSInvalidLatitudeRange2",
                                                 "NSInvalidLatitudeRange3", "NSInvalidLatitudeRange1"}};
    const std::string formatError = formatKeys[lat][form];
    const std::string rangeError = rangeKeys[lat][form];
    const char* hemispheres = lat ? "SN" : "WE";
    const double limit = lat ? 90.0 : 180.0;

    Scanner scan(text);
    double d = 0.0, m = 0.0, s = 0.0;
    char hemisphere = 0;
    bool ok = false;
    switch (form) {
    case 0:
        ok = scan.scanNumber(&d) && scan.scanDegreeMark() && scan.scanNumber(&m) && scan.scanLiteral("'") &&
             scan.scanCharacter(hemispheres, &hemisphere);
        break;
    case 1: {
        long whole = 0, minutes = 0, thousandths = 0;
        ok = scan.scanCharacter(hemispheres, &hemisphere) && scan.scanDottedPart(&whole) &&
             scan.scanDottedPart(&minutes) && scan.scanDottedPart(&thousandths);
        d = static_cast<double>(whole);
        m = static_cast<double>(minutes) + static_cast<double>(thousandths) / 1000.0;
        break;
    }
    case 2:
        ok = scan.scanNumber(&d) && scan.scanCharacter(hemispheres, &hemisphere);
        break;
    case 3:
        ok = scan.scanNumber(&d) && scan.scanDegreeMark() && scan.scanNumber(&m) && scan.scanLiteral("'") &&
             scan.scanNumber(&s) && scan.scanLiteral("\"") && scan.scanCharacter(hemispheres, &hemisphere);
        break;
    }
    if (!ok || !scan.atEnd() || value == nullptr)
        return fail(errorDescription, formatError);
    // The range holds for the value as kept: 89.99999999 would round to 90 as a float.
    const auto kept = static_cast<float>(d + m / 60.0 + s / 3600.0);
    const bool inRange = d >= 0.0 && d < limit && m >= 0.0 && m < 60.0 && s >= 0.0 && s < 60.0 &&
                         static_cast<double>(kept) < limit;
    if (!inRange)
        return fail(errorDescription, rangeError);
    *value = (hemisphere == 'S' || hemisphere == 'W') ? -kept : kept;
    return true;
}

bool NSPositionFormatter::isPartialStringValid(const std::string& partial, std::string*, std::string*) const {
    const unsigned form = units().positionFormatUnits();
    if (form >= 3)
        return true;
    const char* allowed = form == 0 ? "0123456789.NSWE*'" : "0123456789.NSWE";
    const size_t markLength = std::strlen(kDegreeMark);
    for (size_t i = 0; i < partial.size(); ++i) {
        if (form == 0 && (partial.compare(i, markLength, kDegreeMark) == 0 ||
                          partial.compare(i, markLength, kDegreeSign) == 0)) {
            i += markLength - 1;
            continue;
        }
        if (partial[i] == '\0' || !std::strchr(allowed, partial[i]))
            return false;
    }
    return true;
}

// ---- speeds

std::optional<std::string> NSSogFormatter::stringForObjectValue(std::optional<float> value) const {
    if (!value || !std::isfinite(*value))
        return std::string();
    const double v = *value;
    switch (units().boatSpeedUnits()) {
    case 0:
        return showUnits_ ? textf("%.1f KTS", v) : textf("%.1f", v);
    case 1:
        return textf("%.1f MPH", v * 1.1516);
    case 2:
        return textf("%.1f KM/H", v * 1.8533);
    default:
        return std::string();
    }
}

bool NSSogFormatter::getObjectValue(float* value, const std::string& text, std::string*) const {
    Scanner scan(text);
    double v = 0.0;
    if (!scan.scanNumber(&v) || !scan.atEnd() || value == nullptr)
        return false;
    // The range holds for the value as kept: 99.99999999 would round to 100 as a float.
    const auto kept = static_cast<float>(v);
    if (!(kept >= 0.0f && kept < 100.0f))
        return false;
    *value = kept;
    return true;
}

std::optional<std::string> NSAwsFormatter::stringForObjectValue(std::optional<float> value) const {
    const unsigned code = units().windSpeedUnits();
    if (code > 3)
        return std::nullopt;
    if (!value || !std::isfinite(*value))
        return std::string();
    const double v = *value;
    switch (code) {
    case 0:
        return textf("%.1f KTS", v);
    case 1:
        return textf("%.1f MPH", v * 1.1516);
    case 2:
        return textf("%.1f KP/H", v * 1.8533);
    default:
        return textf("%.1f m/s", v * 0.5144);
    }
}

// ---- angles

void NSCogFormatter::setMagnetic(bool magnetic) {
    magnetic_ = magnetic;
    if (!magnetic)
        variation_ = 0.0f;
}

std::optional<std::string> NSCogFormatter::stringForObjectValue(std::optional<float> value) const {
    if (!value || !std::isfinite(*value) || *value < 0.0f || !std::isfinite(variation_))
        return std::string();
    const float course = std::min(NavMath::magneticBearing(*value, variation_), 359.0f);
    const bool isTrue = std::fabs(variation_) < 0.01f && !magnetic_;
    return textf("%03.0f%s ", static_cast<double>(course), kDegreeMark) +
           Alert::localizedStringWithKey(isTrue ? "NSTrue" : "NSMag");
}

std::optional<std::string> NSAwaFormatter::stringForObjectValue(std::optional<float> value) const {
    if (!value || !std::isfinite(*value))
        return std::string();
    const float v = *value;
    const std::string side = v >= 1.0f
                                 ? Alert::localizedStringWithKey("NSStarboard")
                                 : (v <= -1.0f ? Alert::localizedStringWithKey("NSPort") : std::string());
    return textf("%03.0f%s ", std::fabs(static_cast<double>(v)), kDegreeMark) + side;
}

// ---- distances and times

std::optional<std::string> NSDtwFormatter::stringForObjectValue(std::optional<float> value) const {
    if (!value || !std::isfinite(*value) || *value < 0.0f)
        return std::string("---");
    const double v = *value;
    const int decimals = showFractional_ ? 2 : 0;
    const auto pattern = [&](double x) { return formatGroupedNumber(x, decimals, showSign_); };
    const auto whole = [&](double x) { return formatGroupedNumber(x, 0, showSign_); };
    switch (units().surfaceDistanceUnits()) {
    case 0:
        if (v < 1.0)
            return showFeet_ ? whole(v * 6080.4) + "'" : whole(v * 2026.8) + " YDS";
        return pattern(v) + " NM";
    case 1:
        if (v < 1.0)
            return whole(v * 1853.3) + " m";
        return pattern(v) + " NM";
    case 2:
        return pattern(v) + " NM";
    case 3:
        return pattern(v * 1.852) + " KM";
    case 4:
        return pattern(v * 1.1516) + " mi";
    default:
        return std::string("---");
    }
}

std::optional<std::string> NSXteFormatter::stringForObjectValue(std::optional<float> value) const {
    if (!value || !std::isfinite(*value))
        return std::string();
    const double v = std::fabs(static_cast<double>(*value));
    switch (units().surfaceDistanceUnits()) {
    case 0:
    case 1:
    case 2:
        return textf("%.2f NM ", v);
    case 3:
        return textf("%.2f KM ", v * 1.852);
    case 4:
        return textf("%.2f mi ", v * 1.1516);
    default:
        return std::string();
    }
}

std::optional<std::string> NSEtaFormatter::stringForObjectValue(std::optional<float> value) const {
    if (!value)
        return std::string();
    const float v = *value;
    // Unknown, past, or beyond what a clock face can hold.
    if (!(v > 0.0f) || !(v < 4.0e9f))
        return std::string("--:--");
    if (v < 0.016666668f)
        return textf(":%02d", static_cast<int>(v * 3600.0f));
    const unsigned hours = static_cast<unsigned>(v);
    const unsigned minutes = static_cast<unsigned>((v - static_cast<float>(hours)) * 60.0f);
    return textf("%u:%02u", hours, minutes);
}

std::optional<std::string> NSDptFormatter::stringForObjectValue(std::optional<float> value) const {
    if (!value || !std::isfinite(*value))
        return std::string();
    const double v = *value;
    switch (units().waterDepthUnits()) {
    case 0:
        return formatGroupedNumber(v, 1) + "'";
    case 1:
        return formatGroupedNumber(v * 0.3048, 1) + "m";
    case 2:
        return formatGroupedNumber(v * 0.1666, 1) + " ftm";
    default:
        return std::string();
    }
}

std::optional<std::string> NSTmpFormatter::stringForObjectValue(std::optional<float> value) const {
    if (!value || !std::isfinite(*value))
        return std::string();
    const double v = *value;
    switch (units().temperatureUnits()) {
    case 0:
        return textf("%.0f%sF", v, kDegreeMark);
    case 1:
        return textf("%.0f%sC", (v - 32.0) * 0.5555, kDegreeMark);
    case 2:
        return textf("%.0fK", (v + 459.67) * 0.5555556);
    default:
        return std::string();
    }
}

std::optional<std::string> NSLengthFormatter::stringForObjectValue(std::optional<float> value) const {
    if (!value || !std::isfinite(*value))
        return std::string();
    const double v = *value;
    switch (units().surfaceDistanceUnits()) {
    case 0:
    case 2:
    case 4:
        return formatGroupedNumber(v, 0) + "'";
    case 1:
    case 3:
        return formatGroupedNumber(v * 0.3048, 0) + " m";
    default:
        return std::string();
    }
}
