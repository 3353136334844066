#include "exchange/XmlImport.h"

#include <algorithm>

bool XmlImport::finishParse(bool ok, const std::string& readerError) {
    error_ = failure_.empty() ? readerError : failure_;
    ok = ok && failure_.empty();
    rootSeen_ = false;
    failure_.clear();
    return ok;
}

bool XmlImport::parseFile(const std::string& path) {
    exchange::XmlReader reader;
    const bool ok = reader.parseFile(path, *this);
    return finishParse(ok, reader.error());
}

bool XmlImport::parseBytes(std::string_view bytes) {
    exchange::XmlReader reader;
    const bool ok = reader.parseBytes(bytes, *this);
    return finishParse(ok, reader.error());
}

bool XmlImport::parse(const exchange::XmlReader::Source& source) {
    exchange::XmlReader reader;
    const bool ok = reader.parse(source, *this);
    return finishParse(ok, reader.error());
}

bool XmlImport::rootAccepted(std::string_view name, std::initializer_list<std::string_view> accepted,
                             const char* format) {
    if (rootSeen_)
        return failure_.empty();
    rootSeen_ = true;
    for (std::string_view a : accepted) {
        if (a == name)
            return true;
    }
    failure_ = std::string("not a ") + format + " document: its root element is <" + std::string(name) + ">";
    stopParsing();
    return false;
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
