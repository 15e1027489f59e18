#include "ui/memo.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

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

void Memo::insertFromMimeData(const QMimeData* source) {
    if (!pastes_in_pieces_ || isReadOnly() || !source->hasText() ||
        source->text().size() <= kTransmitPieceChars) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    paste_into_transmit_pane(*this, source->text());
    ensureCursorVisible();
}
