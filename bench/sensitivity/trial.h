// One measured transmission: the sent audio through the channel, then through the receiver, the
// ideal reference detector and the limit detector, each copy scored against the text sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "channel/channel.h"

namespace quavel::perf {

// What 'quavel-modem tx' made of the text at one speed.
struct Transmission {
    uint32_t speed = 2;
    uint32_t centre_hz = 1000;
    std::string text;             // as sent (the tool drops nothing from the texts used here)
    std::vector<int16_t> samples; // whole symbols of N samples from the first sample on
    uint32_t symbol_samples = 0;  // N
};

// The rms the received audio is brought to before it is rounded to 16 bits, as an operator sets
// the audio level: noise at a low SNR would otherwise be clipped (a 30000-peak signal 10 dB under
// the noise in 2500 Hz needs an rms of about 70000), which tests the clipping, not the modem.
// 2000 leaves more than 16 sigma of headroom for noise and 10 dB for a fading peak; rounding then
// adds noise 77 dB below the level.
inline constexpr double kReceiveLevelRms = 2000.0;

struct TrialSpec {
    channel::ChannelParams channel;
    // Silence before the transmission: where its symbols fall on the receiver's blocks.
    // 0..N-1; the recording is padded to whole symbols after it.
    std::size_t lead_samples = 0;
    std::size_t tail_samples = 0; // more silence after the transmission's own padding
    bool set_level = true;        // false: the channel's own output, clipped to 16 bits if need be
};

struct ReceivedAudio {
    std::vector<int16_t> samples;
    double gain = 1.0;           // applied before rounding
    double noise_variance = 0.0; // per sample, after the gain (the rounding adds 1/12)
    std::size_t clipped = 0;     // samples beyond the 16-bit range
    std::string error;           // from the channel
};

// The transmission, padded with the lead-in and the tail, through the channel (the library the
// 'quavel-modem channel' tool calls), scaled and rounded to 16 bits.
ReceivedAudio through_channel(const Transmission& tx, const TrialSpec& spec);

// The recording before the channel: the lead-in, the transmission, the tail to whole symbols and
// `more_tail` samples of silence after it.
std::vector<int16_t> padded_transmission(const Transmission& tx, std::size_t lead_samples,
                                         std::size_t more_tail = 0);

struct TrialResult {
    std::string receiver_text; // the receiver's primary pane after settling
    std::string ideal_text;
    std::string limit_text;          // the limit detector's copy (limit_detector.h)
    std::string weak_text;           // the weak-signal receiver's copy
    std::size_t receiver_errors = 0; // edit distance to the text sent
    std::size_t ideal_errors = 0;
    std::size_t limit_errors = 0;
    std::size_t weak_errors = 0;
    double weak_frequency_hz = 0.0; // where the weak-signal receiver ended
    std::size_t clipped = 0;
    uint32_t final_centre_hz = 0; // where AFC left the receiver
    std::string error;
};

struct TrialOptions {
    bool afc = true;
    bool ideal = true;   // also run the ideal detector
    bool limit = true;   // also run the limit detector, told the level and the channel's phase
    bool classic = true; // run the classic receiver (false: its copy is left empty)
    bool weak = true;    // also run the weak-signal receiver
    bool weak_squelch = true;
    // Diagnostics, each taking one task off the receiver: auto-sync off and the sync position
    // set where the symbols truly start; the noise above 2 kHz removed before the receiver
    // keeps every other sample.
    bool known_sync = false;
    bool low_pass = false;
    // Parts of a symbol the ideal detector gives gains of their own; 0: ideal_segments().
    int ideal_segments = 0;
    // How the ideal detector scores: with the two tones' phases locked (the right model for a
    // channel that treats both tones alike), with a free phase between them, or told the fading
    // channel's statistics with every tone faded on its own. Auto: ideal_model().
    enum class IdealModel { Auto, LockedPhase, FreePhase, Fading } ideal_model = IdealModel::Auto;
};

// The sync position at which the receiver's symbol slice starts on a symbol of a transmission
// that began `lead_samples` (0..N-1) after the recording: N/4 for 0, later by half the lead-in
// (the receiver works at 4000 samples per second), one symbol earlier once that passes H.
uint32_t true_sync_position(uint32_t symbol_samples, std::size_t lead_samples);

// A linear-phase low-pass (passband to about 1450 Hz, stopband from about 2150 Hz, 70 dB down),
// in place, without moving the signal in time: what an anti-alias filter before the receiver's
// decimation would remove.
void low_pass_2khz(std::vector<int16_t>& samples);

// What the ideal detector is told about a fading channel: parts short enough for the gain to
// hold roughly still in each, a quarter of the Doppler spread's inverse (the largest power of
// two of parts not longer than that; 1 without fading).
int ideal_segments(const channel::ChannelParams& channel, uint32_t symbol_samples);

// The model the ideal detector is told to use, from how far the second path's delay turns the
// outermost tones (64 Hz apart at speeds 1 and 2, 128 Hz at speed 4) against each other: locked
// phases below 40 degrees (and without fading), a free relative phase up to 80, each tone faded
// on its own beyond (where the two tones' amplitudes part as well).
TrialOptions::IdealModel ideal_model(const channel::ChannelParams& channel, uint32_t speed);

TrialResult run_trial(const Transmission& tx, const TrialSpec& spec, const TrialOptions& options);

} // namespace quavel::perf
