#pragma once
// The waypoint icon table. A waypoint's icon index points into it, so the order is stored data and
// never changes. Each entry names its image file (the icon's name is that file name without its
// extension, which the exchange formats carry) and the message key of its display name. The images
// are small SVG documents drawn here: a shape, a colour and a letter or two per icon.

#include <optional>
#include <string>
#include <string_view>

class WaypointIcons {
public:
    static constexpr size_t count = 70;

    static std::string_view imageFile(size_t index); // "BOATSLIP.BMP"; empty past the end
    static std::string iconName(size_t index);       // "BOATSLIP"; empty past the end
    static std::string_view key(size_t index);       // "NSDock"; empty past the end
    // The first index whose icon name equals the name exactly; 0 when none does.
    static int indexOfName(std::string_view name);
    // The SVG image; nothing past the end.
    static std::optional<std::string> image(size_t index);
};
