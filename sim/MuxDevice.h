#pragma once
// The simulated multiplexer's firmware, without any I/O: it cuts the bytes read from the line
// into sentences, checks them, applies the $PQVX commands and answers the queries. The terminal
// and the timing live in SimulatedMux.

#include "sim/SimulatedMux.h"

#include <string>
#include <string_view>
#include <vector>

class MuxDevice {
public:
    static constexpr size_t kMaxLine = 255;       // a longer line is dropped whole
    static constexpr size_t kFilterCapacity = 64; // a full list refuses new entries

    explicit MuxDevice(const SimOptions& options);

    // Bytes as read from the line; the replies they call for, each a whole line with checksum
    // and CR LF. A new "$" or "!" starts a new sentence, as a receiver resynchronises.
    std::vector<std::string> feed(const uint8_t* bytes, size_t length);
    // One whole line as read (line end included); a line that fails its checksum, or that the
    // device does not know, gets no reply.
    std::vector<std::string> handleLine(Bytes line);
    // Forget a sentence half received (the line went away under it).
    void resetInput();
    // Whether an instrument sentence (as it goes on the wire) reaches the computer: the host-link
    // flag of the list's entry for its address (the exact address, else "--" and its sentence
    // code, else its talker and "---"); a sentence the list does not name passes.
    bool routesToHost(std::string_view line) const;

    const MuxState& state() const { return state_; }
    MuxFamily family() const { return family_; }
    // The talker ID the device imposes on input 1-4, "" for none.
    const std::string& talkerID(int channel) const;

    // Sentences the device sends of its own accord.
    static std::string overflowSentence(unsigned mask);
    static std::string channelNumberSentence(const unsigned (&counts)[4]);

private:
    enum class Field { Speed, Mode, Seatalk, Priority, ChannelNumbers, ChannelIDs, Realtime, Heading, Ais };

    std::vector<std::string> reply(const std::string& address, const std::vector<std::string>& fields);
    void configure(const std::vector<std::string>& fields);
    void setTalkerIDs(const std::vector<std::string>& fields);
    void setSpeeds(const std::vector<std::string>& fields);
    void editFilters(const std::vector<std::string>& fields);
    std::string configuration() const;
    const std::vector<Field>& layout() const;      // what a command sets
    const std::vector<Field>& replyLayout() const; // what the configuration reply reports
    int modeCount() const;

    MuxFamily family_;
    bool bluetooth_;
    MuxState state_;
    std::string line_;      // the sentence being received
    bool overlong_ = false; // the current line ran past kMaxLine: skip to its end
};
