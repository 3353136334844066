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

void NSDataReadyView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    const double ix = int(bounds.x()), iy = int(bounds.y()), w = bounds.width(), h = bounds.height();
    QColor fill = palette().color(QPalette::WindowText);
    switch (dataReadyState_) {
    case 0:
        fill = QColor(220, 40, 40);
        break;
    case 1:
        fill = QColor(240, 200, 30);
        break;
    case 2:
        fill = QColor(40, 180, 60);
        break;
    default:
        break;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(QRectF(ix + 2, iy + 2, w - 2, h - 2));
    const QPointF centre(ix + w / 2, iy + h / 2);
    const double radius = (h - 2) / 2;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 3.0));
    p.drawEllipse(centre, radius, radius);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const double dot = (h - 2) * 0.125;
    p.drawEllipse(centre, dot, dot);
}
