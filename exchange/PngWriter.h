#pragma once
// PNG files of a PixelImage.

#include "exchange/PixelImage.h"

#include <string>

namespace exchange {

// The picture as a PNG file: 8-bit RGBA, not interlaced.
std::string pngFile(const PixelImage& image);

} // namespace exchange
