// The form's text boxes as the station sees them: text goes in at the caret, replacing any
// selection, as if typed there; the transmit pane gives up its first character. The modem's
// characters are 8-bit (Latin-1).
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

#include "interfaces/text_pane.h"

class QPlainTextEdit;

// Puts text into a box. At the caret (replacing the selection) where the operator edits, as in
// the sent-text pane; at the end for a receive pane, so that what arrives is never written over
// text the operator has selected or into the middle of earlier copy, and the pane keeps the
// order in which it arrived. A pane whose caret sits at its end follows the new text.
class PaneSink : public quavel::TextSink {
public:
    enum class Where { Caret, End };
    explicit PaneSink(QPlainTextEdit& pane, Where where = Where::Caret)
        : pane_(pane), where_(where) {}
    void insert(std::string_view text) override;

private:
    void append_in_lines(std::string_view text);

    QPlainTextEdit& pane_;
    Where where_;
};

// Takes the first character of the box and leaves the caret at the end of what remains, so the
// operator's typing goes on at the end. A line break comes out as "\n"; a character outside
// Latin-1 as DEL (0x7F), which the code table does not hold, so it is shown but never sent as
// something else.
class PaneSource : public quavel::TextSource {
public:
    explicit PaneSource(QPlainTextEdit& pane) : pane_(pane) {}
    std::optional<char> take_first() override;
    std::optional<char> peek_first() const override;

private:
    QPlainTextEdit& pane_;
};

// A box's character as the modem's 8-bit character.
char to_modem_char(QChar c);
// The modem's 8-bit text as box text.
QString from_modem_text(std::string_view text);

// A receive pane gets one endless run of text (the alphabet has no line break). Laid out as one
// paragraph, every character would cost the window's thread more than the last; so PaneSink
// (Where::End) ends a paragraph at a blank once it holds kReceiveLineChars characters (or
// anywhere at kReceiveLineMaxChars), and the pane keeps only its last kReceiveScrollBackLines
// paragraphs. receive_pane_text() gives the copy back without those breaks.
inline constexpr int kReceiveLineChars = 256;
inline constexpr int kReceiveLineMaxChars = 512;
inline constexpr int kReceiveScrollBackLines = 1000;
void configure_receive_pane(QPlainTextEdit& pane);
QString receive_pane_text(const QPlainTextEdit& pane);

// The transmit pane likewise: a paste goes in as paragraphs of at most kTransmitPieceChars,
// each but the last marked as running on into the next, so taking a character never lays out
// more than one piece. PaneSource passes over these joins without sending anything for them.
inline constexpr int kTransmitPieceChars = 256;
void paste_into_transmit_pane(QPlainTextEdit& pane, const QString& text);
