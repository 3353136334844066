// Golden transcripts, one per device family (tests/mux/transcripts): device replies in, the
// console's bytes out. The runner keeps what the replies told it as the panel would and sends
// from that state through the console's own request sequencing and the command sender's framing.

#include "link/NMEA.h"
#include "mux/protocol/Codec.h"
#include "mux/protocol/RequestSequence.h"
#include "mux/protocol/TypedText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// The configuration's numbers: their names in "set" lines, and where a reply carries them.
struct Field {
    const char* name;
    int Configuration::*value;
    std::optional<int> ConfigurationReply::*reply;
};
constexpr Field kFields[] = {{"speed", &Configuration::speed, &ConfigurationReply::speed},
                             {"mode", &Configuration::mode, &ConfigurationReply::mode},
                             {"seatalk", &Configuration::seatalk, &ConfigurationReply::seatalk},
                             {"priority", &Configuration::priority, &ConfigurationReply::priority},
                             {"numbers", &Configuration::channelNumbers, &ConfigurationReply::channelNumbers},
                             {"channelids", &Configuration::channelIDs, &ConfigurationReply::channelIDs},
                             {"heading", &Configuration::heading, &ConfigurationReply::heading},
                             {"ais", &Configuration::ais, &ConfigurationReply::ais}};

class Transcript {
public:
    void run(const fs::path& file) {
        std::ifstream in(file);
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            SCOPED_TRACE(file.filename().string() + ":" + std::to_string(number) + ": " + line);
            if (line.empty() || line[0] == '#')
                continue;
            const std::string verb = line.substr(0, line.find(' '));
            const std::string rest = line.substr(std::min(line.size(), verb.size() + 1));
            std::istringstream words(rest);
            if (verb == "program")
                program_ = rest == "legacy" ? MuxVariant::Legacy : MuxVariant::Current;
            else if (verb == "<")
                reply(rest);
            else if (verb == ">")
                expectSent(rest);
            else if (verb == "send")
                send(words);
            else if (verb == "set")
                set(words);
            else if (verb == "=")
                check(words);
            else
                ADD_FAILURE() << "unknown line";
        }
        EXPECT_TRUE(out_.empty()) << "not in the transcript: " << (out_.empty() ? "" : out_.front());
    }

