#pragma once
// The images a forecast's KML refers to: wind, current and wave symbols and the legends, drawn by
// code as PNG so that the document works offline in any viewer. A symbol points down, the way
// the flow goes when it comes from the north; the document rotates it to the flow's direction.

#include <string>

namespace exchange {

enum class GribSymbol { wind, current, wave };

// "wind-06.png" (Beaufort number), "current-12.png" (whole knots), "wave.png"; numbers are
// brought into 0..12.
std::string gribSymbolFile(GribSymbol kind, int number = 0);
// "legend-wind.png", "legend-current.png".
std::string gribLegendFile(GribSymbol kind);
// The PNG file of an image named as above; empty for any other name.
std::string gribImagePng(const std::string& file);

} // namespace exchange
