#include "ui/memo.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyleHints>

#include "ui/text_panes.h"

Memo::Memo(QWidget* parent, const QString& name, ScrollBars scroll_bars) : QPlainTextEdit(parent) {
    setObjectName(name);
    // Tab moves on to the next control, as everywhere else on the form.
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(scroll_bars == ScrollBars::Vertical ? Qt::ScrollBarAlwaysOn
                                                                   : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The one-line fields are 17 pixels high: the text needs every pixel inside the frame.
    document()->setDocumentMargin(scroll_bars == ScrollBars::Vertical ? 2 : 0);
}

void Memo::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (text.size() != 1 || text[0].unicode() == 0 || text[0].unicode() > 255) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    const char typed = static_cast<char>(text[0].unicode());
    char key = typed;
    emit keyPress(key);
    if (key == typed) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    if (key == 0) {
        event->accept();
        return;
    }
    QKeyEvent changed(event->type(), event->key(), event->modifiers(),
                      QString(QChar(static_cast<unsigned char>(key))), event->isAutoRepeat(),
                      static_cast<quint16>(event->count()));
    QPlainTextEdit::keyPressEvent(&changed);
    event->setAccepted(changed.isAccepted());
}

void Memo::mousePressEvent(QMouseEvent* event) {
    left_pressed_inside_ = event->button() == Qt::LeftButton;
    // The second press of a double click (Qt sends it before the double click itself) keeps
    // the position of the first.
    if (left_pressed_inside_) {
        const bool second =
            last_press_ms_.has_value() &&
            event->timestamp() - *last_press_ms_ <=
                static_cast<quint64>(QGuiApplication::styleHints()->mouseDoubleClickInterval());
        if (!second) press_position_ = cursorForPosition(event->position().toPoint()).position();
        last_press_ms_ = event->timestamp();
    }
    QPlainTextEdit::mousePressEvent(event);
}

void Memo::mouseReleaseEvent(QMouseEvent* event) {
    // The box holds the mouse while a button is down, so the release may come from outside.
    const bool click = event->button() == Qt::LeftButton && left_pressed_inside_ &&
                       viewport()->rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton) left_pressed_inside_ = false;
    QPlainTextEdit::mouseReleaseEvent(event);
    if (click) emit clicked();
}

void Memo::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!captures_words_ || event->button() != Qt::LeftButton) {
        QPlainTextEdit::mouseDoubleClickEvent(event);
        return;
    }
    event->accept();
    emit wordDoubleClicked(press_position_);
}

void Memo::insertFromMimeData(const QMimeData* source) {
    if (!pastes_in_pieces_ || isReadOnly() || !source->hasText() ||
        source->text().size() <= kTransmitPieceChars) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    paste_into_transmit_pane(*this, source->text());
    ensureCursorVisible();
}