private:
    const FamilyDescriptor& family() const { return familyDescriptor(program_, familyOf(program_, flags_)); }
    bool legacy() const { return program_ == MuxVariant::Legacy; }

    void emit(const std::string& sentence) { out_.push_back(sentence + NMEA::checkSumTail(sentence)); }
    void expectSent(const std::string& bytes) {
        ASSERT_FALSE(out_.empty()) << "nothing sent";
        EXPECT_EQ(out_.front(), bytes + "\r\n");
        out_.pop_front();
    }

    // Sent through the console's own sequencing; a query makes the runner forget what its reply
    // will tell again, as the console does.
    void emit(const std::vector<Outgoing>& sentences) {
        for (const Outgoing& o : sentences) {
            if (o.query == Query::Version)
                flags_.velmar42 = flags_.thirdGeneration = false;
            if (o.query == Query::Filters)
                filters_.clear();
            emit(o.sentence);
        }
    }
    void request(DeviceRequest r) {
        r.family = familyOf(program_, flags_);
        emit(requestSentences(programDescriptor(program_), r));
    }

    // Read by the handler of its type.
    void reply(const std::string& text) {
        const std::string type = codec::replyType(text).value_or("");
        if (type == "VE") {
            if (auto v = codec::readVersion(text)) {
                supported_ =
                    codec::firmwareSupported(v->firmware, programDescriptor(program_).minimumFirmware);
                flags_ = codec::applyVersion(program_, flags_, *v);
            }
        } else if (type == "CF") {
            const ConfigurationReply r = codec::readConfiguration(family(), text);
            for (const Field& f : kFields)
                config_.*f.value = (r.*f.reply).value_or(config_.*f.value);
            if (r.realtime)
                std::copy(r.realtime->begin(), r.realtime->end(), config_.realtime.begin());
        } else if (type == "ID") {
            ids_ = codec::readTalkerIDs(text);
        } else if (type == "FL") {
            if (auto f = codec::readFilter(text, legacy()))
                filters_.push_back(*f);
        } else if (type == "SP") {
            const SpeedsReply r = codec::readSpeeds(text);
            for (size_t k = 0; k < speeds_.size(); ++k)
                speeds_[k] = r[k].value_or(speeds_[k]);
        } else if (type == "OV") {
            overflow_ = codec::readOverflow(text).value_or(overflow_);
        }
    }

    void send(std::istringstream& words) {
        std::string what;
        words >> what;
        if (what == "burst") {
            emit(queryBurst(programDescriptor(program_)));
        } else if (what == "configuration") {
            request({.configuration = config_});
        } else if (what == "talkers") {
            request({.talkerIDs = ids_});
        } else if (what == "speeds") {
            request({.speeds = speeds_});
        } else if (what == "clear") {
            request({.clearFilters = true});
        } else if (what == "add") { // typed into the sentence box, with the frequency box
            std::string typed;
            unsigned frequency = 0;
            words >> typed >> frequency;
            if (auto address = filterAddress(typed)) {
                Filter f = Filter::filter();
                f.setSentence(*address);
                f.frequency = frequency;
                request({.filters = {f}});
            }
        } else if (what == "row") { // a row of the table edited: its flags as they now are
            std::string address, flags;
            words >> address >> flags;
            auto row = std::find_if(filters_.begin(), filters_.end(),
                                    [&](const Filter& f) { return f.sentence() == address; });
            ASSERT_NE(row, filters_.end());
            Filter f = *row;
            bool* bits[] = {&f.usb, &f.channel1, &f.channel2, &f.channel3, &f.channel4};
            for (size_t k = 0; k < 5; ++k)
                *bits[k] = flags[k] == '1';
            request({.filters = {f}});
        } else if (what == "capture") {             // the sentences gathered, in arrival order
            std::map<std::string, Filter> gathered; // each address once, in order
            for (std::string sentence; words >> sentence;)
                if (auto address = captureAddress(sentence, false))
                    gathered[*address].setSentence(*address);
            std::vector<Filter> taken;
            for (auto& [address, f] : gathered)
                taken.push_back(f);
            std::stable_sort(taken.begin(), taken.end(), filterSortBySentence);
            request({.captured = taken});
        } else {
            ADD_FAILURE() << "unknown send";
        }
    }

    void set(std::istringstream& words) {
        std::string name, value;
        words >> name >> value;
        auto field = std::find_if(std::begin(kFields), std::end(kFields),
                                  [&](const Field& f) { return name == f.name; });
        if (field != std::end(kFields))
            config_.*field->value = codec::readInt(value);
        else if (name == "realtime")
            for (size_t k = 0; k < 4; ++k)
                config_.realtime[k] = value[k] - '0';
        else if (name.starts_with("talker"))
            ids_[size_t(name[6] - '1')] = value == "-" ? "" : value;
        else if (name.starts_with("channelspeed"))
            speeds_[size_t(name[12] - '1')] = codec::readInt(value);
        else
            ADD_FAILURE() << "unknown field";
    }

    void check(std::istringstream& words) {
        std::string what, value, item;
        words >> what >> value;
        while (words >> item)
            value += " " + item;
        if (what == "family")
            EXPECT_EQ(muxFamilyName(familyOf(program_, flags_)), value);
        else if (what == "firmware")
            EXPECT_EQ(supported_ ? "supported" : "unsupported", value);
        else if (what == "bluetooth")
            EXPECT_EQ(flags_.bluetooth ? "on" : "off", value);
        else if (what == "filters") { // each entry as the device would be told it
            std::string list;
            for (const Filter& f : filters_)
                list += (list.empty() ? "" : " ") + codec::filterCommand(f, legacy()).substr(8);
            EXPECT_EQ(list, value);
        } else if (what == "overflow")
            EXPECT_EQ(std::to_string(overflow_), value);
        else if (what == "configuration") // every item, in the earlier generation's order
            EXPECT_EQ(
                codec::configurationCommand(familyDescriptor(MuxVariant::Legacy, MuxFamily::Legacy), config_)
                    .front()
                    .substr(8),
                value);
        else
            ADD_FAILURE() << "unknown check";
    }

    MuxVariant program_ = MuxVariant::Current;
    FamilyFlags flags_;
    bool supported_ = false;
    Configuration config_;
    TalkerIDs ids_;
    Speeds speeds_{};
    std::vector<Filter> filters_;
    unsigned overflow_ = 0;
    std::deque<std::string> out_;
};

} // namespace

TEST(MuxTranscript, EachFamily) {
    const fs::path folder = fs::path(MUX_SOURCE_DIR) / "tests" / "mux" / "transcripts";
    for (MuxFamily family : kMuxFamilies) {
        const fs::path file = folder / (std::string(muxFamilyName(family)) + ".txt");
        ASSERT_TRUE(fs::exists(file)) << file;
        Transcript().run(file);
    }
}
