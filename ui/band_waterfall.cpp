#include "ui/band_waterfall.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The bins of the stretch: as many as 1.95 Hz bins between the edges.
int columns_for(double from_hz, double to_hz) {
    return std::max(1, static_cast<int>(std::lround((to_hz - from_hz) / (8000.0 / 4096))));
}

// Brightness over the line's own noise floor (its median): the floor dark grey, a station
// 24 dB above it white, so the picture keeps its contrast whatever the rig's level.
constexpr float kShownDb = 24.0f;
constexpr float kFloorShade = 24.0f;

} // namespace

BandWaterfall::BandWaterfall(double from_hz, double to_hz, QWidget* parent)
    : QWidget(parent), from_hz_(from_hz), to_hz_(to_hz),
      image_(columns_for(from_hz, to_hz), kLines, QImage::Format_Grayscale8) {
    setObjectName("BandWaterfall");
    image_.fill(0);
    scratch_.resize(static_cast<size_t>(image_.width()));
    sorted_.reserve(scratch_.size());
    setMinimumSize(320, kLines + kMarkRow);
    setCursor(Qt::CrossCursor);
}

void BandWaterfall::add_line(std::span<const float> power, double bin_hz) {
    const int width = image_.width();
    const double column_hz = (to_hz_ - from_hz_) / width;
    for (int c = 0; c < width; ++c) {
        const auto bin = static_cast<size_t>(std::lround((from_hz_ + c * column_hz) / bin_hz));
        const float p = bin < power.size() ? power[bin] : 0.0f;
        scratch_[static_cast<size_t>(c)] = 10.0f * std::log10(std::max(p, 1e-20f));
    }
    sorted_ = scratch_;
    const auto middle = sorted_.begin() + static_cast<std::ptrdiff_t>(sorted_.size() / 2);
    std::nth_element(sorted_.begin(), middle, sorted_.end());
    const float floor_db = *middle;
    // Newest at the top: the picture moves down a line.
    const auto stride = static_cast<size_t>(image_.bytesPerLine());
    std::memmove(image_.bits() + stride, image_.bits(), stride * (kLines - 1));
    uchar* top = image_.scanLine(0);
    for (int c = 0; c < width; ++c) {
        const float over = (scratch_[static_cast<size_t>(c)] - floor_db) / kShownDb;
        const float shade = kFloorShade + std::clamp(over, 0.0f, 1.0f) * (255.0f - kFloorShade);
        top[c] = static_cast<uchar>(shade);
    }
    ++lines_;
    update();
}

void BandWaterfall::set_marks(std::vector<Mark> marks) {
    marks_ = std::move(marks);
    update();
}

void BandWaterfall::set_tuned(std::optional<double> centre_hz, std::optional<double> weak_hz) {
    if (centre_hz == centre_hz_ && weak_hz == weak_hz_) return;
    centre_hz_ = centre_hz;
    weak_hz_ = weak_hz;
    update();
}

int BandWaterfall::x_of(double hz) const {
    return static_cast<int>(std::lround((hz - from_hz_) * width() / (to_hz_ - from_hz_)));
}

double BandWaterfall::hz_at(int x) const {
    return from_hz_ + (to_hz_ - from_hz_) * x / std::max(1, width());
}

std::optional<uint32_t> BandWaterfall::mark_at(int x) const {
    std::optional<uint32_t> picked;
    int best = kPickPixels + 1;
    for (const Mark& m : marks_) {
        const int apart = std::abs(x_of(m.freq_hz) - x);
        if (apart < best) {
            best = apart;
            picked = m.key;
        }
    }
    return picked;
}

void BandWaterfall::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(0, 0, width(), kMarkRow, palette().color(QPalette::Window));
    painter.drawImage(QRect(0, kMarkRow, width(), height() - kMarkRow), image_);
    const auto line = [&](std::optional<double> hz, const QColor& colour) {
        if (!hz) return;
        painter.setPen(colour);
        painter.drawLine(x_of(*hz), kMarkRow, x_of(*hz), height() - 1);
    };
    line(centre_hz_, Qt::red);
    line(weak_hz_, Qt::yellow);
    for (const Mark& m : marks_) {
        const int x = x_of(m.freq_hz);
        const QPoint tip[3] = {{x - 5, 0}, {x + 5, 0}, {x, kMarkRow - 1}};
        painter.setPen(Qt::black);
        painter.setBrush(m.locked ? QColor(0, 200, 0) : QColor(160, 160, 160));
        painter.drawPolygon(tip, 3);
    }
}

void BandWaterfall::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (const auto key = mark_at(event->position().toPoint().x())) emit mark_clicked(*key);
}
