// The SNR sweeps: both receivers and the ideal detector against the SNR, per speed and channel;
// and, on AWGN, the classic receiver with its tasks taken off one by one, to see where it loses
// against the ideal detector.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sweep.h"
#include "trial.h"

namespace quavel::perf {

struct Curve {
    uint32_t speed = 0;
    ChannelKind kind = ChannelKind::Awgn;
    std::vector<SnrPoint> points; // in increasing SNR
};

// One sweep from sweep_start_db(): 1 dB steps on AWGN, 2 dB on the fading channels (their curves
// are shallow). Each point is printed to stderr as it is measured.
Curve measure_curve(const Transmission& tx, ChannelKind kind, const SweepSettings& settings);

struct ReceiverVariant {
    std::string name; // afc_off, afc_off_known_sync, afc_off_known_sync_low_pass
    std::vector<SnrPoint> points;
};

struct Diagnostics {
    uint32_t speed = 0;
    std::vector<ReceiverVariant> variants; // AFC off, then sync known, then the input low-passed
};

// The classic receiver on AWGN without AFC, then also told the symbol timing, then also given
// input without the noise its decimation folds into the passband. `settings` gives the repeats
// and the threads; its trial options are replaced by each variant's.
Diagnostics measure_diagnostics(const Transmission& tx, const SweepSettings& settings);

} // namespace quavel::perf
