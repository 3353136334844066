#include "link/SentenceDecoder.h"

#include "link/AisDecoder.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace {

// Each layout is a list of field specs, "Name[/unit][:kind]", one per field of the sentence:
//   kind t   a time of day (hhmmss.ss)          kind d   a date (ddmmyy)
//   kind lat, lon  a position and its hemisphere field
//   kind u   the next field is the unit         kind w   the next field is a speed unit (K, M, N, S)
//   kind h   the next field is a letter to add (E/W, L/R, T/M)
//   kind x   the next field is the fixed unit letter, left out
// "-" leaves a field out; "*" repeats the specs after it until the fields run out.
const std::map<std::string, std::string, std::less<>>& layouts() {
    static const std::map<std::string, std::string, std::less<>> table = {
        {"GGA", "Time:t Latitude:lat Longitude:lon FixQuality Satellites HDOP Altitude:u GeoidSeparation:u "
                "DGPSAge/s DGPSStation"},
        {"GLL", "Latitude:lat Longitude:lon Time:t Status Mode"},
        {"RMC", "Time:t Status Latitude:lat Longitude:lon SpeedOverGround/kn CourseOverGround/° Date:d "
                "Variation/°:h Mode NavigationalStatus"},
        {"VTG", "CourseTrue/°:x CourseMagnetic/°:x SpeedOverGround/kn:x SpeedOverGround/km/h:x Mode"},
        {"ZDA", "Time:t Day Month Year ZoneHours ZoneMinutes"},
        {"GSA", "SelectionMode FixType Satellite Satellite Satellite Satellite Satellite Satellite Satellite "
                "Satellite Satellite Satellite Satellite Satellite PDOP HDOP VDOP SystemID"},
        {"GSV", "Messages MessageNumber SatellitesInView * Satellite Elevation/° Azimuth/° SignalToNoise/dB"},
        {"HDG", "Heading/° Deviation/°:h Variation/°:h"},
        {"HDM", "HeadingMagnetic/°:x"},
        {"HDT", "HeadingTrue/°:x"},
        {"ROT", "RateOfTurn/°/min Status"},
        {"VHW", "HeadingTrue/°:x HeadingMagnetic/°:x SpeedThroughWater/kn:x SpeedThroughWater/km/h:x"},
        {"VLW", "TotalDistance/nm:x TripDistance/nm:x TotalDistanceGround/nm:x TripDistanceGround/nm:x"},
        {"DBT", "Depth/ft:x Depth/m:x Depth/fm:x"},
        {"DPT", "Depth/m Offset/m MaximumRange/m"},
        {"MTW", "WaterTemperature:u"},
        {"MWV", "WindAngle/° Reference WindSpeed:w Status"},
        {"MWD", "WindDirectionTrue/°:x WindDirectionMagnetic/°:x WindSpeed/kn:x WindSpeed/m/s:x"},
        {"VWR", "WindAngle/°:h WindSpeed/kn:x WindSpeed/m/s:x WindSpeed/km/h:x"},
        {"VWT", "WindAngle/°:h WindSpeed/kn:x WindSpeed/m/s:x WindSpeed/km/h:x"},
        {"XDR", "* TransducerType Measurement:u TransducerName"},
        {"RSA", "RudderStarboard/° Status RudderPort/° Status"},
        {"RMB",
         "Status CrossTrackError/nm Steer OriginWaypoint DestinationWaypoint Latitude:lat Longitude:lon "
         "Range/nm BearingTrue/° ClosingVelocity/kn Arrival Mode"},
        {"APB", "Status StatusCycle CrossTrackError Steer Units Arrival Perpendicular "
                "BearingOriginToDestination/°:h "
                "DestinationWaypoint BearingToDestination/°:h HeadingToSteer/°:h Mode"},
        {"XTE", "Status StatusCycle CrossTrackError Steer Units Mode"},
        {"BWC", "Time:t Latitude:lat Longitude:lon BearingTrue/°:x BearingMagnetic/°:x Range/nm:x "
                "DestinationWaypoint Mode"},
        {"TTM",
         "Target Distance Bearing/°:h TargetSpeed TargetCourse/°:h CPADistance TCPA/min Units TargetName "
         "TargetStatus Reference Time:t Acquisition"},
        {"TLL", "Target Latitude:lat Longitude:lon TargetName Time:t TargetStatus Reference"},
    };
    return table;
}

struct Spec {
    std::string name, unit, kind;
};

std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t at = text.find(separator, from);
        parts.emplace_back(
            text.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos)
            return parts;
        from = at + 1;
    }
}

Spec parseSpec(const std::string& token) {
    Spec s;
    std::string rest = token;
    if (const size_t colon = rest.rfind(':'); colon != std::string::npos) {
        s.kind = rest.substr(colon + 1);
        rest.resize(colon);
    }
    const size_t slash = rest.find('/');
    s.name = rest.substr(0, slash);
    if (slash != std::string::npos)
        s.unit = rest.substr(slash + 1);
    return s;
}

bool allDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(uint8_t(c)); });
}

