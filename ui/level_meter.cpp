#include "ui/level_meter.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

LevelMeter::LevelMeter(QWidget* parent, const QString& name, float overload_dbfs)
    : QWidget(parent), overload_dbfs_(overload_dbfs) {
    setObjectName(name);
    setToolTip(QStringLiteral("Input level, peak in dBFS; the red mark is overload (%1 dBFS)")
                   .arg(static_cast<double>(overload_dbfs), 0, 'f', 0));
}

void LevelMeter::set_level(float peak_dbfs) {
    const float level = std::max(kLowestDbfs, std::min(0.0f, peak_dbfs));
    if (level == level_dbfs_) return;
    level_dbfs_ = level;
    update();
}

int LevelMeter::x_of(float dbfs) const {
    const float fraction = (std::clamp(dbfs, kLowestDbfs, 0.0f) - kLowestDbfs) / -kLowestDbfs;
    return static_cast<int>(std::lround(fraction * static_cast<float>(width() - 1)));
}

void LevelMeter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int bar_height = std::max(4, height() / 3);
    const QRect bar(0, height() - bar_height, width(), bar_height);
    painter.fillRect(bar, Qt::black);
    if (level_dbfs_ > kLowestDbfs)
        painter.fillRect(QRect(bar.left(), bar.top(), x_of(level_dbfs_) + 1, bar.height()),
                         overloaded() ? Qt::red : Qt::green);
    painter.fillRect(QRect(x_of(overload_dbfs_), 0, 2, height()), Qt::red);
    painter.setPen(palette().color(QPalette::WindowText));
    const QString figure = level_dbfs_ <= kLowestDbfs
                               ? QStringLiteral("- dBFS")
                               : QStringLiteral("%1 dBFS").arg(std::lround(level_dbfs_));
    painter.drawText(QRect(0, 0, width() - 3, height() - bar_height),
                     Qt::AlignLeft | Qt::AlignVCenter, figure);
}
