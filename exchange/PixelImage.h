#pragma once
// A small RGBA picture drawn by code and saved as PNG: the forecast's symbols and legends, which
// go beside a KML document so that any viewer shows them offline. Antialiased shapes, a 5 x 7
// capitals-and-digits font, no outside drawing library.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace exchange {

struct Pixel {
    uint8_t red = 0, green = 0, blue = 0, alpha = 0;
    friend bool operator==(const Pixel&, const Pixel&) = default;
};

struct Spot {
    float x = 0, y = 0; // pixels, y down; pixel (i, j) covers [i, i + 1) x [j, j + 1)
};

class PixelImage {
public:
    PixelImage(int width, int height); // transparent
    int width() const { return width_; }
    int height() const { return height_; }
    Pixel at(int x, int y) const { return pixels_[size_t(y) * size_t(width_) + size_t(x)]; }

    // Paints over what is there; coverage scales the colour's alpha.
    void blend(int x, int y, Pixel colour, float coverage = 1.0f);
    void fillRect(int x, int y, int width, int height, Pixel colour);
    // Inside by the even-odd rule, 4 x 4 samples a pixel.
    void fillPolygon(const std::vector<Spot>& corners, Pixel colour);
    // A line of the given width through the points, round joins and ends.
    void strokeLine(const std::vector<Spot>& points, float width, Pixel colour, bool closed = false);
    // Capitals, digits and " +-<.()/"; other characters leave a blank. Each character is 6 x 8
    // cells of scale pixels, the top left at (x, y).
    void drawText(int x, int y, std::string_view text, int scale, Pixel colour);
    static int textWidth(std::string_view text, int scale) { return int(text.size()) * 6 * scale; }

    // The picture as a PNG file: 8-bit RGBA, not interlaced.
    std::string png() const;

private:
    int width_, height_;
    std::vector<Pixel> pixels_;
};

} // namespace exchange