std::string timeOfDay(const std::string& v) {
    if (v.size() < 6 || !allDigits(std::string_view(v).substr(0, 6)))
        return v;
    return v.substr(0, 2) + ":" + v.substr(2, 2) + ":" + v.substr(4);
}

std::string date(const std::string& v) {
    if (v.size() != 6 || !allDigits(v))
        return v;
    const int yy = std::stoi(v.substr(4, 2));
    return std::to_string(yy < 80 ? 2000 + yy : 1900 + yy) + "-" + v.substr(2, 2) + "-" + v.substr(0, 2);
}

// "4807.038" "N" -> "48°07.038′ N": the minutes as written, nothing rounded.
std::string position(const std::string& v, const std::string& hemisphere) {
    const size_t dot = v.find('.');
    const size_t minutes = (dot == std::string::npos ? v.size() : dot);
    if (v.empty() || minutes < 2 || !allDigits(std::string_view(v).substr(0, minutes)))
        return v.empty() ? v : v + (hemisphere.empty() ? "" : " " + hemisphere);
    const std::string degrees = minutes > 2 ? v.substr(0, minutes - 2) : "0";
    return std::to_string(std::stoi(degrees)) + "°" + v.substr(minutes - 2) + "′" +
           (hemisphere.empty() ? "" : " " + hemisphere);
}

std::string unitOf(const std::string& letter, bool speed) {
    static const std::map<std::string, std::string> units = {{"C", "°C"}, {"M", "m"},  {"f", "ft"},
                                                             {"F", "fm"}, {"D", "°"},  {"B", "bar"},
                                                             {"P", "Pa"}, {"N", "kn"}, {"K", "km/h"}};
    static const std::map<std::string, std::string> speeds = {
        {"K", "km/h"}, {"M", "m/s"}, {"N", "kn"}, {"S", "mph"}};
    const auto& table = speed ? speeds : units;
    auto it = table.find(letter);
    return it != table.end() ? it->second : letter;
}

// Reads the field at `at` (and the one after it, for kinds that take two) into `out`.
size_t readField(const Spec& spec, const std::vector<std::string>& f, size_t at, DecodedField& out) {
    const std::string& v = f[at];
    const std::string next = at + 1 < f.size() ? f[at + 1] : std::string();
    out.value = v;
    out.unit = v.empty() ? "" : spec.unit;
    if (spec.kind == "t")
        out.value = timeOfDay(v);
    else if (spec.kind == "d")
        out.value = date(v);
    else if (spec.kind == "lat" || spec.kind == "lon")
        out.value = position(v, next);
    else if (spec.kind == "u" || spec.kind == "w")
        out.unit = v.empty() ? "" : unitOf(next, spec.kind == "w");
    else if (spec.kind == "h" && !v.empty() && !next.empty())
        out.value = v + " " + next;
    const bool two = spec.kind == "lat" || spec.kind == "lon" || spec.kind == "u" || spec.kind == "w" ||
                     spec.kind == "h" || spec.kind == "x";
    return two ? 2 : 1;
}

void decodeFields(const std::string& layout, const std::vector<std::string>& f, DecodedSentence& out) {
    std::vector<Spec> specs;
    size_t repeatFrom = std::string::npos;
    for (const std::string& token : split(layout, ' ')) {
        if (token == "*")
            repeatFrom = specs.size();
        else
            specs.push_back(parseSpec(token));
    }
    size_t at = 1, s = 0;
    while (at < f.size()) {
        if (s == specs.size()) {
            if (repeatFrom == std::string::npos || repeatFrom == specs.size())
                break;
            s = repeatFrom;
        }
        const Spec& spec = specs[s++];
        DecodedField field{spec.name, unsigned(at), {}, {}};
        const size_t used = readField(spec, f, at, field);
        if (spec.name != "-")
            out.fields.push_back(std::move(field));
        at += used;
    }
    for (; at < f.size(); ++at) // beyond the layout: numbered
        out.fields.push_back({"", unsigned(at), f[at], ""});
}

} // namespace

DecodedSentence decodeSentence(std::string_view sentence) {
    DecodedSentence out;
    if (sentence.empty() || (sentence[0] != '$' && sentence[0] != '!'))
        return out;
    const size_t end = sentence.find_first_of("*\r\n");
    const std::vector<std::string> f =
        split(sentence.substr(1, end == std::string_view::npos ? end : end - 1), ',');
    const std::string& address = f[0];
    out.type = address.size() == 5 && address[0] != 'P' ? address.substr(2) : address;
    if (out.type == "VDM" || out.type == "VDO")
        return AisDecoder::decode({std::string(sentence)});
    auto layout = layouts().find(out.type);
    if (layout == layouts().end()) {
        for (size_t k = 1; k < f.size(); ++k)
            out.fields.push_back({"", unsigned(k), f[k], ""});
        return out;
    }
    out.known = true;
    decodeFields(layout->second, f, out);
    return out;
}

std::vector<std::string> decodedTypes() {
    std::vector<std::string> types;
    for (const auto& entry : layouts())
        types.push_back(entry.first);
    types.push_back("VDM");
    types.push_back("VDO");
    return types;
}
