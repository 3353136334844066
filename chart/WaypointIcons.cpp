#include "chart/WaypointIcons.h"

#include <array>
#include <cstdio>

namespace {

enum class Shape { None, Circle, Square, Diamond, Triangle, Can };

struct IconEntry {
    const char* image;
    const char* key;
    Shape shape;
    const char* fill;  // shape colour
    const char* label; // letters drawn on the shape
};

// clang-format off
constexpr std::array<IconEntry, WaypointIcons::count> entries{{
    {"BLANK.BMP", "NSNone", Shape::None, "", ""},
    {"BOATSLIP.BMP", "NSDock", Shape::Square, "#2f6db5", "D"},
    {"DIESEL.BMP", "NSDiesel", Shape::Square, "#5a4a2a", "Di"},
    {"DRINKWAT.BMP", "NSWater", Shape::Circle, "#3aa0e0", "W"},
    {"ELECTRIC.BMP", "NSPower", Shape::Square, "#e0b000", "P"},
    {"FOOD.BMP", "NSFood", Shape::Circle, "#c0502a", "F"},
    {"GAS.BMP", "NSGas", Shape::Square, "#b03030", "G"},
    {"GROCERY.BMP", "NSSupplies", Shape::Square, "#508030", "S"},
    {"ICE.BMP", "NSIce", Shape::Circle, "#9fd8f0", "I"},
    {"LAUNDRY.BMP", "NSLaundry", Shape::Circle, "#7070c0", "L"},
    {"LODGING.BMP", "NSLodging", Shape::Square, "#805080", "H"},
    {"MECHANIC.BMP", "NSService", Shape::Square, "#606060", "M"},
    {"MOORING.BMP", "NSMooring", Shape::Circle, "#f0a000", "Mo"},
    {"PUMPOUT.BMP", "NSWaste", Shape::Square, "#806040", "Pu"},
    {"RESTROOM.BMP", "NSRestroom", Shape::Square, "#4060a0", "WC"},
    {"SAILBOAT.BMP", "NSSailboat", Shape::Triangle, "#ffffff", ""},
    {"SHOWER.BMP", "NSShower", Shape::Circle, "#50a0d0", "Sh"},
    {"ANCHOR.BMP", "NSAnchorage", Shape::Circle, "#203a80", "A"},
    {"DIVEFLAG.BMP", "NSDive", Shape::Square, "#d02020", "/"},
    {"FISH.BMP", "NSFish", Shape::Circle, "#3080a0", "Fi"},
    {"BELL.BMP", "NSBell", Shape::Diamond, "#c0a030", "B"},
    {"BUOYB.BMP", "NSBlackBuoy", Shape::Diamond, "#000000", ""},
    {"BUOYG.BMP", "NSGreenBuoy", Shape::Diamond, "#109030", ""},
    {"BUOYR.BMP", "NSRedBuoy", Shape::Diamond, "#d02020", ""},
    {"BUOYRG.BMP", "NSRedGreenBuoy", Shape::Diamond, "#d02020", "G"},
    {"CANB.BMP", "NSBlackCan", Shape::Can, "#000000", ""},
    {"CANG.BMP", "NSGreenCan", Shape::Can, "#109030", ""},
    {"CANR.BMP", "NSRedNun", Shape::Triangle, "#d02020", ""},
    {"WRECK.BMP", "NSWreckBelow", Shape::Circle, "#4a6a8a", "#"},
    {"WRECKSURF.BMP", "NSWreckExposed", Shape::Circle, "#8a6a4a", "#"},
    {"AIRFILL.BMP", "NSOil", Shape::Square, "#303030", "O"},
    {"BANK.BMP", "NSBank", Shape::Square, "#2a7a2a", "$"},
    {"COCKTAILS.BMP", "NSCocktails", Shape::Triangle, "#c03080", ""},
    {"INTERNET1.BMP", "NSInternetCafe1", Shape::Square, "#2060c0", "@"},
    {"INTERNET2.BMP", "NSInternetCafe2", Shape::Circle, "#2060c0", "@"},
    {"MAIL.BMP", "NSPostal", Shape::Square, "#e0c020", "@"},
    {"MEDICAL.BMP", "NSMedic", Shape::Square, "#ffffff", "+"},
    {"MUSIC.BMP", "NSMusic", Shape::Circle, "#6040a0", "Mu"},
    {"PHONE.BMP", "NSPhone", Shape::Square, "#208080", "T"},
    {"BLACK.BMP", "NSBlack", Shape::Square, "#000000", ""},
    {"BLUE.BMP", "NSBlue", Shape::Square, "#0000ff", ""},
    {"BROWN.BMP", "NSBrown", Shape::Square, "#8b4513", ""},
    {"CYAN.BMP", "NSCyan", Shape::Square, "#00ffff", ""},
    {"GREEN.BMP", "NSGreen", Shape::Square, "#00c000", ""},
    {"MAGENTA.BMP", "NSMagenta", Shape::Square, "#ff00ff", ""},
    {"ORANGE.BMP", "NSOrange", Shape::Square, "#ff8000", ""},
    {"PURPLE.BMP", "NSPurple", Shape::Square, "#800080", ""},
    {"RED.BMP", "NSRed", Shape::Square, "#ff0000", ""},
    {"YELLOW.BMP", "NSYellow", Shape::Square, "#ffff00", ""},
    {"WHITE.BMP", "NSWhite", Shape::Square, "#ffffff", ""},
    {"HIGH.BMP", "NSHighPressure", Shape::Circle, "#2050d0", "H"},
    {"LOW.BMP", "NSLowPressure", Shape::Circle, "#d03020", "L"},
    {"HURRICANE.BMP", "NSHurricane", Shape::Circle, "#a00000", "Hu"},
    {"TROPSTRM.BMP", "NSTropicalStorm", Shape::Circle, "#d06000", "TS"},
    {"SWIM.BMP", "NSSwim", Shape::Circle, "#30a0e0", "Sw"},
    {"NCARDINAL.BMP", "NSNorthCardinal", Shape::Diamond, "#f0d000", "N"},
    {"SCARDINAL.BMP", "NSSouthCardinal", Shape::Diamond, "#f0d000", "S"},
    {"WCARDINAL.BMP", "NSWestCardinal", Shape::Diamond, "#f0d000", "W"},
    {"ECARDINAL.BMP", "NSEastCardinal", Shape::Diamond, "#f0d000", "E"},
    {"AISSART.BMP", "NSAISSart", Shape::Circle, "#ff2020", "X"},
    {"ROCKAWASH.TIF", "NSRockAwash", Shape::Circle, "#7a7a7a", "*"},
    {"SUNKENROCK.TIF", "NSSunkenRock", Shape::Circle, "#4a5a7a", "+"},
    {"TIDESTATION.BMP", "NSTideStation", Shape::Square, "#2060a0", "T"},
    {"CURRENTSTATION.BMP", "NSCurrentStation", Shape::Square, "#2090a0", "C"},
    {"BEACON.BMP", "NSBeacon", Shape::Triangle, "#f0d000", ""},
    {"DELETED.BMP", "NSDeleted", Shape::Square, "#a0a0a0", "x"},
    {"GREENCONE.BMP", "NSGreenCone", Shape::Triangle, "#109030", ""},
    {"YELLOWSPHERE.BMP", "NSYellowSphere", Shape::Circle, "#f0d000", ""},
    {"WINDFARM.BMP", "NSWindFarm", Shape::Square, "#e8e8e8", "WF"},
    {"WINDTURBINE.BMP", "NSWindTurbine", Shape::Triangle, "#e8e8e8", "Y"},
}};
// clang-format on

const char* shapeElement(Shape shape) {
    switch (shape) {
    case Shape::Circle:
        return "<circle cx=\"8\" cy=\"8\" r=\"7\"";
    case Shape::Square:
        return "<rect x=\"1\" y=\"1\" width=\"14\" height=\"14\" rx=\"2\"";
    case Shape::Diamond:
        return "<polygon points=\"8,0.5 15.5,8 8,15.5 0.5,8\"";
    case Shape::Triangle:
        return "<polygon points=\"8,1 15,15 1,15\"";
    case Shape::Can:
        return "<rect x=\"3\" y=\"1\" width=\"10\" height=\"14\"";
    case Shape::None:
        break;
    }
    return nullptr;
}

// Letters light on dark fills, dark on light ones.
bool isLight(const char* fill) {
    unsigned r = 0, g = 0, b = 0;
    if (std::sscanf(fill, "#%2x%2x%2x", &r, &g, &b) != 3)
        return false;
    return r * 299 + g * 587 + b * 114 > 150000;
}

} // namespace

