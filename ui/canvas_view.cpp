#include "ui/canvas_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QtMath>

namespace {
// Canvas colours are 0x00BBGGRR; the image wants 0xAARRGGBB.
QRgb to_rgb(uint32_t colour) {
    return qRgb(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

QPoint pixel_of(const QMouseEvent* event) {
    return {qFloor(event->position().x()), qFloor(event->position().y())};
}
} // namespace

CanvasView::CanvasView(QWidget* parent, const QString& name, int width, int height)
    : QWidget(parent), canvas_(width, height), image_(width, height, QImage::Format_RGB32) {
    setObjectName(name);
    setFixedSize(width, height);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CanvasView::paintEvent(QPaintEvent*) {
    const auto& pixels = canvas_.pixels();
    const int w = canvas_.width();
    for (int y = 0; y < canvas_.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = to_rgb(pixels[static_cast<size_t>(y * w + x)]);
    }
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
    if (marker_) {
        painter.setPen(Qt::yellow);
        painter.drawLine(*marker_, 0, *marker_, canvas_.height() - 1);
    }
}

void CanvasView::set_marker(std::optional<int> x) {
    if (x && (*x < 0 || *x >= canvas_.width())) x.reset();
    if (x == marker_) return;
    marker_ = x;
    update();
}

void CanvasView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = pixel_of(event);
    if (event->button() == Qt::LeftButton || rect().contains(p))
        emit mouseUp(event->button(), event->modifiers(), p.x(), p.y());
    event->accept();
}

void CanvasView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = pixel_of(event);
    emit mouseMove(event->modifiers(), p.x(), p.y());
    event->accept();
}
