// What the user reads: positions in each form and back, speeds, angles, distances, times, depths
// and temperatures in each unit, nothing odd for values that are not numbers, and the units kept.

#include "nav/Formatters.h"
#include "nav/UnitsModel.h"
#include "support/Alert.h"
#include "support/Settings.h"
#include "tests/support/Helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const std::string deg = kDegreeMark;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Every test starts from the initial units and restores them after.
class Formatters : public ::testing::Test {
protected:
    void SetUp() override { UnitsModel::units() = UnitsModel(); }
    void TearDown() override { UnitsModel::units() = UnitsModel(); }
    UnitsModel& units() { return UnitsModel::units(); }
};

TEST_F(Formatters, PositionForms) {
    const std::tuple<unsigned, unsigned, bool, float, std::string> cases[] = {
        // form, orientation, align
        {0, 0, false, -33.8667f, "33" + deg + "52.00'S"},
        {0, 0, true, 12.5f, "  12" + deg + "30.00'N"},
        {0, 1, true, 151.25f, "151" + deg + "15.00'E"},
        {0, 0, false, 12.99999f, "13" + deg + "00.00'N"}, // never 60 minutes
        {1, 0, false, 12.5f, "N12.30.000"},
        {1, 1, false, -151.25f, "W151.15.000"},
        {2, 0, false, -12.5f, "12.500000S"},
        {2, 0, true, 8.25f, "  08.250000N"},
        {3, 0, false, 12.5f, "12" + deg + "30'00.0\"N"},
        {3, 0, false, 12.99999f, "12" + deg + "59'59.9\"N"},
        {3, 1, false, -0.5125f, "000" + deg + "30'45.0\"W"},
    };
    for (const auto& [form, orientation, align, value, text] : cases) {
        units().setPositionFormatUnits(form);
        NSPositionFormatter f(orientation);
        f.setAlign(align);
        EXPECT_EQ(f.stringForObjectValue(value), text) << form << " " << value;
    }
    units().setPositionFormatUnits(4);
    EXPECT_FALSE(NSPositionFormatter().formatPosition(1.0f));
}

// Minutes carry into degrees rather than show 60; no number, no text.
TEST_F(Formatters, NmeaForm) {
    NSPositionFormatter lat(NSPositionFormatter::Latitude), lon(NSPositionFormatter::Longitude);
    EXPECT_EQ(*lat.nmeaFormat(12.5f) + " " + *lon.nmeaFormat(-151.25f) + " " + *lat.nmeaFormat(0.999995f),
              "1230.000 15115.000 0100.000");
    for (float v : {kNaN, kInf, -kInf, 3e38f}) {
        EXPECT_FALSE(lat.nmeaFormat(v)) << v;
        EXPECT_FALSE(lon.formatPosition(v)) << v;
    }
}

// The value read (four decimals) or the message key of the refusal.
TEST_F(Formatters, PositionParsing) {
    const std::tuple<unsigned, unsigned, std::string, std::string> cases[] = {
        // form, orientation
        {1, 0, "S33.52.000", "-33.8667"},
        {1, 0, "33.52.000", "NSInvalidLatitudeFormat2"},
        {1, 0, "N90.00.000", "NSInvalidLatitudeRange2"},
        {1, 1, "W180.00.000", "NSInvalidLongitudeRange2"},
        {1, 1, "Wab.cd.ef", "NSInvalidLongitudeFormat2"},
        {0, 0, "33" + deg + "52.00'S", "-33.8667"},
        {0, 0, " 33*52.5' N ", "33.8750"},
        {0, 0, "33\u00b052.5'N", "33.8750"}, // the common degree sign
        {0, 1, "151" + deg + "15.00'", "NSInvalidLongitudeFormat1"},
        {0, 0, "33" + deg + "60.00'N", "NSInvalidLatitudeRange1"},
        {0, 0, "-5" + deg + "00.00'N", "NSInvalidLatitudeRange1"},
        {0, 0, "33" + deg + "52.00'N junk", "NSInvalidLatitudeFormat1"},
        {2, 0, "45.5S", "-45.5000"},
        {2, 1, "180.0E", "NSInvalidLongitudeRange3"},
        {2, 0, "89.999999999N", "NSInvalidLatitudeRange3"}, // 90 once kept as a float
        {2, 1, "12.5", "NSInvalidLongitudeFormat3"},
        {3, 0, "12" + deg + "30'15.5\"N", "12.5043"},
        {3, 0, "12*30'60\"N", "NSInvalidLatitudeRange1"},
        {3, 1, "nan*30'15\"E", "NSInvalidLongitudeFormat4"},
    };
    for (const auto& [form, orientation, text, result] : cases) {
        units().setPositionFormatUnits(form);
        float value = -1;
        std::string error;
        char read[32];
        const bool ok = NSPositionFormatter(orientation).getObjectValue(&value, text, &error);
        std::snprintf(read, sizeof read, "%.4f", value);
        EXPECT_EQ(ok ? read : error, result) << form << " [" << text << "]";
    }
    // What the formatter writes, it reads back.
    for (unsigned form = 0; form < 4; ++form) {
        units().setPositionFormatUnits(form);
        for (unsigned orientation : {0u, 1u}) {
            NSPositionFormatter f(orientation);
            for (float v : {-33.8667f, 0.5f, 12.75f, -89.5f}) {
                float back = 0;
                ASSERT_TRUE(f.getObjectValue(&back, *f.formatPosition(v), nullptr)) << *f.formatPosition(v);
                EXPECT_NEAR(back, form == 0 ? std::round(v * 6000) / 6000 : v, form == 3 ? 2e-5 : 1e-5);
            }
        }
    }
    // Nothing typed, or an unknown form: no message; nowhere to put the value: refused.
    NSPositionFormatter f;
    std::string error = "untouched";
    float value = 0;
    EXPECT_FALSE(f.getObjectValue(&value, "", &error));
    units().setPositionFormatUnits(9);
    EXPECT_FALSE(f.getObjectValue(&value, "N1.00.000", &error));
    EXPECT_EQ(error, "untouched");
    units().setPositionFormatUnits(0);
    EXPECT_FALSE(f.getObjectValue(nullptr, "1" + deg + "00.00'E", &error));
}

