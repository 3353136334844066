#include "exchange/XmlReader.h"

#include "support/OSXUtil.h"

#include <cstdlib>
#include <cstring>
#include <expat.h>
#include <vector>

namespace exchange {

namespace {

// Expat's allocations count against the budget of the parse running on this thread.
struct Budget {
    size_t used = 0;
};
thread_local Budget* budget = nullptr;

constexpr size_t header = alignof(std::max_align_t);

void* countedMalloc(size_t size) {
    if (!budget || size > XmlReader::memoryLimit - budget->used)
        return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(size + header));
    if (!block)
        return nullptr;
    std::memcpy(block, &size, sizeof size);
    budget->used += size;
    return block + header;
}

void countedFree(void* pointer) {
    if (!pointer)
        return;
    auto* block = static_cast<unsigned char*>(pointer) - header;
    size_t size = 0;
    std::memcpy(&size, block, sizeof size);
    if (budget)
        budget->used -= size;
    std::free(block);
}

void* countedRealloc(void* pointer, size_t size) {
    if (!pointer)
        return countedMalloc(size);
    auto* block = static_cast<unsigned char*>(pointer) - header;
    size_t old = 0;
    std::memcpy(&old, block, sizeof old);
    if (!budget || (size > old && size - old > XmlReader::memoryLimit - budget->used))
        return nullptr;
    auto* grown = static_cast<unsigned char*>(std::realloc(block, size + header));
    if (!grown)
        return nullptr;
    std::memcpy(grown, &size, sizeof size);
    budget->used = budget->used - old + size;
    return grown + header;
}

const XML_Memory_Handling_Suite countedMemory = {countedMalloc, countedRealloc, countedFree};

std::string_view localName(const char* name) {
    std::string_view n(name);
    const size_t colon = n.rfind(':');
    return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

struct Context : XmlHandler::Reader {
    Context(XML_Parser p, XmlHandler* h) : parser(p), handler(h) {}
    XML_Parser parser;
    XmlHandler* handler;
    bool refusedEntities = false;
    bool stopped = false;
    size_t fedSinceEvent = 0; // bytes given to the parser since it last reported anything

    unsigned long line() const override { return XML_GetCurrentLineNumber(parser); }
    void stop() override {
        if (!stopped)
            XML_StopParser(parser, XML_FALSE);
        stopped = true;
    }
};

// The handler knows the reader only while the parse runs.
struct Attach {
    XmlHandler& handler;
    Attach(XmlHandler& h, XmlHandler::Reader* reader) : handler(h) { handler.setReader(reader); }
    ~Attach() { handler.setReader(nullptr); }
};

Context* progress(void* data) {
    auto* context = static_cast<Context*>(data);
    context->fedSinceEvent = 0;
    return context;
}

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    progress(data)->handler->startElement(localName(name), attributes);
}

void XMLCALL onEnd(void* data, const XML_Char* name) {
    progress(data)->handler->endElement(localName(name));
}

void XMLCALL onText(void* data, const XML_Char* text, int length) {
    progress(data)->handler->characters(std::string_view(text, static_cast<size_t>(length)));
}

void XMLCALL onComment(void* data, const XML_Char*) {
    progress(data);
}

void XMLCALL onInstruction(void* data, const XML_Char*, const XML_Char*) {
    progress(data);
}

// GPX and KML need no entities of their own; a document that declares any is refused whole.
void XMLCALL onEntity(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                      const XML_Char*, const XML_Char*, const XML_Char*) {
    auto* context = static_cast<Context*>(data);
    context->refusedEntities = true;
    XML_StopParser(context->parser, XML_FALSE);
}

} // namespace

const char* attribute(const char** attributes, std::string_view name) {
    for (size_t i = 0; attributes && attributes[i] && attributes[i + 1]; i += 2) {
        if (localName(attributes[i]) == name)
            return attributes[i + 1];
    }
    return nullptr;
}

bool XmlReader::parse(const Source& source, XmlHandler& handler) {
    error_.clear();
    Budget counted;
    Budget* outer = budget;
    budget = &counted;
    XML_Parser parser = XML_ParserCreate_MM(nullptr, &countedMemory, nullptr);
    if (!parser) {
        budget = outer;
        error_ = "out of memory";
        return false;
    }
    Context context(parser, &handler);
    const Attach attached(handler, &context);
    XML_SetUserData(parser, &context);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onText);
    XML_SetCommentHandler(parser, onComment);
    XML_SetProcessingInstructionHandler(parser, onInstruction);
    XML_SetEntityDeclHandler(parser, onEntity);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);

    std::vector<char> buffer(1 << 16);
    bool ok = true;
    for (;;) {
        const long n = source(buffer.data(), buffer.size());
        if (n < 0) {
            error_ = "read error";
            ok = false;
            break;
        }
        // The parser scans an unfinished tag again with every chunk: one that grows without end
        // would cost time without bound, so it is refused.
        context.fedSinceEvent += static_cast<size_t>(n);
        if (context.fedSinceEvent > maxTokenBytes) {
            error_ = "line " + std::to_string(XML_GetCurrentLineNumber(parser)) + ": a tag too large to read";
            ok = false;
            break;
        }
        if (XML_Parse(parser, buffer.data(), static_cast<int>(n), n == 0) != XML_STATUS_OK) {
            if (context.stopped && !context.refusedEntities)
                break;
            if (context.refusedEntities)
                error_ = "line " + std::to_string(XML_GetCurrentLineNumber(parser)) +
                         ": entity declarations are not accepted";
            else
                error_ = "line " + std::to_string(XML_GetCurrentLineNumber(parser)) + ": " +
                         XML_ErrorString(XML_GetErrorCode(parser));
            ok = false;
            break;
        }
        if (n == 0)
            break;
    }
    XML_ParserFree(parser);
    budget = outer;
    return ok;
}

bool XmlReader::parseFile(const std::string& path, XmlHandler& handler) {
    FilePtr file = OSXUtil::fopenForRead(path, "rb");
    if (!file) {
        error_ = "cannot be opened";
        return false;
    }
    return parse(
        [&](char* buffer, size_t size) -> long {
            const size_t n = std::fread(buffer, 1, size, file.get());
            return n == 0 && std::ferror(file.get()) ? -1 : static_cast<long>(n);
        },
        handler);
}

bool XmlReader::parseBytes(std::string_view bytes, XmlHandler& handler) {
    size_t at = 0;
    return parse(
        [&](char* buffer, size_t size) -> long {
            const size_t n = std::min(size, bytes.size() - at);
            std::memcpy(buffer, bytes.data() + at, n);
            at += n;
            return static_cast<long>(n);
        },
        handler);
}

} // namespace exchange
