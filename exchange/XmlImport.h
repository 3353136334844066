#pragma once
// The part the GPX and KML importers share: an importer that reads XML and collects each
// element's text.

#include "exchange/Importer.h"
#include "exchange/XmlReader.h"

#include <ctime>
#include <initializer_list>
#include <string>

class XmlImport : public Importer, protected exchange::XmlHandler {
public:
    // The text of one element is kept up to this length (a long line string fits); the rest is
    // dropped.
    static constexpr size_t maxValueLength = 16u << 20;

    explicit XmlImport(ExchangeModels models)
        : Importer(models), key_(static_cast<long>(std::time(nullptr))) {}

protected:
    // Parses and reports failure in error(); records finished before a parse error stay.
    bool parseFile(const std::string& path);
    bool parseBytes(std::string_view bytes);
    bool parse(const exchange::XmlReader::Source& source);

    void characters(std::string_view text) override;
    // At the document's first element: true when it is one of the names accepted; otherwise the
    // import stops and fails, saying what the root element is (a KML file named ".gpx").
    bool rootAccepted(std::string_view name, std::initializer_list<std::string_view> accepted,
                      const char* format);
    // The element's text, as collected since its start.
    const std::string& value() const { return valueString_; }
    void clearValue() { valueString_.clear(); }

    // Names and dates of track points made without their own: counts seconds from the import's start.
    long nextKey() { return key_++; }
    long key() const { return key_; }

private:
    bool finishParse(bool ok, const std::string& readerError);

    std::string valueString_;
    long key_;
    bool rootSeen_ = false;
    std::string failure_;
};

// The colour one step lighter: each component 0.05 more, at most 1.
ChartColor lighterTrackColor(ChartColor color);
