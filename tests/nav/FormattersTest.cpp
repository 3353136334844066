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
    struct Case {
        unsigned form;
        unsigned orientation;
        bool align;
        float value;
        std::string text;
    } cases[] = {
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
    for (const Case& c : cases) {
        units().setPositionFormatUnits(c.form);
        NSPositionFormatter f(c.orientation);
        f.setAlign(c.align);
        EXPECT_EQ(f.stringForObjectValue(c.value), c.text) << c.form << " " << c.value;
    }
    NSPositionFormatter f;
    EXPECT_EQ(f.orientation(), NSPositionFormatter::Longitude);
    EXPECT_EQ(f.stringForObjectValue(std::nullopt), "");
    EXPECT_EQ(f.formatPosition(std::nullopt), std::nullopt);
    units().setPositionFormatUnits(4);
    EXPECT_EQ(f.formatPosition(1.0f), std::nullopt);
}

TEST_F(Formatters, NmeaForm) {
    NSPositionFormatter lat(NSPositionFormatter::Latitude), lon(NSPositionFormatter::Longitude);
    EXPECT_EQ(lat.nmeaFormat(12.5f), "1230.000");
    EXPECT_EQ(lon.nmeaFormat(-151.25f), "15115.000");
    EXPECT_EQ(lat.nmeaFormat(0.0f), "0000.000");
    EXPECT_EQ(lat.nmeaFormat(0.999995f), "0100.000"); // carried, not "0060.000"
    EXPECT_EQ(lat.nmeaFormat(std::nullopt), std::nullopt);
    for (float v : {kNaN, kInf, -kInf, 3e38f}) {
        EXPECT_EQ(lat.nmeaFormat(v), std::nullopt);
        EXPECT_EQ(lon.formatPosition(v), std::nullopt);
    }
}

