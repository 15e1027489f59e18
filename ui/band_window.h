// The Band Activity window: every station of the mode in 200..2800 Hz at once. A waterfall of
// the whole stretch with a mark for each station being copied, and a list with a row per station
// (BandRows): audio and RF frequency, speed, SNR, when last heard (UTC), the call it gave and its
// latest text. A click on a row or a mark asks the main window to tune there (tune_requested);
// the main window answers with show_tuning(). A double click on a call hands it on
// (call_chosen); a row's whole text can be copied.
//
// The band receiver inside runs only while the window is open: the main window feeds it the
// captured blocks from its receive timer (push), on the window's thread. Opening starts it
// afresh.
#pragma once

#include <QWidget>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "ui/band_rows.h"

class QLabel;
class QSpinBox;
class QTableWidget;
class BandWaterfall;

namespace quavel {
class BandReceiver;
}

class BandWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Band Activity";
    static constexpr double kFromHz = 200.0;
    static constexpr double kToHz = 2800.0;
    enum Column { Audio, Rf, Speed, Snr, Heard, Call, Text, Columns };

    explicit BandWindow(QWidget* parent = nullptr);
    ~BandWindow() override;

    // The RF frequency of an audio frequency, when the rig's dial is known.
    void set_rf_source(std::function<std::optional<double>(double audio_hz)> rf);
    // Where the main window is tuned (tone 5, Hz) and where its weak receiver copies, for the
    // waterfall's marks.
    void set_tuned(double centre_hz, std::optional<double> weak_hz);
    // What came of the last tune_requested, in the window's status line.
    void show_tuning(const QString& text);
    QString tuning_text() const;

    // Captured audio (8000 samples/s), fed while the window is open; ignored while closed.
    void push(std::span<const int16_t> samples);
    // Blocks the feeder lost (it fell behind the capture ring), for the status line.
    void count_lost_blocks(uint32_t blocks);

    // The list drawn again (the rig's dial may have moved the RF column).
    void refresh() { refresh_table(); }

    quavel::BandRows& rows() { return rows_; }
    QTableWidget* table() const { return table_; }
    BandWaterfall* waterfall() const { return waterfall_; }
    QSpinBox* age_box() const { return age_; }
    // The whole text of the row (by BandRow::key) to the clipboard.
    void copy_text(uint32_t key) const;
    // Tunes to the row at table row `index`, as a click on it does.
    void click_row(int index);

signals:
    void tune_requested(double freq_hz, uint32_t speed);
    void call_chosen(const QString& call);
    void line_heard(const quavel::BandHeardLine& line);
    void age_changed(int minutes);
    // Shown or closed by the operator (or the main window).
    void shown_changed(bool shown);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh_table();
    void tune_to(uint32_t key);
    std::optional<uint32_t> key_at(int index) const;

    std::unique_ptr<quavel::BandReceiver> receiver_; // large: made when first opened
    quavel::BandRows rows_;
    std::function<std::optional<double>(double)> rf_;
    BandWaterfall* waterfall_;
    QTableWidget* table_;
    QSpinBox* age_;
    QLabel* status_;
    QLabel* tuning_;
    uint64_t frames_drawn_ = 0;
    uint64_t lost_blocks_ = 0;
};
