#pragma once
// Formatters of positions, speeds, courses, distances, times, depths, temperatures, wind angles
// and lengths. Each reads the shared UnitsModel at every call, so a change of units shows at the
// next redisplay. Non-finite values never reach an integer conversion: they give nil or the
// formatter's "no value" text.

#include "nav/Formatter.h"

// One coordinate in signed decimal degrees.
class NSPositionFormatter : public Formatter {
public:
    enum Orientation : unsigned { Latitude = 0, Longitude = 1 };

    NSPositionFormatter() = default; // a longitude formatter
    explicit NSPositionFormatter(unsigned orientation) : orientation_(orientation) {}
    static NSPositionFormatter initWithOrientation(unsigned orientation) {
        return NSPositionFormatter(orientation);
    }

    unsigned orientation() const { return orientation_; }
    void setOrientation(unsigned orientation) { orientation_ = orientation; }
    bool align() const { return align_; }
    // Latitudes get two leading spaces so they line up under three-digit longitudes.
    void setAlign(bool align) { align_ = align; }
    unsigned format() const { return format_; }
    void setFormat(unsigned format) { format_ = format; }

    std::optional<std::string> stringForObjectValue(std::optional<float> value) const override;
    bool getObjectValue(float* value, const std::string& text, std::string* errorDescription) const override;
    bool isPartialStringValid(const std::string& partial, std::string* newEditingString,
                              std::string* errorDescription) const override;

    // In the user's position form; nil for nil, non-finite or unknown forms.
    std::optional<std::string> formatPosition(std::optional<float> value) const;
    // The NMEA field: ddmm.mmm or dddmm.mmm, no sign, no hemisphere.
    std::optional<std::string> nmeaFormat(std::optional<float> value) const;

private:
    bool isLatitude() const { return orientation_ == Latitude; }

    unsigned orientation_ = Longitude;
    unsigned format_ = 0; // kept for callers; the units decide the form
    bool align_ = false;
};

// Boat speed from knots; reads 0 <= speed < 100 back.
class NSSogFormatter : public Formatter {
public:
    void showUnits(bool flag) { showUnits_ = flag; }
    std::optional<std::string> stringForObjectValue(std::optional<float> value) const override;
    bool getObjectValue(float* value, const std::string& text, std::string* errorDescription) const override;

private:
    bool showUnits_ = true;
};

// Course over ground from degrees true, shown magnetic when a variation is set.
class NSCogFormatter : public Formatter {
public:
    float variation() const { return variation_; }
    void setVariation(float variation) { variation_ = variation; }
    // Turning magnetic off also clears the variation.
    void setMagnetic(bool magnetic);
    bool magnetic() const { return magnetic_; }
    std::optional<std::string> stringForObjectValue(std::optional<float> value) const override;

private:
    float variation_ = 0.0f;
    bool magnetic_ = false;
};

// Distance to waypoint from nautical miles; "---" when there is none.
class NSDtwFormatter : public Formatter {
public:
    void setShowSign(bool flag) { showSign_ = flag; }
    void setShowFractional(bool flag) { showFractional_ = flag; }
    void setShowFeet(bool flag) { showFeet_ = flag; }
    std::optional<std::string> stringForObjectValue(std::optional<float> value) const override;

private:
    bool showSign_ = false;
    bool showFractional_ = true;
    bool showFeet_ = false;
};

// Cross-track error from nautical miles; the side is not written.
class NSXteFormatter : public Formatter {
public:
    std::optional<std::string> stringForObjectValue(std::optional<float> value) const override;
};

// Time to go from hours: "h:mm", ":ss" below a minute, "--:--" when unknown.
class NSEtaFormatter : public Formatter {
public:
    std::optional<std::string> stringForObjectValue(std::optional<float> value) const override;
};

// Water depth from feet.
class NSDptFormatter : public Formatter {
public:
    std::optional<std::string> stringForObjectValue(std::optional<float> value) const override;
};

// Water temperature from degrees Fahrenheit.
class NSTmpFormatter : public Formatter {
public:
    std::optional<std::string> stringForObjectValue(std::optional<float> value) const override;
};

// Apparent wind angle, negative to port.
class NSAwaFormatter : public Formatter {
public:
    std::optional<std::string> stringForObjectValue(std::optional<float> value) const override;
};

// Apparent wind speed from knots.
class NSAwsFormatter : public Formatter {
public:
    std::optional<std::string> stringForObjectValue(std::optional<float> value) const override;
};

// A length from feet.
class NSLengthFormatter : public Formatter {
public:
    std::optional<std::string> stringForObjectValue(std::optional<float> value) const override;
};
