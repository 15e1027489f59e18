// The form's multi-line text boxes (receive panes, transmit pane, sent-text pane and the two
// one-line fields): a plain text edit that tells the form about a click inside it and lets the
// form change each typed character before the box takes it.
#pragma once

#include <QPlainTextEdit>
#include <optional>

class Memo : public QPlainTextEdit {
    Q_OBJECT
public:
    enum class ScrollBars { None, Vertical };
    Memo(QWidget* parent, const QString& name, ScrollBars scroll_bars);
    // The transmit pane takes a long paste in pieces (paste_into_transmit_pane), so that sending
    // it never grows dearer with its length.
    void set_pastes_in_pieces(bool on) { pastes_in_pieces_ = on; }
    // A receive pane hands a double-clicked word to the form (wordDoubleClicked) instead of
    // selecting it, so neither the selection nor the clipboard changes.
    void set_captures_words(bool on) { captures_words_ = on; }

signals:
    // The left button was pressed and released inside the box.
    void clicked();
    // A typed character (codes 1..255) before the box takes it. The handler may replace it;
    // replacing it with 0 swallows the key.
    void keyPress(char& key);
    // A double click with the left button, at the text position (a character index into
    // toPlainText()) where its first press landed: the first click may have re-laid the box out
    // (a receive pane widens) before the second arrives.
    void wordDoubleClicked(int position);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    bool left_pressed_inside_ = false;
    bool pastes_in_pieces_ = false;
    bool captures_words_ = false;
    int press_position_ = 0;
    std::optional<quint64> last_press_ms_;
};
