#include "exchange/PixelImage.h"

#include <algorithm>
#include <cmath>

namespace exchange {

PixelImage::PixelImage(int width, int height)
    : width_(std::max(width, 1)), height_(std::max(height, 1)), pixels_(size_t(width_) * size_t(height_)) {
}

// Source over destination, both with straight (not premultiplied) alpha.
void PixelImage::blend(int x, int y, Pixel c, float coverage) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || coverage <= 0.0f)
        return;
    Pixel& d = pixels_[size_t(y) * size_t(width_) + size_t(x)];
    const float sa = std::min(coverage, 1.0f) * float(c.alpha) / 255.0f;
    const float da = float(d.alpha) / 255.0f;
    const float oa = sa + da * (1.0f - sa);
    if (oa <= 0.0f)
        return;
    const auto mix = [&](uint8_t s, uint8_t t) {
        return uint8_t(std::lround((float(s) * sa + float(t) * da * (1.0f - sa)) / oa));
    };
    d = {mix(c.red, d.red), mix(c.green, d.green), mix(c.blue, d.blue), uint8_t(std::lround(oa * 255.0f))};
}

void PixelImage::fillRect(int x, int y, int width, int height, Pixel colour) {
    for (int j = std::max(y, 0); j < std::min(y + height, height_); ++j)
        for (int i = std::max(x, 0); i < std::min(x + width, width_); ++i)
            blend(i, j, colour);
}

namespace {

bool inside(const std::vector<Spot>& corners, float x, float y) {
    bool in = false;
    for (size_t i = 0, j = corners.size() - 1; i < corners.size(); j = i++) {
        const Spot& a = corners[i];
        const Spot& b = corners[j];
        if ((a.y > y) != (b.y > y) && x < a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y))
            in = !in;
    }
    return in;
}

float distanceToSegment(Spot p, Spot a, Spot b) {
    const float dx = b.x - a.x, dy = b.y - a.y;
    const float length2 = dx * dx + dy * dy;
    float t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0.0f;
    t = std::clamp(t, 0.0f, 1.0f);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

} // namespace

void PixelImage::fillPolygon(const std::vector<Spot>& corners, Pixel colour) {
    if (corners.size() < 3)
        return;
    constexpr int n = 4;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            int hits = 0;
            for (int sy = 0; sy < n; ++sy)
                for (int sx = 0; sx < n; ++sx)
                    hits +=
                        inside(corners, float(x) + (float(sx) + 0.5f) / n, float(y) + (float(sy) + 0.5f) / n);
            blend(x, y, colour, float(hits) / (n * n));
        }
}

void PixelImage::strokeLine(const std::vector<Spot>& points, float width, Pixel colour, bool closed) {
    if (points.empty())
        return;
    const size_t segments = closed ? points.size() : std::max<size_t>(points.size() - 1, 1);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            const Spot centre{float(x) + 0.5f, float(y) + 0.5f};
            float nearest = INFINITY;
            for (size_t k = 0; k < segments; ++k)
                nearest = std::min(
                    nearest, distanceToSegment(centre, points[k],
                                               points[std::min((k + 1) % points.size(), points.size() - 1)]));
            blend(x, y, colour, std::clamp(width / 2.0f + 0.5f - nearest, 0.0f, 1.0f));
        }
}

} // namespace exchange
