// The text boxes as the station sees them: insertion at the caret, taking the first character,
// and the 8-bit characters at the border.
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <gtest/gtest.h>

#include "ui/text_panes.h"
#include "ui_support.h"

namespace {

class Panes : public ::testing::Test {
protected:
    void SetUp() override { test_application(); }
    QPlainTextEdit pane;
};

TEST_F(Panes, InsertGoesInAtTheCaretReplacingTheSelection) {
    pane.setPlainText("ABCDEF");
    QTextCursor cursor = pane.textCursor();
    cursor.setPosition(1);
    cursor.setPosition(3, QTextCursor::KeepAnchor); // "BC" selected
    pane.setTextCursor(cursor);
    PaneSink sink(pane);
    sink.insert("xy");
    sink.insert("");
    sink.insert("Z");
    EXPECT_EQ(pane.toPlainText(), "AxyZDEF");
    EXPECT_EQ(pane.textCursor().position(), 4);
}

TEST_F(Panes, ReceivedTextGoesAtTheEndAndLeavesTheOperatorsSelection) {
    pane.setPlainText("ABCDEF");
    QTextCursor cursor = pane.textCursor();
    cursor.setPosition(1);
    cursor.setPosition(3, QTextCursor::KeepAnchor);
    pane.setTextCursor(cursor);
    PaneSink sink(pane, PaneSink::Where::End);
    sink.insert("GH");
    EXPECT_EQ(pane.toPlainText(), "ABCDEFGH");
    EXPECT_EQ(pane.textCursor().selectedText(), "BC");
    // A caret at the end follows what arrives.
    pane.moveCursor(QTextCursor::End);
    sink.insert("I");
    EXPECT_EQ(pane.textCursor().position(), 9);
}

TEST_F(Panes, InsertKeepsEightBitCharactersAndLineBreaks) {
    PaneSink(pane).insert("A\xE9\nB");
    EXPECT_EQ(pane.toPlainText(), QString::fromUtf8("A\u00E9\nB"));
}

TEST_F(Panes, TakeFirstRemovesOneCharacterAndPutsTheCaretAtTheEnd) {
    pane.setPlainText("AB\nC");
    QTextCursor cursor = pane.textCursor();
    cursor.setPosition(1);
    pane.setTextCursor(cursor);
    PaneSource source(pane);
    EXPECT_EQ(source.peek_first(), 'A');
    EXPECT_EQ(source.take_first(), 'A');
    EXPECT_EQ(pane.textCursor().position(), 3);
    EXPECT_EQ(source.take_first(), 'B');
    EXPECT_EQ(source.peek_first(), '\n');
    EXPECT_EQ(source.take_first(), '\n');
    EXPECT_EQ(source.take_first(), 'C');
    EXPECT_EQ(source.peek_first(), std::nullopt);
    EXPECT_EQ(source.take_first(), std::nullopt);
    EXPECT_TRUE(pane.toPlainText().isEmpty());
}

TEST_F(Panes, CharactersOutsideLatin1NeverBecomeSendableCharacters) {
    // A euro sign must not turn into "?", which the transmitter would send.
    pane.setPlainText(QString::fromUtf8("\u20AC\u00C4"));
    PaneSource source(pane);
    EXPECT_EQ(source.take_first(), '\x7F');
    EXPECT_EQ(source.take_first(), '\xC4');
}

// Received copy of any length: paragraphs of bounded length broken only at blanks (or when one
// grows too long without any), the text itself unchanged, and only the last of it kept.
TEST_F(Panes, ReceivedTextIsKeptInBoundedLinesAndABoundedScrollBack) {
    configure_receive_pane(pane);
    PaneSink sink(pane, PaneSink::Where::End);
    std::string sent;
    for (int i = 0; sent.size() < 3000; ++i)
        sent += i % 7 == 0 ? std::string(700, 'X') : "CQ DE G4ABC ";
    for (const char c : sent)
        sink.insert(std::string_view(&c, 1));
    EXPECT_EQ(receive_pane_text(pane).toStdString(), sent);
    for (QTextBlock b = pane.document()->firstBlock(); b.next().isValid(); b = b.next()) {
        EXPECT_LE(b.text().size(), kReceiveLineMaxChars);
        if (b.text().size() < kReceiveLineMaxChars) {
            EXPECT_TRUE(b.text().endsWith(' '));
        }
    }
    // Far more than the scroll-back holds, in one go: the newest text stays, whole.
    const std::string flood(static_cast<size_t>(kReceiveScrollBackLines) * kReceiveLineMaxChars,
                            'E');
    sink.insert(flood + "END");
    EXPECT_LE(pane.document()->blockCount(), kReceiveScrollBackLines);
    EXPECT_TRUE(receive_pane_text(pane).endsWith(QString(600, 'E') + "END"));
}

// A long paste goes out exactly as pasted, line breaks included, wherever it lands and however
// the pieces fall; the pane ends empty.
TEST_F(Panes, ALongPasteIsSentExactlyAsPasted) {
    pane.setPlainText("AB\nCD");
    QTextCursor cursor = pane.textCursor();
    cursor.setPosition(4); // between "C" and "D"
    pane.setTextCursor(cursor);
    std::string paste;
    for (int i = 0; paste.size() < 3 * kTransmitPieceChars; ++i)
        paste += i % 9 == 0 ? "\n" : "HELLO ";
    paste[kTransmitPieceChars - 1] = '\n'; // a line break that ends a piece
    paste[kTransmitPieceChars] = '\n';     // and one that starts the next
    paste_into_transmit_pane(pane, QString::fromLatin1(paste));
    PaneSource source(pane);
    std::string taken;
    while (const std::optional<char> c = source.take_first())
        taken += *c;
    EXPECT_EQ(taken, "AB\nC" + paste + "D");
    EXPECT_TRUE(pane.toPlainText().isEmpty());
}

} // namespace
