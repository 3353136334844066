#include "mux/NSDataReadyView.h"

#include <QPainter>

NSDataReadyView::NSDataReadyView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(sizeHint());
}

void NSDataReadyView::drawDataReady(uint32_t state) {
    if (state == dataReadyState_)
        return;
    dataReadyState_ = state;
    ++redraws_;
    update();
}

// The lamp as drawn from the view's bottom left: the disc keeps to the top right, under a white
// ring open by one degree, with a white dot in the middle. Qt's origin is the top left, so the
// disc's rectangle starts at the top.
void NSDataReadyView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    const double ix = int(bounds.x()), iy = int(bounds.y()), w = bounds.width(), h = bounds.height();
    QColor fill = palette().color(QPalette::WindowText); // any other state: the current colour
    switch (dataReadyState_) {
    case 0:
        fill = Qt::red;
        break;
    case 1:
        fill = Qt::yellow;
        break;
    case 2:
        fill = Qt::green;
        break;
    default:
        break;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(QRectF(ix + 2, iy, w - 2, h - 2));
    const QPointF centre(ix + w / 2, iy + h / 2);
    const double radius = (h - 2) / 2;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 3.0));
    p.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 0, 359 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const double dot = (h - 2) * 0.125;
    p.drawEllipse(centre, dot, dot);
}