TEST_F(Formatters, PositionParsing) {
    struct Case {
        unsigned form;
        unsigned orientation;
        std::string text;
        bool ok;
        float value;       // when ok
        std::string error; // when not
    } cases[] = {
        {1, 0, "S33.52.000", true, -33.866667f, ""},
        {1, 0, "33.52.000", false, 0, "NSInvalidLatitudeFormat2"},
        {1, 0, "N90.00.000", false, 0, "NSInvalidLatitudeRange2"},
        {1, 1, "W180.00.000", false, 0, "NSInvalidLongitudeRange2"},
        {1, 1, "Wab.cd.ef", false, 0, "NSInvalidLongitudeFormat2"},
        {0, 0, "33" + deg + "52.00'S", true, -33.866667f, ""},
        {0, 0, " 33*52.5' N ", true, 33.875f, ""},
        {0, 0,
         "33\xC2\xB0"
         "52.5'N",
         true, 33.875f, ""}, // the common degree sign
        {0, 1, "151" + deg + "15.00'", false, 0, "NSInvalidLongitudeFormat1"},
        {0, 0, "33" + deg + "60.00'N", false, 0, "NSInvalidLatitudeRange1"},
        {0, 0, "-5" + deg + "00.00'N", false, 0, "NSInvalidLatitudeRange1"},
        {0, 0, "33" + deg + "52.00'N junk", false, 0, "NSInvalidLatitudeFormat1"},
        {2, 0, "45.5S", true, -45.5f, ""},
        {2, 1, "180.0E", false, 0, "NSInvalidLongitudeRange3"},
        {2, 1, "12.5", false, 0, "NSInvalidLongitudeFormat3"},
        {3, 0, "12" + deg + "30'15.5\"N", true, 12.504306f, ""},
        {3, 0, "12*30'60\"N", false, 0, "NSInvalidLatitudeRange1"},
        {3, 1, "nan*30'15\"E", false, 0, "NSInvalidLongitudeFormat4"},
    };
    for (const Case& c : cases) {
        units().setPositionFormatUnits(c.form);
        NSPositionFormatter f(c.orientation);
        float value = -1;
        std::string error;
        EXPECT_EQ(f.getObjectValue(&value, c.text, &error), c.ok) << c.form << " [" << c.text << "]";
        if (c.ok)
            EXPECT_NEAR(value, c.value, 1e-5) << c.text;
        else
            EXPECT_EQ(error, c.error) << c.text;
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
    NSPositionFormatter f;
    std::string error = "untouched";
    float value = 0;
    EXPECT_FALSE(f.getObjectValue(&value, "", &error));
    EXPECT_EQ(error, "untouched");
    units().setPositionFormatUnits(0);
    EXPECT_FALSE(f.getObjectValue(nullptr, "1" + deg + "00.00'E", &error)); // nowhere to put it
    EXPECT_EQ(error, "NSInvalidLongitudeFormat1");
    units().setPositionFormatUnits(9);
    error = "untouched";
    EXPECT_FALSE(f.getObjectValue(&value, "N1.00.000", &error));
    EXPECT_EQ(error, "untouched");
}

TEST_F(Formatters, SpeedsAndWind) {
    struct Case {
        unsigned code;
        std::string sog, aws;
    } cases[] = {
        {0, "6.5 KTS", "6.5 KTS"},
        {1, "7.5 MPH", "7.5 MPH"},
        {2, "12.0 KM/H", "12.0 KP/H"},
        {3, "", "3.3 m/s"},
    };
    NSSogFormatter sog;
    NSAwsFormatter aws;
    for (const Case& c : cases) {
        units().setBoatSpeedUnits(c.code);
        units().setWindSpeedUnits(c.code);
        EXPECT_EQ(sog.stringForObjectValue(6.5f), c.sog);
        EXPECT_EQ(aws.stringForObjectValue(6.5f), c.aws);
    }
    units().setWindSpeedUnits(4);
    EXPECT_EQ(aws.stringForObjectValue(6.5f), std::nullopt);
    units().setBoatSpeedUnits(0);
    sog.showUnits(false);
    EXPECT_EQ(sog.stringForObjectValue(6.54f), "6.5");

    struct Parse {
        std::string text;
        bool ok;
    } parses[] = {{"12.5", true},      {" 12.5 ", true}, {"0", true},    {"100", false}, {"-1", false},
                  {"12 knots", false}, {"", false},      {"nan", false}, {"1e1", true},  {".", false}};
    for (const Parse& p : parses) {
        float v = -1;
        EXPECT_EQ(sog.getObjectValue(&v, p.text, nullptr), p.ok) << "[" << p.text << "]";
    }
    float v = 0;
    ASSERT_TRUE(sog.getObjectValue(&v, "12.5", nullptr));
    EXPECT_EQ(v, 12.5f);
}

TEST_F(Formatters, AnglesUseLocalizedWords) {
    const std::string trueWord = Alert::localizedStringWithKey("NSTrue");
    const std::string magWord = Alert::localizedStringWithKey("NSMag");
    NSCogFormatter cog;
    EXPECT_EQ(cog.stringForObjectValue(45.4f), "045" + deg + " " + trueWord);
    EXPECT_EQ(cog.stringForObjectValue(359.8f), "359" + deg + " " + trueWord); // never "360"
    EXPECT_EQ(cog.stringForObjectValue(-1.0f), "");
    cog.setVariation(-3.5f);
    EXPECT_EQ(cog.stringForObjectValue(10.0f), "014" + deg + " " + magWord);
    cog.setMagnetic(false);
    EXPECT_EQ(cog.variation(), 0.0f);
    cog.setMagnetic(true);
    EXPECT_EQ(cog.stringForObjectValue(10.0f), "010" + deg + " " + magWord);

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
    struct Case {
        unsigned code;
        float value;
        std::string dtw, xte, length;
    } cases[] = {
        {0, 0.5f, "1,013 YDS", "0.50 NM ", "0'"},   {0, 1234.5f, "1,234.50 NM", "1234.50 NM ", "1,234'"},
        {1, 0.5f, "927 m", "0.50 NM ", "0 m"},      {1, 2.0f, "2.00 NM", "2.00 NM ", "1 m"},
        {2, 0.25f, "0.25 NM", "0.25 NM ", "0'"},    {3, 10.0f, "18.52 KM", "18.52 KM ", "3 m"},
        {4, 10.0f, "11.52 mi", "11.52 mi ", "10'"}, {5, 10.0f, "---", "", ""},
    };
    for (const Case& c : cases) {
        units().setSurfaceDistanceUnits(c.code);
        EXPECT_EQ(dtw.stringForObjectValue(c.value), c.dtw) << c.code;
        EXPECT_EQ(xte.stringForObjectValue(-c.value), c.xte) << c.code;
        EXPECT_EQ(length.stringForObjectValue(c.value), c.length) << c.code;
    }
    units().setSurfaceDistanceUnits(0);
    dtw.setShowFeet(true);
    EXPECT_EQ(dtw.stringForObjectValue(0.5f), "3,040'");
    dtw.setShowSign(true);
    dtw.setShowFractional(false);
    EXPECT_EQ(dtw.stringForObjectValue(1234567.0f), "+1,234,567 NM");
    EXPECT_EQ(dtw.stringForObjectValue(-1.0f), "---");
    EXPECT_EQ(dtw.stringForObjectValue(std::nullopt), "---");
    EXPECT_EQ(formatGroupedNumber(-1234.567, 1), "-1,234.6");
    EXPECT_EQ(formatGroupedNumber(-0.001, 2), "0.00");
    EXPECT_EQ(formatGroupedNumber(999.5, 0), "1,000");
}

TEST_F(Formatters, TimesDepthsTemperatures) {
    NSEtaFormatter eta;
    struct EtaCase {
        float hours;
        std::string text;
    } etas[] = {{0, "--:--"},   {-1, "--:--"},        {0.01f, ":36"},
                {2.5f, "2:30"}, {0.0166667f, "0:01"}, {100.99f, "100:59"}};
    for (const EtaCase& c : etas)
        EXPECT_EQ(eta.stringForObjectValue(c.hours), c.text) << c.hours;

    NSDptFormatter dpt;
    NSTmpFormatter tmp;
    struct Case {
        unsigned code;
        std::string depth, temperature;
    } cases[] = {
        {0, "1,234.5'", "50" + deg + "F"},
        {1, "376.3m", "10" + deg + "C"},
        {2, "205.7 ftm", "283K"},
        {3, "", ""},
    };
    for (const Case& c : cases) {
        units().setWaterDepthUnits(c.code);
        units().setTemperatureUnits(c.code);
        EXPECT_EQ(dpt.stringForObjectValue(1234.5f), c.depth) << c.code;
        EXPECT_EQ(tmp.stringForObjectValue(50.0f), c.temperature) << c.code;
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
        units().setPositionFormatUnits(code);
        units().setSurfaceDistanceUnits(code);
        for (float v : {kNaN, kInf, -kInf}) {
            for (const Formatter* f : all) {
                const std::optional<std::string> text = f->stringForObjectValue(v);
                if (text) {
                    EXPECT_EQ(text->find("nan"), std::string::npos) << *text;
                    EXPECT_EQ(text->find("inf"), std::string::npos) << *text;
                }
            }
        }
        for (const Formatter* f : all)
            (void)f->stringForObjectValue(3.4e38f);
    }
    EXPECT_EQ(eta.stringForObjectValue(kInf), "--:--");
    EXPECT_EQ(eta.stringForObjectValue(3e38f), "--:--");
    EXPECT_EQ(dtw.stringForObjectValue(kNaN), "---");
    cog.setVariation(kNaN);
    EXPECT_EQ(cog.stringForObjectValue(10.0f), "");
}

class UnitsStore : public Formatters {
protected:
    testing_support::TempFolder folder;
    void SetUp() override {
        Formatters::SetUp();
        Settings::setStorePath(folder.file("units.plist"));
    }
    void TearDown() override {
        Settings::save(); // nothing left for the exit hook to write into the removed folder
        Formatters::TearDown();
    }
};

TEST_F(UnitsStore, SaveAndLoad) {
    units().setPositionFormatUnits(3);
    units().setSurfaceDistanceUnits(4);
    units().setTemperatureUnits(1);
    units().saveSettings();
    EXPECT_EQ(Settings::number("surfaceDistanceUnits"), 4.0);
    ASSERT_TRUE(Settings::item(std::string("windSpeedUnits"), Settings::Type::Number).has_value());

    units() = UnitsModel();
    units().loadSettings();
    EXPECT_EQ(units().positionFormatUnits(), 3u);
    EXPECT_EQ(units().surfaceDistanceUnits(), 4u);
    EXPECT_EQ(units().temperatureUnits(), 1u);

    // Out-of-range codes read as 0; a missing key leaves the field alone.
    Settings::setItem(std::string("windSpeedUnits"), SettingValue(7));
    Settings::setItem(std::string("modeUnits"), SettingValue(5));
    Settings::setItem(std::string("boatSpeedUnits"), SettingValue(-1));
    Settings::removeItem("temperatureUnits");
    units().setWindSpeedUnits(2);
    units().setBoatSpeedUnits(2);
    units().setModeUnits(2);
    units().loadSettings();
    EXPECT_EQ(units().windSpeedUnits(), 0u);
    EXPECT_EQ(units().modeUnits(), 0u);
    EXPECT_EQ(units().boatSpeedUnits(), 0u);
    EXPECT_EQ(units().temperatureUnits(), 1u);
}

} // namespace
