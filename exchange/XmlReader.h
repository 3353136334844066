#pragma once
// The streaming XML reader under the GPX and KML importers (expat). Files from outside are not
// trusted: documents that declare entities are refused (so nothing external is fetched and no
// entity expands), the parser's memory is capped, and the text of one element is kept only up to
// a limit. UTF-8, UTF-16 and ISO-8859-1 documents are read.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace exchange {

// What the importers receive; element names without their namespace prefix.
class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    // Attributes as expat gives them: name, value, name, value, ..., nullptr.
    virtual void startElement(std::string_view name, const char** attributes) = 0;
    virtual void characters(std::string_view text) = 0;
    virtual void endElement(std::string_view name) = 0;

    // While a parse runs: the line it has reached, and a stop that ends it as read to its end
    // (the handler says why).
    unsigned long currentLine() const { return reader_ ? reader_->line() : 0; }
    void stopParsing() {
        if (reader_)
            reader_->stop();
    }

    // What the reader offers its handler during a parse.
    class Reader {
    public:
        virtual ~Reader() = default;
        virtual unsigned long line() const = 0;
        virtual void stop() = 0;
    };
    void setReader(Reader* reader) { reader_ = reader; }

private:
    Reader* reader_ = nullptr;
};

// The value of an attribute by its name without prefix; nullptr when absent.
const char* attribute(const char** attributes, std::string_view name);

class XmlReader {
public:
    // Parser memory beyond this fails the parse (no element of a track or chart file needs it).
    static constexpr size_t memoryLimit = 64u << 20;
    // A single tag, comment or instruction larger than this fails the parse.
    static constexpr size_t maxTokenBytes = 4u << 20;

    // Reads chunks until the source gives 0 bytes (end) or fewer than 0 (a read error); true when
    // the document was read to its end without an error.
    using Source = std::function<long(char* buffer, size_t size)>;
    bool parse(const Source& source, XmlHandler& handler);
    bool parseFile(const std::string& path, XmlHandler& handler);
    bool parseBytes(std::string_view bytes, XmlHandler& handler);

    // Why the last parse failed: "line 12: mismatched tag", "cannot be opened", ...
    const std::string& error() const { return error_; }

private:
    std::string error_;
};

} // namespace exchange
