#pragma once
// NMEA 0183 sentence toolkit: checksums and framing, address cuts, fields, position and time
// fields, AIS six-bit armouring and bit access, and the reply-handler objects of the controller.

#include "base/Bytes.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class NMEA {
public:
    // What a handler carries: the controller's method, bound to its receiver, taking the sentence.
    using Selector = std::function<void(const Bytes& sentence)>;
    using HandlerTable = std::map<std::string, std::shared_ptr<const NMEA>>;
    using Date = std::chrono::system_clock::time_point;

    // Position sentinel for a missing or malformed field.
    static constexpr float kNoPosition = -10000.0f;

    explicit NMEA(Selector selector);
    static std::shared_ptr<const NMEA> nmeaWithSelector(Selector selector);
    const Selector& selector() const { return selector_; }

    // Framing. checkSumValid truncates the buffer's text in place (the "*" or the CR becomes NUL).
    // The text operations read up to the first NUL, or to the end of the buffer when it has none.
    static bool checkSumValid(Bytes* buffer);
    static bool checkSumValid(Bytes& buffer) { return checkSumValid(&buffer); }
    // The same test on a line as read, leaving it as it is.
    static bool lineValid(std::string_view line);
    // "*hh\r\n" for a sentence without checksum and line end: the exclusive-or of every byte after
    // the start character, in two upper-case hexadecimal digits.
    static std::string checkSumTail(std::string_view sentence);

    // Cuts of the address field; nil when the buffer is shorter than offset + length.
    static std::optional<std::string> address(const Bytes& buffer, unsigned offset, unsigned length);
    static std::optional<std::string> command(const Bytes& buffer); // "RMC" of "$GPRMC"
    static std::optional<std::string> talker(const Bytes& buffer);  // "GP"
    static std::optional<std::string> prefix(const Bytes& buffer);  // "G", "P" for proprietary

    // Fields: index 0 is the address ("$GPRMC"), 1 the first data field.
    static unsigned count(const Bytes& buffer);
    static std::optional<std::string> parse(const Bytes& buffer, unsigned index);

    // Free text made safe for a field: every "," and "*" becomes a space.
    static std::optional<std::string> name(const std::optional<std::string>& text);

    // "4807.038","N" -> 48.1173; kNoPosition when malformed.
    static float position(const std::optional<std::string>& value,
                          const std::optional<std::string>& hemisphere);
    // "123519.00" -> "12:35:19"; "" when malformed. No time-zone conversion.
    static std::string formatUtcToLocal(const std::optional<std::string>& utc);
    // Today's UTC date at the given time of day; nil when malformed.
    static std::optional<Date> dateFromUtc(const std::optional<std::string>& utc);

    // AIS armouring and six-bit ASCII.
    static uint8_t sixBitToBinary(uint8_t c);
    static uint8_t binaryToSixBit(uint8_t v);
    static uint8_t binaryToAscii(uint8_t v);
    static uint8_t asciiToBinary(uint8_t c);
    static uint32_t getUnsignedBits(const std::vector<bool>& bits, unsigned start, unsigned count);
    static std::string getAsciiBits(const std::vector<bool>& bits, unsigned start, unsigned count);

    // Handler lookups; nil when the key, the table or the entry is missing.
    static std::shared_ptr<const NMEA> nmeaWithKey(const std::optional<std::string>& key,
                                                   const HandlerTable* table);
    static std::shared_ptr<const NMEA> nmeaWithPGN(uint32_t pgn, const HandlerTable* table);
    static std::shared_ptr<const NMEA> nmeaWithData(const Bytes& buffer, const HandlerTable* table);

private:
    Selector selector_;
};
