// One of the form's images: shows a MemoryCanvas pixel for pixel (1:1) and reports mouse
// releases and movements in image pixels. The canvas is owned here; the receive displays draw
// on it and update() shows what they drew.
#pragma once

#include <QImage>
#include <QWidget>
#include <optional>

#include "rx/memory_canvas.h"

class CanvasView : public QWidget {
    Q_OBJECT
public:
    CanvasView(QWidget* parent, const QString& name, int width, int height);

    quavel::MemoryCanvas& canvas() { return canvas_; }
    const quavel::MemoryCanvas& canvas() const { return canvas_; }

    // A yellow line the full height of the image at column x, painted over the canvas (which it
    // leaves as it is); none or a column outside the image: no line. Repaints when it changes.
    void set_marker(std::optional<int> x);
    std::optional<int> marker() const { return marker_; }

signals:
    // A mouse button released. The left button is held by the image while it is down, so its
    // release is reported wherever it happens (x may be negative or beyond the width); other
    // buttons only when released over the image.
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    // The pointer moved over the image (or anywhere while the left button is held down).
    void mouseMove(Qt::KeyboardModifiers shift, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    quavel::MemoryCanvas canvas_;
    QImage image_; // the canvas converted for painting, kept to avoid a new image per frame
    std::optional<int> marker_;
};
