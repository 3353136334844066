#include "exchange/GribImages.h"

#include "exchange/PixelImage.h"
#include "nav/grib/GribModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace exchange {

namespace {

constexpr int kSymbolSize = 64;
constexpr int kLastNumber = 12;
const Pixel kOutline{25, 25, 25, 230};
const Pixel kWave{40, 110, 220, 255};

const std::vector<BeaufortScale>& beaufort() {
    static const std::vector<BeaufortScale> scale = GribModel().beaufortScale();
    return scale;
}

Pixel colourOf(int number) {
    const auto& scale = beaufort();
    const BeaufortColor c = scale[size_t(std::clamp(number, 0, int(scale.size()) - 1))].color;
    const auto byte = [](float v) { return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    return {byte(c.red), byte(c.green), byte(c.blue), 255};
}

void shape(PixelImage& image, const std::vector<Spot>& outline, Pixel fill) {
    image.fillPolygon(outline, fill);
    image.strokeLine(outline, 2.5f, kOutline, true);
}

// A broad arrow.
PixelImage windSymbol(int number) {
    PixelImage image(kSymbolSize, kSymbolSize);
    shape(image, {{27, 3}, {37, 3}, {37, 34}, {51, 34}, {32, 61}, {13, 34}, {27, 34}}, colourOf(number));
    return image;
}

// Two chevrons, as a stream is drawn.
PixelImage currentSymbol(int number) {
    PixelImage image(kSymbolSize, kSymbolSize);
    for (float top : {6.0f, 28.0f})
        shape(image, {{10, top}, {32, top + 18}, {54, top}, {54, top + 12}, {32, top + 30}, {10, top + 12}},
              colourOf(number));
    return image;
}

// A wavy shaft with a head.
PixelImage waveSymbol() {
    PixelImage image(kSymbolSize, kSymbolSize);
    std::vector<Spot> shaft;
    for (float y = 4; y <= 40; y += 1)
        shaft.push_back({32.0f + 7.0f * std::sin((y - 4.0f) * 2.0f * float(M_PI) / 18.0f), y});
    image.strokeLine(shaft, 8.0f, kOutline);
    image.strokeLine(shaft, 4.5f, kWave);
    shape(image, {{16, 38}, {48, 38}, {32, 61}}, kWave);
    return image;
}

std::string whole(float v) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", int(std::floor(v)));
    return text;
}

// Rows of a colour swatch, the number and the speeds it stands for, under a title.
PixelImage legend(GribSymbol kind) {
    const bool wind = kind == GribSymbol::wind;
    const std::string title = wind ? "WIND (BEAUFORT)" : "CURRENT (KN)";
    std::vector<std::string> rows;
    for (int n = 0; n <= kLastNumber; ++n) {
        const BeaufortScale& b = beaufort()[size_t(n)];
        std::string range =
            wind ? (b.upper >= 999 ? whole(b.lower) + "+" : whole(b.lower) + "-" + whole(b.upper))
                 : (n == kLastNumber ? whole(float(n)) + "+" : whole(float(n)) + "-" + whole(float(n + 1)));
        rows.push_back((n < 10 ? " " : "") + std::to_string(n) + "  " + range + " KN");
    }
    constexpr int scale = 2, margin = 8, rowHeight = 18, swatch = 24;
    int width = PixelImage::textWidth(title, scale);
    for (const std::string& r : rows)
        width = std::max(width, swatch + 8 + PixelImage::textWidth(r, scale));
    PixelImage image(width + 2 * margin, margin * 2 + rowHeight * int(rows.size() + 1));
    image.fillRect(0, 0, image.width(), image.height(), {255, 255, 255, 215});
    image.strokeLine({{0.5f, 0.5f},
                      {float(image.width()) - 0.5f, 0.5f},
                      {float(image.width()) - 0.5f, float(image.height()) - 0.5f},
                      {0.5f, float(image.height()) - 0.5f}},
                     1.0f, kOutline, true);
    const Pixel ink{20, 20, 20, 255};
    image.drawText(margin, margin, title, scale, ink);
    for (size_t k = 0; k < rows.size(); ++k) {
        const int top = margin + rowHeight * int(k + 1);
        image.fillRect(margin, top, swatch, 14, kOutline);
        image.fillRect(margin + 1, top + 1, swatch - 2, 12, colourOf(int(k)));
        image.drawText(margin + swatch + 8, top, rows[k], scale, ink);
    }
    return image;
}

} // namespace

std::string gribSymbolFile(GribSymbol kind, int number) {
    if (kind == GribSymbol::wave)
        return "wave.png";
    char text[32];
    std::snprintf(text, sizeof text, "%s-%02d.png", kind == GribSymbol::wind ? "wind" : "current",
                  std::clamp(number, 0, kLastNumber));
    return text;
}

std::string gribLegendFile(GribSymbol kind) {
    return kind == GribSymbol::current ? "legend-current.png" : "legend-wind.png";
}

std::string gribImagePng(const std::string& file) {
    if (file == gribSymbolFile(GribSymbol::wave))
        return waveSymbol().png();
    for (GribSymbol kind : {GribSymbol::wind, GribSymbol::current}) {
        if (file == gribLegendFile(kind))
            return legend(kind).png();
        for (int n = 0; n <= kLastNumber; ++n)
            if (file == gribSymbolFile(kind, n))
                return (kind == GribSymbol::wind ? windSymbol(n) : currentSymbol(n)).png();
    }
    return {};
}

} // namespace exchange
