#include "sim/MuxDevice.h"

#include "base/Format.h"
#include "link/NMEA.h"
#include "sim/Traffic.h"

#include <algorithm>

namespace {

constexpr unsigned kMaxFields = 32; // no command has more; the rest of a longer line is not read

struct Identity {
    const char* firmware;
    const char* name;
    const char* serial;
    unsigned flags;
};

Identity identity(MuxFamily family) {
    switch (family) {
    case MuxFamily::Legacy:
        return {"2.1", "Velmar-4", "VL4-010233", 0x0000};
    case MuxFamily::ThirdGeneration:
        return {"3.2", "Velmar-3G", "VL3-004217", 0x8000};
    case MuxFamily::Model42:
        return {"2.6", "Velmar-42", "V42-002750", 0x0008};
    case MuxFamily::Other:
        break;
    }
    return {"2.2", "Velmar-2", "VL2-001864", 0x0000};
}

// Free text made fit for a reply field.
std::string fieldText(std::string text) {
    for (char& c : text)
        if (c == ',' || c == '*' || c == '$' || c == '!' || static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return text;
}

// A small unsigned decimal number in [0, max]: digits only, as the console writes "%d" and "%u".
bool parseNumber(const std::string& text, int max, int* value) {
    if (text.empty() || text.size() > 3 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const int v = std::stoi(text);
    if (v > max)
        return false;
    *value = v;
    return true;
}

bool isBinary(const std::string& text, size_t length) {
    return text.size() == length &&
           std::all_of(text.begin(), text.end(), [](char c) { return c == '0' || c == '1'; });
}

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The five-character sentence pattern of a filter entry: a talker alone is widened with "---",
// a sentence code alone with "--" in front. Empty when the text is no pattern.
std::string filterPattern(const std::string& text) {
    std::string pattern = upper(text);
    if (pattern.size() == 2)
        pattern += "---";
    else if (pattern.size() == 3)
        pattern = "--" + pattern;
    const bool valid = pattern.size() == 5 && std::all_of(pattern.begin(), pattern.end(), [](char c) {
                           return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
                       });
    return valid ? pattern : std::string();
}

} // namespace

MuxDevice::MuxDevice(const SimOptions& options) : family_(options.family), bluetooth_(options.bluetooth) {
    const Identity id = identity(family_);
    state_.firmware = fieldText(options.firmware.empty() ? id.firmware : options.firmware);
    state_.name = fieldText(options.deviceName.empty() ? id.name : options.deviceName);
    state_.serial = fieldText(options.serialNumber.empty() ? id.serial : options.serialNumber);
    state_.flags = base::textf("%04X", id.flags | (bluetooth_ ? 0x0002u : 0u));
    if (family_ == MuxFamily::Other) {
        // Options set at the factory; the console can read them but has no command for them.
        state_.priority = 1;
        state_.channelNumbers = 1;
        state_.realtime = "1100";
        state_.heading = 1;
    }
    // The starting list goes through the same door as the console's entries.
    for (const auto& entry : options.filters) {
        std::vector<std::string> fields{"$PQVXFL", entry.sentence, entry.flags};
        if (family_ == MuxFamily::Legacy)
            fields.push_back(std::to_string(entry.frequency));
        editFilters(fields);
    }
}

const std::string& MuxDevice::talkerID(int channel) const {
    static const std::string none;
    if (channel < 1 || channel > 4)
        return none;
    return state_.talkerIDs[static_cast<size_t>(channel - 1)];
}

std::string MuxDevice::overflowSentence(unsigned mask) {
    return nmeaLine("$PQVXOV," + std::to_string(mask & 0xF));
}

std::string MuxDevice::channelNumberSentence(const unsigned (&counts)[4]) {
    return nmeaLine(base::textf("$PQVXCN,%u,%u,%u,%u", counts[0], counts[1], counts[2], counts[3]));
}

std::vector<std::string> MuxDevice::feed(const uint8_t* bytes, size_t length) {
    std::vector<std::string> replies;
    for (size_t i = 0; i < length; ++i) {
        const char c = static_cast<char>(bytes[i]);
        if (c == '$' || c == '!') {
            line_.assign(1, c);
            overlong_ = false;
            continue;
        }
        if (overlong_) {
            overlong_ = c != '\n';
            continue;
        }
        if (line_.empty())
            continue; // noise between sentences
        line_.push_back(c);
        if (c == '\n') {
            auto more = handleLine(Bytes(line_.begin(), line_.end()));
            replies.insert(replies.end(), more.begin(), more.end());
            line_.clear();
        } else if (line_.size() >= kMaxLine) {
            line_.clear();
            overlong_ = true;
        }
    }
    return replies;
}

void MuxDevice::resetInput() {
    line_.clear();
    overlong_ = false;
}

std::vector<std::string> MuxDevice::handleLine(Bytes line) {
    line.push_back(0);
    if (!NMEA::checkSumValid(line))
        return {};
    const unsigned count = std::min(NMEA::count(line), kMaxFields);
    std::vector<std::string> fields;
    fields.reserve(count);
    for (unsigned i = 0; i < count; ++i)
        fields.push_back(NMEA::parse(line, i).value_or(""));
    if (fields.empty())
        return {};
    return reply(fields[0], fields);
}

std::vector<std::string> MuxDevice::reply(const std::string& address,
                                          const std::vector<std::string>& fields) {
    const bool legacy = family_ == MuxFamily::Legacy;
    if (address == "$PQVXVER")
        return {nmeaLine("$PQVXVER," + state_.firmware + "," + state_.name + "," + state_.serial + "," +
                         state_.flags)};
    if (address == "$PQVXCFQ")
        return {nmeaLine(configuration())};
    if (address == "$PQVXIDQ") {
        const auto& id = state_.talkerIDs;
        return {nmeaLine("$PQVXID," + id[0] + "," + id[1] + "," + id[2] + "," + id[3])};
    }
    if (address == "$PQVXFLQ") {
        std::vector<std::string> list;
        for (const auto& entry : state_.filters) {
            std::string text = "$PQVXFL," + entry.sentence + "," + entry.flags;
            if (legacy)
                text += "," + std::to_string(entry.frequency);
            list.push_back(nmeaLine(text));
        }
        return list;
    }
    if (address == "$PQVXSPQ" && legacy) {
        std::string text = "$PQVXSP";
        for (int speed : state_.channelSpeeds)
            text += "," + std::to_string(speed);
        return {nmeaLine(text)};
    }
    if (address == "$PQVXCF")
        configure(fields);
    else if (address == "$PQVXID")
        setTalkerIDs(fields);
    else if (address == "$PQVXFL")
        editFilters(fields);
    else if (address == "$PQVXSP" && legacy)
        setSpeeds(fields);
    // Commands are not acknowledged; anything else is not for this device.
    return {};
}

const std::vector<MuxDevice::Field>& MuxDevice::layout() const {
    using enum Field;
    static const std::vector<Field> legacy{Speed,          Mode,     Seatalk, Priority,
                                           ChannelNumbers, Realtime, Heading, Ais};
    static const std::vector<Field> third{Speed, Mode, Seatalk, Priority, ChannelNumbers, Realtime, Heading};
    static const std::vector<Field> model42{Speed,          Mode,       Seatalk,  Priority,
                                            ChannelNumbers, ChannelIDs, Realtime, Heading};
    static const std::vector<Field> other{Speed, Mode, Seatalk};
    switch (family_) {
    case MuxFamily::Legacy:
        return legacy;
    case MuxFamily::ThirdGeneration:
        return third;
    case MuxFamily::Model42:
        return model42;
    case MuxFamily::Other:
        break;
    }
    return other;
}

// Devices without family flags report the whole configuration, as model 42 devices do.
const std::vector<MuxDevice::Field>& MuxDevice::replyLayout() const {
    if (family_ != MuxFamily::Other)
        return layout();
    using enum Field;
    static const std::vector<Field> full{Speed,          Mode,       Seatalk,  Priority,
                                         ChannelNumbers, ChannelIDs, Realtime, Heading};
    return full;
}

bool MuxDevice::routesToHost(std::string_view line) const {
    if (line.size() < 6 || (line[0] != '$' && line[0] != '!'))
        return true;
    const std::string_view address = line.substr(1, line.find_first_of(",*\r\n") - 1);
    if (address.size() != 5)
        return true;
    const std::string exact(address);
    const std::string patterns[] = {exact, "--" + exact.substr(2), exact.substr(0, 2) + "---"};
    for (const std::string& pattern : patterns)
        for (const MuxFilterEntry& entry : state_.filters)
            if (entry.sentence == pattern)
                return entry.flags[0] == '1';
    return true;
}

// Server, hub, auto; Bluetooth devices of the current families also have the AIS mode.
int MuxDevice::modeCount() const {
    return bluetooth_ && family_ != MuxFamily::Legacy ? 4 : 3;
}

std::string MuxDevice::configuration() const {
    std::string text = "$PQVXCF";
    for (Field field : replyLayout()) {
        text += ',';
        switch (field) {
        case Field::Speed:
            text += std::to_string(state_.hostSpeed);
            break;
        case Field::Mode:
            text += std::to_string(state_.mode);
            break;
        case Field::Seatalk:
            text += std::to_string(state_.seatalk);
            break;
        case Field::Priority:
            text += std::to_string(state_.priority);
            break;
        case Field::ChannelNumbers:
            text += std::to_string(state_.channelNumbers);
            break;
        case Field::ChannelIDs:
            text += std::to_string(state_.channelIDs);
            break;
        case Field::Realtime:
            text += state_.realtime;
            break;
        case Field::Heading:
            text += std::to_string(state_.heading);
            break;
        case Field::Ais:
            text += std::to_string(state_.ais);
            break;
        }
    }
    return text;
}

// Each field of the family's layout that holds a value the device can take replaces it; an
// empty field (the pairs of the current families send the heading alone in a second sentence)
// or one it cannot take leaves it as it is. Fields past the layout are not read.
void MuxDevice::configure(const std::vector<std::string>& fields) {
    const auto& fieldsOfFamily = layout();
    for (size_t i = 1; i < fields.size() && i <= fieldsOfFamily.size(); ++i) {
        const std::string& text = fields[i];
        if (text.empty())
            continue;
        int* option = nullptr;
        switch (fieldsOfFamily[i - 1]) {
        case Field::Speed:
            parseNumber(text, 3, &state_.hostSpeed);
            break;
        case Field::Mode:
            parseNumber(text, modeCount() - 1, &state_.mode);
            break;
        case Field::Seatalk:
            option = &state_.seatalk;
            break;
        case Field::Priority:
            option = &state_.priority;
            break;
        case Field::ChannelNumbers:
            option = &state_.channelNumbers;
            break;
        case Field::ChannelIDs:
            option = &state_.channelIDs;
            break;
        case Field::Heading:
            option = &state_.heading;
            break;
        case Field::Ais:
            option = &state_.ais;
            break;
        case Field::Realtime:
            if (isBinary(text, 4))
                state_.realtime = text;
            break;
        }
        if (option != nullptr)
            parseNumber(text, 1, option);
    }
}

// Every field that is empty (no talker imposed) or two letters or digits replaces the channel's
// talker ID; any other text leaves it.
void MuxDevice::setTalkerIDs(const std::vector<std::string>& fields) {
    for (size_t i = 1; i < fields.size() && i <= 4; ++i) {
        const std::string id = upper(fields[i]);
        const bool valid = id.empty() || (id.size() == 2 && std::all_of(id.begin(), id.end(), [](char c) {
                                              return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
                                          }));
        if (valid)
            state_.talkerIDs[i - 1] = id;
    }
}

void MuxDevice::setSpeeds(const std::vector<std::string>& fields) {
    for (size_t i = 1; i < fields.size() && i <= 5; ++i)
        if (!fields[i].empty())
            parseNumber(fields[i], 3, &state_.channelSpeeds[i - 1]);
}

// "$PQVXFL" alone clears the list; an entry with every route flag set is removed; any other
// entry is added, or replaces the one of the same sentence pattern. An entry the device cannot
// take (no pattern, flags not five "0"/"1", a frequency beyond 10, a full list) is refused whole.
void MuxDevice::editFilters(const std::vector<std::string>& fields) {
    if (fields.size() == 1) {
        state_.filters.clear();
        return;
    }
    if (fields.size() < 3)
        return;
    const std::string pattern = filterPattern(fields[1]);
    const std::string& flags = fields[2];
    if (pattern.empty() || !isBinary(flags, 5))
        return;
    int frequency = -1; // none given
    if (family_ == MuxFamily::Legacy && fields.size() > 3 && !fields[3].empty() &&
        !parseNumber(fields[3], 10, &frequency))
        return;

    auto& list = state_.filters;
    const auto entry = std::find_if(list.begin(), list.end(),
                                    [&](const MuxFilterEntry& e) { return e.sentence == pattern; });
    if (flags == "11111") {
        if (entry != list.end())
            list.erase(entry);
        return;
    }
    if (entry != list.end()) {
        entry->flags = flags;
        if (frequency >= 0)
            entry->frequency = static_cast<unsigned>(frequency);
        return;
    }
    if (list.size() >= kFilterCapacity)
        return;
    list.push_back({pattern, flags, static_cast<unsigned>(std::max(frequency, 0))});
}
