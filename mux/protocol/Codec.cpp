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

// Queries: the sentence type followed by "Q", and the version query. No fields.
//
//   $PQVXCFQ   configuration        $PQVXIDQ   talker IDs       $PQVXFLQ   filter list
//   $PQVXVER   version              $PQVXSPQ   channel speeds (earlier generation)
//
// Each is answered by replies of its type; the version query by "$PQVXVER,..." (type "VE").
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

// The reply type: the two letters after "$PQVX" ("VE" for "$PQVXVER").
std::optional<std::string> replyType(std::string_view text) {
    if (text.size() < 7)
        return std::nullopt;
    return std::string(text.substr(5, 2));
}

// $PQVXVER: version, reply.
//
//   $PQVXVER,f,name,serial[,flags]
//   1  f       firmware version   a decimal number ("2.2"); below the program's minimum the
//                                 console refuses the device
//   2  name    device name        text
//   3  serial  serial number      text
//   4  flags   feature flags      hexadecimal, either case, "0x" allowed; 0002 Bluetooth, and for
//                                 muxconsole 0008 model 42, 8000 third generation (also model 42).
//                                 Absent or not hexadecimal: no flag is set
// Fields 1 to 3 must all be there, else the reply is only shown.
std::optional<Version> readVersion(std::string_view text) {
    const auto fields = split(text);
    if (fields.size() < 4)
        return std::nullopt;
    Version v{std::string(fields[1]), std::string(fields[2]), std::string(fields[3]), std::nullopt};
    if (auto flags = field(fields, 4))
        v.flags = readFlags(*flags);
    return v;
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

// $PQVXCF: configuration, command and reply.
//
//   earlier generation   $PQVXCF,s,m,t,p,n,rrrr,h,a
//   third generation     $PQVXCF,s,m,t,p,n,rrrr,      then  $PQVXCF,,,,,,,h
//   model 42             $PQVXCF,s,m,t,p,n,i,rrrr,    then  $PQVXCF,,,,,,,,h
//   other, unidentified  $PQVXCF,s,m,t                (its reply is read as a model 42's)
//
//   s     host-port speed   index 0-3: 4800, 9600, 19200, 38400 baud; -1 when none is selected
//   m     operating mode    index 0 server, 1 hub, 2 auto, 3 AIS (muxconsole); -1 when none
//   t     SeaTalk           0 or 1
//   p     priority          0 or 1
//   n     channel numbers   0 or 1
//   i     channel IDs       0 or 1 (muxconsole)
//   rrrr  real time         one digit 0 or 1 per input, channel 1 first; read only when it has
//                           four characters, each "1" on and anything else off
//   h     heading           0 or 1; the pairs send it alone in their second sentence
//   a     AIS               0 or 1 (earlier generation)
// The layouts are the families' descriptors (Descriptor.cpp). Numbers are written "%d"; a field
// absent from a reply is left as it was.
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

// $PQVXID: talker IDs, command and reply.
//
//   $PQVXID,c1,c2,c3,c4
//   c1-c4  the talker ID imposed on input channels 1 to 4: two letters or digits, or empty for
//          none. Sent upper-cased; read as text, an absent field as empty.
std::string talkerIDCommand(const TalkerIDs& ids) {
    std::string sentence = "$PQVXID";
    for (const std::string& id : ids)
        sentence += "," + talkerIDField(id);
    return sentence;
}

TalkerIDs readTalkerIDs(std::string_view text) {
    const auto fields = split(text);
    TalkerIDs ids;
    for (size_t k = 0; k < ids.size(); ++k)
        ids[k] = std::string(field(fields, k + 1).value_or(""));
    return ids;
}

// $PQVXFL: one filter entry, command and reply (one reply per entry of the device's list).
//
//   $PQVXFL,aaaaa,hcccc[,q]
//   aaaaa  address    five characters: talker and sentence code ("GPRMC"), a talker alone
//                     widened "GP---", a sentence code alone "--RMC"
//   hcccc  routes     five flags, "1" set and "0" clear (read: anything but "1" clear): the host
//                     link, then input channels 1 to 4. A reply whose field is not five
//                     characters long adds no entry
//   q      frequency  unsigned, 0 to 10 (earlier generation only; read when present)
// A new entry goes out with all five flags "0", a removed one with all five "1".
//
//   $PQVXFL    without fields clears the list.
std::string filterCommand(const Filter& filter, bool withFrequency) {
    std::string sentence = "$PQVXFL," + filter.sentence().value_or("") + "," + filter.flagString();
    if (withFrequency)
        sentence += "," + std::to_string(filter.frequency);
    return sentence;
}

std::string clearFiltersCommand() {
    return "$PQVXFL";
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

// $PQVXSP: channel speeds (earlier generation), command and reply.
//
//   $PQVXSP,i1,i2,i3,i4,o2
//   i1-i4  speed index of input channels 1 to 4   0-3: 4800, 9600, 19200, 38400 baud
//   o2     speed index of output 2                 as above
std::string speedsCommand(const Speeds& speeds) {
    std::string sentence = "$PQVXSP";
    for (int index : speeds)
        sentence += "," + std::to_string(index);
    return sentence;
}

SpeedsReply readSpeeds(std::string_view text) {
    const auto fields = split(text);
    SpeedsReply speeds;
    for (size_t k = 0; k < speeds.size(); ++k)
        speeds[k] = number(fields, k + 1);
    return speeds;
}

// $PQVXOV: overflow, sent by the device of its own accord. $PQVXCN (channel numbers) comes
// the same way; the console reads none of its fields and only shows it.
//
//   $PQVXOV,mask
//   mask  decimal; bits 0 to 3 mark an overflow on input channels 1 to 4
std::optional<unsigned> readOverflow(std::string_view text) {
    auto mask = number(split(text), 1);
    if (!mask)
        return std::nullopt;
    return unsigned(*mask);
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
