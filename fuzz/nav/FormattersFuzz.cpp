// Text typed into the navigation views: every parsing formatter, under every position form and
// orientation, and the partial-string check.

#include "nav/Formatters.h"
#include "nav/UnitsModel.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the form (including an unknown one); the rest is the text.
    const unsigned form = data[0] % 5;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    UnitsModel::units().setPositionFormatUnits(form);

    for (unsigned orientation : {0u, 1u}) {
        NSPositionFormatter position(orientation);
        float value = NAN;
        std::string error;
        if (position.getObjectValue(&value, text, &error)) {
            const float limit = orientation == 0 ? 90.0f : 180.0f;
            if (!(std::fabs(value) < limit) || !error.empty())
                std::abort(); // accepted text must give a coordinate in range
            // What was read back must format again.
            if (!position.formatPosition(value))
                std::abort();
        } else if (!error.empty() && error.rfind("NSInvalid", 0) != 0) {
            std::abort();
        }
        (void)position.getObjectValue(nullptr, text, nullptr);
        (void)position.isPartialStringValid(text, nullptr, nullptr);
    }
    const NSSogFormatter sog;
    const NSCogFormatter cog;
    const NSDtwFormatter dtw;
    const NSXteFormatter xte;
    const NSEtaFormatter eta;
    const NSDptFormatter dpt;
    const NSTmpFormatter tmp;
    const NSAwaFormatter awa;
    const NSAwsFormatter aws;
    const NSLengthFormatter length;
    const Formatter* others[] = {&sog, &cog, &dtw, &xte, &eta, &dpt, &tmp, &awa, &aws, &length};
    for (const Formatter* f : others) {
        float value = NAN;
        if (f->getObjectValue(&value, text, nullptr) && !(value >= 0.0f && value < 100.0f))
            std::abort(); // only speeds parse, and only 0 <= v < 100
    }
    return 0;
}
