#pragma once
// The user's choice of units for the navigation library, kept in the preference store under one
// key per field. Codes are those the formatters understand; see Formatters.h.

class UnitsModel {
public:
    UnitsModel() = default;

    // The process-wide choice, created on first use. Main thread only.
    static UnitsModel& units();

    // 0 degrees and decimal minutes; 1 hemisphere first, dotted; 2 decimal degrees; 3 d/m/s.
    unsigned positionFormatUnits() const { return positionFormatUnits_; }
    // 0 NM, short in feet or yards; 1 NM, short in metres; 2 NM; 3 km; 4 statute miles.
    unsigned surfaceDistanceUnits() const { return surfaceDistanceUnits_; }
    // 0 feet; 1 metres; 2 fathoms.
    unsigned waterDepthUnits() const { return waterDepthUnits_; }
    // 0 knots; 1 mph; 2 km/h.
    unsigned boatSpeedUnits() const { return boatSpeedUnits_; }
    // 0 knots; 1 mph; 2 km/h; 3 m/s.
    unsigned windSpeedUnits() const { return windSpeedUnits_; }
    // 0 Fahrenheit; 1 Celsius; 2 Kelvin.
    unsigned temperatureUnits() const { return temperatureUnits_; }
    // A display mode kept for the application.
    unsigned modeUnits() const { return modeUnits_; }

    // Stored as given; the formatters treat unknown codes as "no text".
    void setPositionFormatUnits(unsigned code) { positionFormatUnits_ = code; }
    void setSurfaceDistanceUnits(unsigned code) { surfaceDistanceUnits_ = code; }
    void setWaterDepthUnits(unsigned code) { waterDepthUnits_ = code; }
    void setBoatSpeedUnits(unsigned code) { boatSpeedUnits_ = code; }
    void setWindSpeedUnits(unsigned code) { windSpeedUnits_ = code; }
    void setTemperatureUnits(unsigned code) { temperatureUnits_ = code; }
    void setModeUnits(unsigned code) { modeUnits_ = code; }

    void saveSettings() const;
    // A stored code outside the field's range reads as 0; a missing key keeps the field.
    void loadSettings();

private:
    unsigned positionFormatUnits_ = 0;
    unsigned surfaceDistanceUnits_ = 2;
    unsigned waterDepthUnits_ = 0;
    unsigned boatSpeedUnits_ = 0;
    unsigned windSpeedUnits_ = 0;
    unsigned temperatureUnits_ = 0;
    unsigned modeUnits_ = 0;
};
