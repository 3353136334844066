#pragma once
// The legends' lettering on a PixelImage: a 5 x 7 pixel font of capitals, digits and " +-<.()/".

#include "exchange/PixelImage.h"

#include <string_view>

namespace exchange {

// Other characters leave a blank. Each character is 6 x 8 cells of scale pixels, the top left at
// (x, y).
void drawText(PixelImage& image, int x, int y, std::string_view text, int scale, Pixel colour);
inline int textWidth(std::string_view text, int scale) {
    return int(text.size()) * 6 * scale;
}

} // namespace exchange
