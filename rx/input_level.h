// The level of the captured audio for the operator's level meter: the peak and the RMS of each
// block as it is handed over, in dB relative to full scale (32768). Digital silence reads
// kFloorDbfs. Set the rig's audio so that speech-free noise sits well below the overload mark.
#pragma once

#include <cstdint>
#include <span>

namespace quavel {

struct InputLevel {
    static constexpr float kFloorDbfs = -90.0f;
    // A peak this close to full scale is taken as overload: the next louder block clips.
    static constexpr float kOverloadDbfs = -1.0f;

    float peak_dbfs = kFloorDbfs;
    float rms_dbfs = kFloorDbfs;

    // Measures one block (any length; an empty block reads as silence).
    void measure(std::span<const int16_t> block);
    bool overload() const { return peak_dbfs >= kOverloadDbfs; }
    void reset() { peak_dbfs = rms_dbfs = kFloorDbfs; }
};

} // namespace quavel
