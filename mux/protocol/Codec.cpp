#include "mux/protocol/Codec.h"

#include "mux/protocol/TypedText.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace codec {

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The fields of a sentence text, field 0 the address; an empty text has none.
std::vector<std::string_view> split(std::string_view text) {
    std::vector<std::string_view> fields;
    if (text.empty())
        return fields;
    size_t from = 0;
    for (;;) {
        const size_t comma = text.find(',', from);
        fields.push_back(
            text.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from));
        if (comma == std::string_view::npos)
            return fields;
        from = comma + 1;
    }
}

std::optional<std::string_view> field(const std::vector<std::string_view>& fields, size_t index) {
    if (index >= fields.size())
        return std::nullopt;
    return fields[index];
}

std::optional<int> number(const std::vector<std::string_view>& fields, size_t index) {
    auto text = field(fields, index);
    if (!text)
        return std::nullopt;
    return readInt(*text);
}

std::string fieldValue(ConfigField f, const Configuration& c) {
    switch (f) {
    case ConfigField::Empty:
        return {};
    case ConfigField::Speed:
        return std::to_string(c.speed);
    case ConfigField::Mode:
        return std::to_string(c.mode);
    case ConfigField::Seatalk:
        return std::to_string(c.seatalk);
    case ConfigField::Priority:
        return std::to_string(c.priority);
    case ConfigField::ChannelNumbers:
        return std::to_string(c.channelNumbers);
    case ConfigField::ChannelIDs:
        return std::to_string(c.channelIDs);
    case ConfigField::Realtime: {
        std::string digits;
        for (int flag : c.realtime)
            digits += std::to_string(flag);
        return digits;
    }
    case ConfigField::Heading:
        return std::to_string(c.heading);
    case ConfigField::Ais:
        return std::to_string(c.ais);
    }
    return {};
}

std::optional<uint64_t> readFlags(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && blank(text[i]))
        ++i;
    if (text.size() >= i + 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X'))
        i += 2;
    uint64_t value = 0;
    const char* begin = text.data() + i;
    const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value, 16);
    if (error != std::errc() || end == begin)
        return std::nullopt;
    return value;
}

} // namespace

std::string query(Query q) {
    switch (q) {
    case Query::Configuration:
        return "$PQVXCFQ";
    case Query::TalkerIDs:
        return "$PQVXIDQ";
    case Query::Filters:
        return "$PQVXFLQ";
    case Query::Version:
        return "$PQVXVER";
    case Query::Speeds:
        return "$PQVXSPQ";
    }
    return {};
}

std::vector<std::string> configurationCommand(const FamilyDescriptor& family, const Configuration& c) {
    std::vector<std::string> sentences;
    for (const auto& layout : family.configurationSent) {
        std::string sentence = "$PQVXCF";
        for (ConfigField f : layout)
            sentence += "," + fieldValue(f, c);
        sentences.push_back(std::move(sentence));
    }
    return sentences;
}

std::string talkerIDCommand(const TalkerIDs& ids) {
    std::string sentence = "$PQVXID";
    for (const std::string& id : ids)
        sentence += "," + talkerIDField(id);
    return sentence;
}

std::string filterCommand(const Filter& filter, bool withFrequency) {
    std::string sentence = "$PQVXFL," + filter.sentence().value_or("") + "," + filter.flagString();
    if (withFrequency)
        sentence += "," + std::to_string(filter.frequency);
    return sentence;
}

std::string clearFiltersCommand() {
    return "$PQVXFL";
}

std::string speedsCommand(const Speeds& speeds) {
    std::string sentence = "$PQVXSP";
    for (int index : speeds)
        sentence += "," + std::to_string(index);
    return sentence;
}

std::optional<std::string> replyType(std::string_view text) {
    if (text.size() < 7)
        return std::nullopt;
    return std::string(text.substr(5, 2));
}

std::optional<Version> readVersion(std::string_view text) {
    const auto fields = split(text);
    if (fields.size() < 4)
        return std::nullopt;
    Version v{std::string(fields[1]), std::string(fields[2]), std::string(fields[3]), std::nullopt};
    if (auto flags = field(fields, 4))
        v.flags = readFlags(*flags);
    return v;
}

