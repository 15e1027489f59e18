#include "ui/text_panes.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

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
        append_in_lines(text);
        if (!following) return;
        pane_.moveCursor(QTextCursor::End);
    } else {
        QTextCursor cursor = pane_.textCursor();
        cursor.insertText(from_modem_text(text));
        pane_.setTextCursor(cursor);
    }
    pane_.ensureCursorVisible();
}

void PaneSink::append_in_lines(std::string_view text) {
    QTextCursor end(pane_.document());
    end.movePosition(QTextCursor::End);
    while (!text.empty()) {
        // Characters the last paragraph can take before it ends: up to and including a blank
        // past kReceiveLineChars, or kReceiveLineMaxChars in all.
        const auto held = static_cast<size_t>(end.block().length() - 1);
        size_t take = text.size();
        bool ends = false;
        for (size_t i = 0; i < text.size(); ++i) {
            const size_t length = held + i + 1;
            if ((text[i] == ' ' && length >= kReceiveLineChars) || length >= kReceiveLineMaxChars) {
                take = i + 1;
                ends = true;
                break;
            }
        }
        end.insertText(from_modem_text(text.substr(0, take)));
        if (ends) end.insertBlock();
        text.remove_prefix(take);
    }
}

void configure_receive_pane(QPlainTextEdit& pane) {
    pane.setMaximumBlockCount(kReceiveScrollBackLines);
}

QString receive_pane_text(const QPlainTextEdit& pane) {
    QString out;
    for (QTextBlock b = pane.document()->firstBlock(); b.isValid(); b = b.next())
        out += b.text();
    return out;
}

namespace {

// A paragraph whose end is not a line break of the text but a join into the next piece.
constexpr int kRunsOn = 1;

bool runs_on(const QTextBlock& b) {
    return b.userState() == kRunsOn && b.next().isValid();
}

} // namespace

void paste_into_transmit_pane(QPlainTextEdit& pane, const QString& text) {
    QTextCursor cursor = pane.textCursor();
    cursor.beginEditBlock();
    // The paragraph the paste lands in keeps its own ending, which the last piece inherits.
    const int ending = cursor.block().userState();
    qsizetype from = 0;
    while (true) {
        const qsizetype piece = std::min<qsizetype>(kTransmitPieceChars, text.size() - from);
        cursor.insertText(text.mid(from, piece));
        from += piece;
        if (from >= text.size()) break;
        cursor.block().setUserState(kRunsOn);
        cursor.insertBlock();
    }
    cursor.block().setUserState(ending);
    cursor.endEditBlock();
    pane.setTextCursor(cursor);
}

std::optional<char> PaneSource::peek_first() const {
    // Pieces already taken leave empty paragraphs that run on: nothing to send for them.
    QTextBlock b = pane_.document()->firstBlock();
    while (b.length() == 1 && runs_on(b))
        b = b.next();
    if (!b.isValid() || (b.length() == 1 && !b.next().isValid())) return std::nullopt;
    return b.length() == 1 ? '\n' : to_modem_char(b.text().at(0));
}

std::optional<char> PaneSource::take_first() {
    QTextDocument* document = pane_.document();
    QTextCursor cursor(document);
    // Joins of pieces already taken go first, silently; the joined paragraph keeps the ending
    // of the one that followed.
    for (QTextBlock b = document->firstBlock(); b.length() == 1 && runs_on(b);
         b = document->firstBlock()) {
        const int ending = b.next().userState();
        cursor.setPosition(0);
        cursor.deleteChar();
        document->firstBlock().setUserState(ending);
    }
    const std::optional<char> first = peek_first();
    if (first) {
        // A line break taken joins two paragraphs: the one left keeps the second's ending.
        const QTextBlock head = document->firstBlock();
        const int ending = head.length() == 1 ? head.next().userState() : head.userState();
        cursor.setPosition(0);
        cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        document->firstBlock().setUserState(ending);
    }
    cursor.movePosition(QTextCursor::End);
    pane_.setTextCursor(cursor);
    return first;
}
