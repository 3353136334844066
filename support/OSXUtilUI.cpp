#include "support/OSXUtilUI.h"

#include <QApplication>
#include <QColor>
#include <QGuiApplication>
#include <QPainterPath>
#include <QPalette>
#include <QPointer>
#include <QRectF>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <cmath>

namespace {
QScreen* primaryScreen() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::primaryScreen()
                                                                        : nullptr;
}
} // namespace

unsigned OSXUtil::screenDPI() {
    QScreen* screen = primaryScreen();
    if (!screen)
        return 72;
    double dpi = screen->physicalDotsPerInchX();
    if (!std::isfinite(dpi) || dpi < 1 || dpi > 100000)
        return 72;
    return unsigned(dpi);
}

QSize OSXUtil::maxScreenSize() {
    QSize best(0, 0);
    if (!primaryScreen())
        return best;
    for (QScreen* screen : QGuiApplication::screens()) {
        QSize size = screen->geometry().size();
        if (size.width() > best.width() && size.height() > best.height())
            best = size;
    }
    return best;
}

bool OSXUtil::hasScreen() {
    QScreen* screen = primaryScreen();
    if (!screen)
        return false;
    QSize size = screen->geometry().size();
    return size.width() < 1024 || size.height() < 768;
}

void OSXUtil::setFullScreen(QWidget* view) {
    QScreen* screen = primaryScreen();
    if (!view || !screen)
        return;
    // A frameless window above the others that owns the view; it deletes itself when closed.
    auto* window = new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setAttribute(Qt::WA_OpaquePaintEvent);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    view->setParent(window);
    layout->addWidget(view);
    window->setGeometry(screen->geometry());
    view->setGeometry(QRect(QPoint(0, 0), screen->geometry().size()));
    QPointer<QWidget> guard(window);
    QObject::connect(qGuiApp, &QGuiApplication::applicationStateChanged, window,
                     [guard](Qt::ApplicationState state) {
                         if (!guard)
                             return;
                         if (state == Qt::ApplicationActive)
                             guard->show();
                         else
                             guard->hide();
                     });
    window->show();
    window->raise();
    window->activateWindow();
}

void OSXUtil::setBackgroundColor(QWidget* view, int mode) {
    if (!view)
        return;
    QColor base = view->palette().color(QPalette::Active, QPalette::Base).toRgb();
    double factor = mode == 2 ? 0.75 : mode == 3 ? 0.5 : 1.0;
    QColor color = QColor::fromRgbF(float(base.redF() * factor), float(base.greenF() * factor),
                                    float(base.blueF() * factor), 1.0f);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, color);
    palette.setColor(QPalette::Base, color);
    view->setPalette(palette);
    view->setAutoFillBackground(true);
}

std::optional<QColor> OSXUtil::transparentColor(const std::optional<QColor>& color, double alpha) {
    if (!color || !color->isValid())
        return std::nullopt;
    QColor rgb = color->toRgb();
    double a = std::isfinite(alpha) ? std::clamp(alpha, 0.0, 1.0) : 1.0;
    rgb.setAlphaF(float(a));
    return rgb;
}

void OSXUtil::sizeTextforControl(QWidget* control) {
    if (!control)
        return;
    QFont font = QApplication::font();
    font.setBold(true);
    // A control too small for text still gets a readable minimum rather than an invalid size.
    font.setPointSizeF(std::max(1.0, double(control->height()) - 8.0));
    control->setFont(font);
}

bool OSXUtil::pathContainsRect(const QPainterPath& path, const QRectF& rect) {
    auto samples = [](double extent, double& step) -> long {
        if (!std::isfinite(extent) || extent <= 0)
            return 0;
        step = extent < 144 ? 8.0 : std::trunc(extent / 16);
        return long(std::ceil(extent / step));
    };
    double stepX = 8, stepY = 8;
    long nx = samples(rect.width(), stepX), ny = samples(rect.height(), stepY);
    // Counted steps rather than repeated addition: far from the origin x + step may equal x.
    for (long i = 0; i < nx; ++i) {
        double x = rect.x() + double(i) * stepX;
        if (x >= rect.x() + rect.width())
            break;
        for (long j = 0; j < ny; ++j) {
            double y = rect.y() + double(j) * stepY;
            if (y >= rect.y() + rect.height())
                break;
            if (!path.contains(QPointF(x, y)))
                return false;
        }
    }
    return true;
}

namespace {
// An arc of the given radius tangent to the lines current->corner and corner->end, preceded by
// the line from the current point to the first tangent point.
void arcThrough(QPainterPath& path, QPointF corner, QPointF end, double radius) {
    QPointF current = path.currentPosition();
    QPointF a = current - corner, b = end - corner;
    double la = std::hypot(a.x(), a.y()), lb = std::hypot(b.x(), b.y());
    if (la <= 0 || lb <= 0 || radius <= 0 || !std::isfinite(radius)) {
        path.lineTo(corner);
        return;
    }
    QPointF ua = a / la, ub = b / lb;
    double cosTheta = std::clamp(ua.x() * ub.x() + ua.y() * ub.y(), -1.0, 1.0);
    double theta = std::acos(cosTheta); // angle at the corner
    if (theta < 1e-9 || std::abs(theta - M_PI) < 1e-9) {
        path.lineTo(corner);
        return;
    }
    double distance = radius / std::tan(theta / 2);
    QPointF t1 = corner + ua * distance, t2 = corner + ub * distance;
    QPointF bisector = ua + ub;
    bisector /= std::hypot(bisector.x(), bisector.y());
    QPointF centre = corner + bisector * (radius / std::sin(theta / 2));
    path.lineTo(t1);
    // Qt measures angles counter-clockwise with y pointing down.
    double start = std::atan2(-(t1.y() - centre.y()), t1.x() - centre.x()) * 180 / M_PI;
    double stop = std::atan2(-(t2.y() - centre.y()), t2.x() - centre.x()) * 180 / M_PI;
    double sweep = stop - start;
    while (sweep > 180)
        sweep -= 360;
    while (sweep < -180)
        sweep += 360;
    path.arcTo(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), start, sweep);
}
} // namespace

QPainterPath OSXUtil::bezierPathWithRoundedRect(const QRectF& rect, double radiusA, double radiusB) {
    QPainterPath path;
    double x0 = rect.left(), y0 = rect.top(), x1 = rect.right(), y1 = rect.bottom();
    double xm = (x0 + x1) / 2, ym = (y0 + y1) / 2;
    // From the middle of the origin's vertical edge, round the four corners in turn.
    path.moveTo(x0, ym);
    arcThrough(path, QPointF(x0, y0), QPointF(xm, y0), radiusA);
    arcThrough(path, QPointF(x1, y0), QPointF(x1, ym), radiusB);
    arcThrough(path, QPointF(x1, y1), QPointF(xm, y1), radiusA);
    arcThrough(path, QPointF(x0, y1), QPointF(x0, ym), radiusB);
    path.closeSubpath();
    return path;
}
