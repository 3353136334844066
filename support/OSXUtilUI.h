#pragma once
// Screen, colour, font and path aids (library mux_support_ui, Qt, main thread only).

#include "support/OSXUtil.h"

#include <optional>

class QWidget;
class QColor;
class QPainterPath;
class QRectF;
class QSize;

namespace OSXUtil {

unsigned screenDPI();
QSize maxScreenSize();
bool hasScreen(); // the primary screen is smaller than 1024 x 768
void setFullScreen(QWidget* view);
void setBackgroundColor(QWidget* view, int mode);
std::optional<QColor> transparentColor(const std::optional<QColor>& color, double alpha);
void sizeTextforControl(QWidget* control);
bool pathContainsRect(const QPainterPath& path, const QRectF& rect);
QPainterPath bezierPathWithRoundedRect(const QRectF& rect, double radiusA, double radiusB);

} // namespace OSXUtil
