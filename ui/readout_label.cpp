#include "ui/readout_label.h"

#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

ReadoutLabel::ReadoutLabel(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

bool ReadoutLabel::set_texts(const QString& full, const QString& shorter) {
    if (full == text() && shorter == short_) return false;
    short_ = shorter;
    setText(full);
    update();
    return true;
}

int ReadoutLabel::width_of(const QString& text) const {
    const QMargins m = contentsMargins();
    return fontMetrics().horizontalAdvance(text) + m.left() + m.right() + 2 * margin() + 1;
}

int ReadoutLabel::full_width() const {
    return width_of(text());
}

int ReadoutLabel::short_width() const {
    return short_.isEmpty() ? full_width() : width_of(short_);
}

QString ReadoutLabel::shown_text() const {
    if (width() >= full_width()) return text();
    if (!short_.isEmpty() && width() >= short_width()) return short_;
    const int room = contentsRect().width() - 2 * margin();
    const QString cut =
        fontMetrics().elidedText(short_.isEmpty() ? text() : short_, Qt::ElideRight, room);
    return cut == QStringLiteral("…") && fontMetrics().horizontalAdvance(cut) > room ? QString()
                                                                                     : cut;
}

void ReadoutLabel::paintEvent(QPaintEvent* event) {
    const QString shown = shown_text();
    if (shown == text()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect().adjusted(margin(), margin(), -margin(), -margin()),
                     static_cast<int>(alignment()), shown);
}

bool ReadoutLabel::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && shown_text() != text()) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = toolTip().isEmpty() ? text() : text() + "\n" + toolTip();
        QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QLabel::event(event);
}
