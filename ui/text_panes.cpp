#include "ui/text_panes.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

char to_modem_char(QChar c) {
    const char16_t u = c.unicode();
    // A line break in the box is a paragraph separator in its document.
    if (u == QChar::ParagraphSeparator || u == QChar::LineSeparator || u == u'\n') return '\n';
    if (u > 255) return '\x7F';
    return static_cast<char>(u);
}

QString from_modem_text(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

void PaneSink::insert(std::string_view text) {
    if (text.empty()) return;
    if (where_ == Where::End) {
        const QTextCursor caret = pane_.textCursor();
        const bool following = !caret.hasSelection() && caret.atEnd();
        QTextCursor end(pane_.document());
        end.movePosition(QTextCursor::End);
        end.insertText(from_modem_text(text));
        if (!following) return;
        pane_.moveCursor(QTextCursor::End);
    } else {
        QTextCursor cursor = pane_.textCursor();
        cursor.insertText(from_modem_text(text));
        pane_.setTextCursor(cursor);
    }
    pane_.ensureCursorVisible();
}

std::optional<char> PaneSource::peek_first() const {
    const QTextDocument* document = pane_.document();
    if (document->isEmpty()) return std::nullopt;
    return to_modem_char(document->characterAt(0));
}

std::optional<char> PaneSource::take_first() {
    const std::optional<char> first = peek_first();
    QTextCursor cursor(pane_.document());
    if (first) {
        cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    cursor.movePosition(QTextCursor::End);
    pane_.setTextCursor(cursor);
    return first;
}
