#include "exchange/Importer.h"

#include "chart/Names.h"
#include "exchange/DateText.h"
#include "nav/Formatters.h"

std::shared_ptr<Waypoint> ImportDelegate::createWaypointFromGPS(const std::string&, NavPoint,
                                                                const std::string&, bool) {
    return nullptr;
}

std::shared_ptr<Track> ImportDelegate::createTrackFromGPS(const std::string&, NavPoint, float, float, float,
                                                          float, float, float, float, float, long) {
    return nullptr;
}

void ImportDelegate::showMessageWithKey(const std::string&) {
}

std::shared_ptr<Waypoint> ModelImportDelegate::createWaypointFromGPS(const std::string& name,
                                                                     NavPoint position,
                                                                     const std::string& description, bool) {
    if (!isPlaceable(position))
        return nullptr;
    auto waypoint = models_.waypoints.chartMarker();
    waypoint->setName(name);
    waypoint->setPositionOnGPS(position);
    waypoint->setDescription(description);
    models_.waypoints.add(waypoint, false);
    return waypoint;
}

std::shared_ptr<Track> ModelImportDelegate::createTrackFromGPS(const std::string& name, NavPoint position,
                                                               float cog, float sog, float heading,
                                                               float speed, float depth, float temperature,
                                                               float windAngle, float windSpeed, long date) {
    auto track = models_.tracks.chartMarker();
    track->set(static_cast<ChartDate>(date), name, position, cog, sog, heading, speed, depth, temperature,
               windAngle, windSpeed, ChartColor{});
    models_.tracks.add(track);
    return track;
}

std::shared_ptr<Waypoint> Importer::createWaypointFromGPS(const std::string& name, NavPoint position,
                                                          const std::string& description, bool flag) {
    auto waypoint = delegate_ ? delegate_->createWaypointFromGPS(name, position, description, flag) : nullptr;
    if (waypoint && names_)
        names_->take(waypoint->name());
    return waypoint;
}

void Importer::beginImport() {
    error_.clear();
    report_.clear();
    names_.reset();
    records_ = 0;
}

std::string Importer::uniqueWaypointName(exchange::RecordKind kind, unsigned long line) {
    if (!names_)
        names_ = models_.waypoints.uniqueNames();
    auto name = names_->next();
    report_.note(kind, name ? exchange::Reason::UniqueName : exchange::Reason::NoUniqueName, line);
    return name.value_or(std::string());
}

bool Importer::countRecord(unsigned long line) {
    if (++records_ <= recordLimit_)
        return true;
    if (records_ == recordLimit_ + 1)
        report_.stopped(line, "more than " + exchange::groupedNumber(recordLimit_) + " records");
    return false;
}

std::shared_ptr<Track> Importer::createTrackFromGPS(const std::string& name, NavPoint position, float cog,
                                                    float sog, float heading, float speed, float depth,
                                                    float temperature, float windAngle, float windSpeed,
                                                    long date) {
    if (!delegate_ || !isPlaceable(position))
        return nullptr;
    return delegate_->createTrackFromGPS(name, position, cog, sog, heading, speed, depth, temperature,
                                         windAngle, windSpeed, date);
}

std::optional<std::string> Importer::stringFromPosition(float value, unsigned orientation) {
    return NSPositionFormatter(orientation).nmeaFormat(value);
}

namespace {

// Upper-cased ASCII letters and digits kept, every other character (not byte) replaced.
std::string fixedForm(std::string_view text, unsigned width, char other) {
    std::string out;
    size_t characters = 0;
    for (size_t i = 0; i < text.size() && characters < width; ++characters) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t length = 1;
        if (c >= 0xC0)
            length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        while (length > 1 && (i + length > text.size() ||
                              (static_cast<unsigned char>(text[i + length - 1]) & 0xC0) != 0x80))
            --length;
        const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : static_cast<char>(c);
        out += ((upper >= 'A' && upper <= 'Z') || (upper >= '0' && upper <= '9')) ? upper : other;
        i += length;
    }
    return out;
}

} // namespace

std::string Importer::formattedName(std::string_view text, unsigned width, bool pad) {
    if (text.empty())
        return {};
    std::string out = fixedForm(text, width, '-');
    if (pad)
        out.append(width - out.size(), ' ');
    return out;
}

std::string Importer::formattedDescription(std::string_view text, unsigned width, bool) {
    if (text.empty())
        return {};
    std::string out = fixedForm(text, width, ' ');
    out.append(width - out.size(), ' ');
    return out;
}

std::optional<ChartDate> Importer::dateFromString(std::string_view text) {
    return exchange::dateFromFixedPositions(text);
}
