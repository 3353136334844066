// The console's reply readers and typing rules against any text: no crash, and what they give
// back can always go into a sentence (no separators, no checksum marks, ASCII where it must be).

#include "mux/protocol/Codec.h"
#include "mux/protocol/TypedText.h"

#include <cstdlib>
#include <string>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

bool sentenceSafe(const std::string& text) {
    return text.find_first_of(",*\r\n") == std::string::npos;
}

bool entryShaped(const std::string& address) {
    if (address.size() != 5)
        return false;
    for (char c : address)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (MuxVariant program : {MuxVariant::Legacy, MuxVariant::Current})
        for (MuxFamily family : kMuxFamilies)
            codec::readConfiguration(familyDescriptor(program, family), text);
    if (auto version = codec::readVersion(text)) {
        codec::applyVersion(MuxVariant::Current, {}, *version);
        codec::firmwareSupported(version->firmware, 2.2f);
    }
    for (const std::string& id : codec::readTalkerIDs(text))
        require(talkerIDField(id).size() <= 2 && sentenceSafe(talkerIDField(id)));
    for (bool withFrequency : {false, true})
        if (auto filter = codec::readFilter(text, withFrequency))
            require(filter->flagString().size() == 5);
    codec::readOverflow(text);
    codec::readSpeeds(text);
    codec::replyType(text);
    for (bool byFormatter : {false, true})
        if (auto address = captureAddress(text, byFormatter))
            require(entryShaped(*address));
    if (auto address = filterAddress(text))
        require(entryShaped(*address));
    const TalkerIDEdit id = editTalkerID(text);
    require(id.text.size() <= 2 && sentenceSafe(id.text));
    const FilterTextEdit box = editFilterText(text, size);
    require(box.text.size() <= 5 && sentenceSafe(box.text));
    return 0;
}
