#include "exchange/XmlImport.h"

#include <algorithm>

bool XmlImport::parseFile(const std::string& path) {
    exchange::XmlReader reader;
    const bool ok = reader.parseFile(path, *this);
    error_ = reader.error();
    return ok;
}

bool XmlImport::parseBytes(std::string_view bytes) {
    exchange::XmlReader reader;
    const bool ok = reader.parseBytes(bytes, *this);
    error_ = reader.error();
    return ok;
}

bool XmlImport::parse(const exchange::XmlReader::Source& source) {
    exchange::XmlReader reader;
    const bool ok = reader.parse(source, *this);
    error_ = reader.error();
    return ok;
}

void XmlImport::characters(std::string_view text) {
    if (valueString_.size() < maxValueLength)
        valueString_.append(text.substr(0, maxValueLength - valueString_.size()));
}

ChartColor lighterTrackColor(ChartColor color) {
    color.red = std::min(1.0f, color.red + 0.05f);
    color.green = std::min(1.0f, color.green + 0.05f);
    color.blue = std::min(1.0f, color.blue + 0.05f);
    color.alpha = 1.0f;
    return color;
}