TEST_F(Formatters, SpeedsAndWind) {
    const std::tuple<unsigned, std::string, std::string> cases[] = {{0, "6.5 KTS", "6.5 KTS"},
                                                                    {1, "7.5 MPH", "7.5 MPH"},
                                                                    {2, "12.0 KM/H", "12.0 KP/H"},
                                                                    {3, "", "3.3 m/s"}};
    NSSogFormatter sog;
    NSAwsFormatter aws;
    for (const auto& [code, boat, wind] : cases) {
        units().setBoatSpeedUnits(code), units().setWindSpeedUnits(code);
        EXPECT_EQ(sog.stringForObjectValue(6.5f), boat) << code;
        EXPECT_EQ(aws.stringForObjectValue(6.5f), wind) << code;
    }
    units().setWindSpeedUnits(4);
    EXPECT_EQ(aws.stringForObjectValue(6.5f), std::nullopt);
    units().setBoatSpeedUnits(0);
    sog.showUnits(false);
    EXPECT_EQ(sog.stringForObjectValue(6.54f), "6.5");
    float v = 0;
    for (const char* text : {"12.5", " 12.5 ", "0", "1e1"})
        EXPECT_TRUE(sog.getObjectValue(&v, text, nullptr)) << "[" << text << "]";
    for (const char* text : {"100", "99.999999999991", "-1", "12 knots", "", "nan", "."})
        EXPECT_FALSE(sog.getObjectValue(&v, text, nullptr)) << "[" << text << "]";
    EXPECT_EQ(v, 10.0f);
}

TEST_F(Formatters, AnglesUseLocalizedWords) {
    const std::string T = deg + " " + Alert::localizedStringWithKey("NSTrue"),
                      M = deg + " " + Alert::localizedStringWithKey("NSMag");
    NSCogFormatter cog;
    EXPECT_EQ(cog.stringForObjectValue(45.4f), "045" + T);
    EXPECT_EQ(cog.stringForObjectValue(359.8f), "359" + T); // never "360"
    EXPECT_EQ(cog.stringForObjectValue(-1.0f), "");
    cog.setVariation(-3.5f);
    EXPECT_EQ(cog.stringForObjectValue(10.0f), "014" + M);
    cog.setMagnetic(false), cog.setMagnetic(true); // the variation is gone
    EXPECT_EQ(cog.stringForObjectValue(10.0f), "010" + M);
    NSAwaFormatter awa;
    EXPECT_EQ(awa.stringForObjectValue(35.0f),
              "035" + deg + " " + Alert::localizedStringWithKey("NSStarboard"));
    EXPECT_EQ(awa.stringForObjectValue(-120.0f), "120" + deg + " " + Alert::localizedStringWithKey("NSPort"));
    EXPECT_EQ(awa.stringForObjectValue(0.5f), "000" + deg + " ");
}

TEST_F(Formatters, DistancesAndLengths) {
    NSDtwFormatter dtw;
    NSXteFormatter xte;
    NSLengthFormatter length;
    const std::tuple<unsigned, float, std::string, std::string, std::string> cases[] = {
        {0, 0.5f, "1,013 YDS", "0.50 NM ", "0'"},   {0, 1234.5f, "1,234.50 NM", "1234.50 NM ", "1,234'"},
        {1, 0.5f, "927 m", "0.50 NM ", "0 m"},      {1, 2.0f, "2.00 NM", "2.00 NM ", "1 m"},
        {2, 0.25f, "0.25 NM", "0.25 NM ", "0'"},    {3, 10.0f, "18.52 KM", "18.52 KM ", "3 m"},
        {4, 10.0f, "11.52 mi", "11.52 mi ", "10'"}, {5, 10.0f, "---", "", ""},
    };
    for (const auto& [code, value, toGo, crossTrack, metres] : cases) {
        units().setSurfaceDistanceUnits(code);
        EXPECT_EQ(dtw.stringForObjectValue(value), toGo) << code;
        EXPECT_EQ(xte.stringForObjectValue(-value), crossTrack) << code;
        EXPECT_EQ(length.stringForObjectValue(value), metres) << code;
    }
    units().setSurfaceDistanceUnits(0);
    dtw.setShowFeet(true);
    EXPECT_EQ(dtw.stringForObjectValue(0.5f), "3,040'");
    dtw.setShowSign(true), dtw.setShowFractional(false);
    EXPECT_EQ(dtw.stringForObjectValue(1234567.0f), "+1,234,567 NM");
    EXPECT_EQ(dtw.stringForObjectValue(-1.0f), "---");
    EXPECT_EQ(dtw.stringForObjectValue(std::nullopt), "---");
    EXPECT_EQ(formatGroupedNumber(-1234.567, 1) + " " + formatGroupedNumber(-0.001, 2) + " " +
                  formatGroupedNumber(999.5, 0),
              "-1,234.6 0.00 1,000");
}

