#pragma once
// The device families of the multiplexer, shared by the console and the simulated device, and
// the names the command lines use for them.

#include <optional>
#include <string_view>

enum class MuxFamily {
    Legacy,          // earlier generation: its own configuration layout, channel speeds
    ThirdGeneration, // version flags 8000
    Model42,         // version flags 0008
    Other,           // no family flags
};

inline constexpr MuxFamily kMuxFamilies[] = {MuxFamily::Legacy, MuxFamily::ThirdGeneration,
                                             MuxFamily::Model42, MuxFamily::Other};

constexpr std::string_view muxFamilyName(MuxFamily family) {
    switch (family) {
    case MuxFamily::Legacy:
        return "legacy";
    case MuxFamily::ThirdGeneration:
        return "third";
    case MuxFamily::Model42:
        return "model42";
    case MuxFamily::Other:
        break;
    }
    return "other";
}

constexpr std::optional<MuxFamily> muxFamilyNamed(std::string_view name) {
    for (MuxFamily family : kMuxFamilies)
        if (muxFamilyName(family) == name)
            return family;
    return std::nullopt;
}
