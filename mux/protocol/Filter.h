#pragma once
// One entry of the device's sentence filter list: an address and its routing flags.

#include <cstdint>
#include <optional>
#include <string>

class Filter {
public:
    static Filter filter() { return Filter(); }

    const std::optional<std::string>& sentence() const { return sentenceString_; }
    // Upper-cases; a lone talker ("GP") becomes "GP---", a lone formatter ("RMC") "--RMC".
    void setSentence(const std::optional<std::string>& text);

    bool usb = false;
    bool channel1 = false;
    bool channel2 = false;
    bool channel3 = false;
    bool channel4 = false;
    uint32_t frequency = 0; // earlier generation only

    // The five route flags as the device writes them: "1" set, "0" clear, host link first.
    std::string flagString() const;

private:
    std::optional<std::string> sentenceString_;
};

// Case-insensitive order of the sentence texts.
bool filterSortBySentence(const Filter& a, const Filter& b);