TEST_F(Formatters, TimesDepthsTemperatures) {
    NSEtaFormatter eta;
    const std::pair<float, const char*> etas[] = {{0, "--:--"},   {-1, "--:--"},        {0.01f, ":36"},
                                                  {2.5f, "2:30"}, {0.0166667f, "0:01"}, {100.99f, "100:59"}};
    for (const auto& [hours, text] : etas)
        EXPECT_EQ(eta.stringForObjectValue(hours), text) << hours;
    NSDptFormatter dpt;
    NSTmpFormatter tmp;
    const std::tuple<unsigned, std::string, std::string> cases[] = {{0, "1,234.5'", "50" + deg + "F"},
                                                                    {1, "376.3m", "10" + deg + "C"},
                                                                    {2, "205.7 ftm", "283K"},
                                                                    {3, "", ""}};
    for (const auto& [code, depth, temperature] : cases) {
        units().setWaterDepthUnits(code), units().setTemperatureUnits(code);
        EXPECT_EQ(dpt.stringForObjectValue(1234.5f), depth) << code;
        EXPECT_EQ(tmp.stringForObjectValue(50.0f), temperature) << code;
    }
}

// NaN, infinities and huge values: every formatter answers at once with its "no value" text.
TEST_F(Formatters, NonFiniteValues) {
    NSPositionFormatter position;
    NSSogFormatter sog;
    NSCogFormatter cog;
    NSDtwFormatter dtw;
    NSXteFormatter xte;
    NSEtaFormatter eta;
    NSDptFormatter dpt;
    NSTmpFormatter tmp;
    NSAwaFormatter awa;
    NSAwsFormatter aws;
    NSLengthFormatter length;
    const Formatter* all[] = {&position, &sog, &cog, &dtw, &xte, &eta, &dpt, &tmp, &awa, &aws, &length};
    for (unsigned code = 0; code < 4; ++code) {
        units().setPositionFormatUnits(code), units().setSurfaceDistanceUnits(code);
        for (float v : {kNaN, kInf, -kInf, 3.4e38f})
            for (const Formatter* f : all) {
                const std::string text = f->stringForObjectValue(v).value_or("");
                EXPECT_EQ(text.find("nan"), std::string::npos) << text;
                EXPECT_EQ(text.find("inf"), std::string::npos) << text;
            }
    }
    EXPECT_EQ(eta.stringForObjectValue(kInf), "--:--");
    EXPECT_EQ(eta.stringForObjectValue(3e38f), "--:--");
    EXPECT_EQ(dtw.stringForObjectValue(kNaN), "---");
    cog.setVariation(kNaN);
    EXPECT_EQ(cog.stringForObjectValue(10.0f), "");
}

// Out-of-range codes read as 0; a missing key leaves the field alone.
TEST_F(Formatters, UnitsAreSavedAndLoaded) {
    testing_support::TempFolder folder;
    Settings::setStorePath(folder.file("units.plist"));
    units().setPositionFormatUnits(3), units().setSurfaceDistanceUnits(4), units().setTemperatureUnits(1);
    units().saveSettings();
    EXPECT_EQ(Settings::number("surfaceDistanceUnits"), 4.0);
    units() = UnitsModel();
    units().loadSettings();
    EXPECT_EQ(units().positionFormatUnits(), 3);
    EXPECT_EQ(units().surfaceDistanceUnits(), 4);
    EXPECT_EQ(units().temperatureUnits(), 1);
    Settings::setItem(std::string("windSpeedUnits"), SettingValue(7));
    Settings::setItem(std::string("modeUnits"), SettingValue(5));
    Settings::setItem(std::string("boatSpeedUnits"), SettingValue(-1));
    Settings::removeItem("temperatureUnits");
    units().setWindSpeedUnits(2), units().setBoatSpeedUnits(2), units().setModeUnits(2);
    units().loadSettings();
    EXPECT_EQ(units().windSpeedUnits(), 0);
    EXPECT_EQ(units().modeUnits(), 0);
    EXPECT_EQ(units().boatSpeedUnits(), 0);
    EXPECT_EQ(units().temperatureUnits(), 1u);
    Settings::save(); // nothing left for the exit hook to write into the removed folder
}

} // namespace
