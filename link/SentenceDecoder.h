#pragma once
// A sentence's fields by name: a table of field layouts per sentence type (the three letters
// after the talker), read into named values with their units. Positions, times and dates are
// written out; a value and its unit or hemisphere field become one. AIS reports (VDM, VDO) go to
// AisDecoder; a type the table lacks shows numbered fields. Names are keys ("Latitude") for the
// caller to put into words; units are symbols ("kn", "°").

#include <string>
#include <string_view>
#include <vector>

struct DecodedField {
    std::string name;  // a key such as "Latitude"; "" for a numbered field (see index)
    unsigned index;    // the field's place in the sentence, from 1
    std::string value; // as written, or put in order (positions, times)
    std::string unit;  // a symbol, or ""
};

struct DecodedSentence {
    std::string type;                 // "RMC", "VDM"; "" when the text is no sentence
    bool known = false;               // the table (or the AIS decoder) had its layout
    std::vector<DecodedField> fields; // in the sentence's order
};

// The sentence as received (start character first; checksum and line end may follow).
DecodedSentence decodeSentence(std::string_view sentence);
// The sentence types the table knows, for tests and listings.
std::vector<std::string> decodedTypes();
