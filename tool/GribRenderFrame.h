#pragma once
// What the parts of a forecast picture share: degrees to pixels, the picture's scale for text and
// symbols, fonts and colours.

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>

#include <cmath>

struct RenderBounds {
    double west = 1e9, east = -1e9, south = 1e9, north = -1e9;
    bool empty() const { return west > east; }
};

// Degrees to pixels: equirectangular, shrunk across by the cosine of the middle latitude.
struct RenderFrame {
    RenderBounds b;
    QRectF area;
    double kx = 1, ky = 1;
    double unit = 1; // text, arrows and barbs grow with the picture: 1 at 900 x 600
    QPointF at(double lon, double lat) const {
        return {area.left() + (lon - b.west) * kx, area.bottom() - (lat - b.south) * ky};
    }
    double degreesPerPixel() const { return 1.0 / ky; }
};

inline const QColor kRenderBackground(11, 22, 34);
inline const QColor kRenderSea(22, 50, 79);
inline const QColor kRenderText(230, 236, 242);
inline const QColor kRenderContour(255, 255, 255, 215);
inline const QColor kRenderShore(238, 214, 160);

inline QFont renderFont(double pixels, bool bold = false) {
    QFont f("DejaVu Sans");
    f.setPixelSize(std::max(6, int(std::lround(pixels))));
    f.setBold(bold);
    return f;
}
