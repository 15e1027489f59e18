// The Band Activity window's waterfall: one line per spectrum of the band receiver (every
// 256 ms), from kFromHz at the left to kToHz at the right, newest at the top, drawn scaled to
// whatever width the window gives it. Each station copied has a mark at its frequency (green
// while its receiver holds it), the main window's centre frequency a red line and its weak
// receiver's lock a yellow one. A click near a mark asks to tune to that station.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class BandWaterfall : public QWidget {
    Q_OBJECT
public:
    struct Mark {
        uint32_t key = 0; // BandRow::key
        double freq_hz = 0.0;
        bool locked = false;
    };
    // A click this close to a mark (in pixels) picks it.
    static constexpr int kPickPixels = 8;
    static constexpr int kLines = 160;

    BandWaterfall(double from_hz, double to_hz, QWidget* parent = nullptr);

    // A spectrum of power per bin (bin k at k * bin_hz), full-scale units squared.
    void add_line(std::span<const float> power, double bin_hz);
    void set_marks(std::vector<Mark> marks);
    void set_tuned(std::optional<double> centre_hz, std::optional<double> weak_hz);
    const std::vector<Mark>& marks() const { return marks_; }

    // Where a frequency falls across the widget, and back.
    int x_of(double hz) const;
    double hz_at(int x) const;
    // The mark a click at x picks, if any.
    std::optional<uint32_t> mark_at(int x) const;
    uint64_t lines_drawn() const { return lines_; }

    QSize sizeHint() const override { return {780, kLines + kMarkRow}; }

signals:
    void mark_clicked(uint32_t key);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    static constexpr int kMarkRow = 12; // the strip above the lines where the marks stand

    double from_hz_;
    double to_hz_;
    QImage image_;               // one column per bin of the stretch, kLines rows
    std::vector<float> scratch_; // a line in dB
    std::vector<float> sorted_;  // the same, for its median
    std::vector<Mark> marks_;
    std::optional<double> centre_hz_;
    std::optional<double> weak_hz_;
    uint64_t lines_ = 0;
};