ConfigurationReply readConfiguration(const FamilyDescriptor& family, std::string_view text) {
    const auto fields = split(text);
    ConfigurationReply r;
    for (size_t i = 0; i < family.configurationRead.size(); ++i) {
        const size_t index = i + 1;
        switch (family.configurationRead[i]) {
        case ConfigField::Empty:
            break;
        case ConfigField::Speed:
            r.speed = number(fields, index);
            break;
        case ConfigField::Mode:
            r.mode = number(fields, index);
            break;
        case ConfigField::Seatalk:
            r.seatalk = number(fields, index);
            break;
        case ConfigField::Priority:
            r.priority = number(fields, index);
            break;
        case ConfigField::ChannelNumbers:
            r.channelNumbers = number(fields, index);
            break;
        case ConfigField::ChannelIDs:
            r.channelIDs = number(fields, index);
            break;
        case ConfigField::Heading:
            r.heading = number(fields, index);
            break;
        case ConfigField::Ais:
            r.ais = number(fields, index);
            break;
        case ConfigField::Realtime:
            if (auto flags = field(fields, index); flags && flags->size() == 4)
                r.realtime = std::array<bool, 4>{(*flags)[0] == '1', (*flags)[1] == '1', (*flags)[2] == '1',
                                                 (*flags)[3] == '1'};
            break;
        }
    }
    return r;
}

TalkerIDs readTalkerIDs(std::string_view text) {
    const auto fields = split(text);
    TalkerIDs ids;
    for (size_t k = 0; k < ids.size(); ++k)
        ids[k] = std::string(field(fields, k + 1).value_or(""));
    return ids;
}

std::optional<Filter> readFilter(std::string_view text, bool withFrequency) {
    const auto fields = split(text);
    auto address = field(fields, 1), flags = field(fields, 2);
    if (!address || !flags || flags->size() != 5)
        return std::nullopt;
    Filter f = Filter::filter();
    f.setSentence(std::string(*address));
    f.usb = (*flags)[0] == '1';
    f.channel1 = (*flags)[1] == '1';
    f.channel2 = (*flags)[2] == '1';
    f.channel3 = (*flags)[3] == '1';
    f.channel4 = (*flags)[4] == '1';
    if (withFrequency)
        if (auto frequency = number(fields, 3))
            f.frequency = uint32_t(std::max(0, *frequency));
    return f;
}

std::optional<unsigned> readOverflow(std::string_view text) {
    auto mask = number(split(text), 1);
    if (!mask)
        return std::nullopt;
    return unsigned(*mask);
}

SpeedsReply readSpeeds(std::string_view text) {
    const auto fields = split(text);
    SpeedsReply speeds;
    for (size_t k = 0; k < speeds.size(); ++k)
        speeds[k] = number(fields, k + 1);
    return speeds;
}

FamilyFlags applyVersion(MuxVariant program, FamilyFlags flags, const Version& version) {
    if (!version.flags)
        return flags;
    const uint64_t bits = *version.flags;
    if (bits & 0x0002)
        flags.bluetooth = true;
    if (program == MuxVariant::Current) {
        if (bits & 0x0008)
            flags.velmar42 = true;
        if (bits & 0x8000)
            flags.velmar42 = flags.thirdGeneration = true;
    }
    return flags;
}

bool firmwareSupported(std::string_view firmware, float minimum) {
    size_t i = 0;
    while (i < firmware.size() && blank(firmware[i]))
        ++i;
    size_t end = i;
    while (end < firmware.size() && firmware[end] >= '0' && firmware[end] <= '9')
        ++end;
    if (end == i)
        return false; // "nan", "inf", "beta", "-2.5", ".5"
    if (end < firmware.size() && firmware[end] == '.')
        for (++end; end < firmware.size() && firmware[end] >= '0' && firmware[end] <= '9';)
            ++end;
    float value = 0;
    std::from_chars(firmware.data() + i, firmware.data() + end, value, std::chars_format::fixed);
    return value >= minimum;
}

int readInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && blank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<long long>(value * 10 + (text[i] - '0'), 1LL << 31);
    value = negative ? -value : value;
    return int(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

} // namespace codec
