// A readout on the menu line: a label that keeps its whole text (text()) but, where the line has
// less room than that needs, draws a shorter form of it, and failing that the shorter form cut
// with an ellipsis. The tooltip then begins with the whole text. The window decides each
// readout's width (TForm1::fit_readouts); the label only draws what fits.
#pragma once

#include <QLabel>
#include <QString>

class ReadoutLabel : public QLabel {
    Q_OBJECT
public:
    explicit ReadoutLabel(QWidget* parent = nullptr);

    // The whole text and the shorter one drawn when the whole does not fit (empty: the whole
    // text, cut). Returns true when either changed.
    bool set_texts(const QString& full, const QString& shorter);
    QString short_text() const { return short_; }

    // Pixels each form needs, margins included.
    int full_width() const;
    int short_width() const;
    // What is drawn at the label's present width: the whole text, the shorter one, or the
    // shorter one cut (empty when not even an ellipsis fits).
    QString shown_text() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    int width_of(const QString& text) const;

    QString short_;
};
