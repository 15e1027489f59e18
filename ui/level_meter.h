// The input level meter: the captured audio's peak level as a bar from -60 to 0 dBFS with the
// figure over it, and the overload threshold marked by a red line; the bar turns red at or
// beyond it. Set the rig's audio so that the bar stays left of the mark.
#pragma once

#include <QWidget>

class LevelMeter : public QWidget {
    Q_OBJECT
public:
    static constexpr float kLowestDbfs = -60.0f;

    LevelMeter(QWidget* parent, const QString& name, float overload_dbfs);

    // The peak level in dBFS (anything at or below kLowestDbfs shows an empty bar).
    void set_level(float peak_dbfs);
    float level() const { return level_dbfs_; }
    bool overloaded() const { return level_dbfs_ >= overload_dbfs_; }
    // The x of a level on the bar, 0 .. width-1.
    int x_of(float dbfs) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    float overload_dbfs_;
    float level_dbfs_ = kLowestDbfs;
};
