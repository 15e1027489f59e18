// The text boxes as the station sees them: insertion at the caret, taking the first character,
// and the 8-bit characters at the border.
#include <QPlainTextEdit>
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

} // namespace