std::string_view WaypointIcons::imageFile(size_t index) {
    return index < count ? entries[index].image : "";
}

std::string WaypointIcons::iconName(size_t index) {
    std::string name(imageFile(index));
    return name.substr(0, name.rfind('.'));
}

std::string_view WaypointIcons::key(size_t index) {
    return index < count ? entries[index].key : "";
}

int WaypointIcons::indexOfName(std::string_view name) {
    for (size_t i = 0; i < count; ++i) {
        const std::string_view file = entries[i].image;
        if (file.substr(0, file.rfind('.')) == name)
            return static_cast<int>(i);
    }
    return 0;
}

std::optional<std::string> WaypointIcons::image(size_t index) {
    if (index >= count)
        return std::nullopt;
    const IconEntry& e = entries[index];
    std::string svg =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\" viewBox=\"0 0 16 16\">";
    if (const char* element = shapeElement(e.shape)) {
        svg += element;
        svg += std::string(" fill=\"") + e.fill + "\" stroke=\"#202020\" stroke-width=\"1\"/>";
    }
    if (*e.label) {
        const bool light = isLight(e.fill);
        const bool small = e.label[1] != '\0';
        svg += std::string("<text x=\"8\" y=\"") + (e.shape == Shape::Triangle ? "13.5" : "11.5") +
               "\" font-family=\"sans-serif\" font-weight=\"bold\" font-size=\"" + (small ? "6.5" : "8.5") +
               "\" text-anchor=\"middle\" fill=\"" + (light ? "#000000" : "#ffffff") + "\">" + e.label +
               "</text>";
    }
    svg += "</svg>\n";
    return svg;
}
