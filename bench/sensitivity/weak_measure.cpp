#include "weak_measure.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "channel/analytic_signal.h"
#include "channel/random.h"
#include "error_rate.h"
#include "modem/code_table.h"
#include "sweep.h"
#include "weak_run.h"

namespace quavel::perf {

namespace {

// Characters at the start of `sent` that the copy does not end with.
std::size_t lost_at_start(const std::string& sent, const std::string& copy) {
    for (std::size_t k = 0; k <= sent.size(); ++k) {
        if (copy.ends_with(std::string_view(sent).substr(k))) return k;
    }
    return sent.size();
}

// Symbols sent for the first `chars` characters of `text`.
std::size_t symbols_for(const std::string& text, std::size_t chars) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < chars && i < text.size(); ++i)
        n += static_cast<std::size_t>(encode_character(static_cast<unsigned char>(text[i])).count);
    return n;
}

} // namespace

NoiseCopy copy_noise(uint32_t speed, double minutes, int parts, int jobs) {
    struct Part {
        std::size_t on = 0;
        std::size_t off = 0;
    };
    std::vector<Part> results(static_cast<std::size_t>(parts));
    const auto samples = static_cast<std::size_t>(minutes * 60.0 * 8000.0 / parts);
    run_parallel(parts, jobs, [&](int k) {
        channel::Random random(7000u + 10u * speed + static_cast<uint64_t>(k));
        std::vector<int16_t> noise(samples);
        for (int16_t& v : noise)
            v = static_cast<int16_t>(
                std::clamp(std::round(kReceiveLevelRms * random.gaussian()), -32768.0, 32767.0));
        results[static_cast<std::size_t>(k)] = {
            receive_weak(noise, {speed, 1000, true}).text.size(),
            receive_weak(noise, {speed, 1000, false}).text.size()};
        return TrialResult{};
    });
    NoiseCopy copy;
    copy.minutes = minutes;
    for (const Part& p : results) {
        copy.characters += p.on;
        copy.characters_without_squelch += p.off;
    }
    return copy;
}

Acquisition acquire(const Transmission& tx, double offset_hz, double snr_db, int repeats,
                    int jobs) {
    const auto results = run_parallel(repeats, jobs, [&](int r) {
        TrialSpec spec = trial_spec(ChannelKind::Awgn, snr_db, tx.speed, r, tx.symbol_samples);
        spec.channel.offset_hz = offset_hz;
        return run_trial(tx, spec, {.ideal = false, .limit = false, .classic = false});
    });
    Acquisition a;
    a.offset_hz = offset_hz;
    for (const TrialResult& r : results) {
        ++a.runs;
        a.chars += tx.text.size();
        a.errors += r.weak_errors;
        const std::size_t lost = lost_at_start(tx.text, r.weak_text);
        if (lost >= a.worst_lost_chars) {
            a.worst_lost_chars = lost;
            a.worst_lost_symbols = static_cast<double>(symbols_for(tx.text, lost));
        }
    }
    return a;
}

Start measure_start(const Transmission& tx, double snr_db, double noise_seconds, int repeats,
                    int jobs) {
    // A start is clean when the copy begins with the text's first words: the lock came before
    // them and nothing was printed ahead of them.
    constexpr std::size_t kFirstChars = 20;
    Transmission later = tx;
    const auto symbols =
        static_cast<std::size_t>(std::round(noise_seconds * 8000.0 / tx.symbol_samples));
    later.samples.insert(later.samples.begin(), symbols * tx.symbol_samples, 0);
    const auto results = run_parallel(repeats, jobs, [&](int r) {
        const TrialSpec spec =
            trial_spec(ChannelKind::Awgn, snr_db, tx.speed, r, tx.symbol_samples);
        return run_trial(later, spec, {.ideal = false, .limit = false, .classic = false});
    });
    const std::string first = tx.text.substr(0, kFirstChars);
    Start s;
    s.snr_db = snr_db;
    s.noise_seconds = static_cast<double>(symbols * tx.symbol_samples) / 8000.0;
    for (const TrialResult& r : results) {
        ++s.runs;
        const std::size_t at = r.weak_text.find(first);
        if (at == 0) ++s.clean;
        if (at != std::string::npos && at > 0) ++s.printed_before;
        s.worst_lost_chars = std::max(s.worst_lost_chars, lost_at_start(tx.text, r.weak_text));
    }
    return s;
}

Ending copy_after(const Transmission& tx, double snr_db, double seconds, int repeats, int jobs) {
    std::vector<std::size_t> after(static_cast<std::size_t>(repeats));
    run_parallel(repeats, jobs, [&](int r) {
        TrialSpec spec = trial_spec(ChannelKind::Awgn, snr_db, tx.speed, r, tx.symbol_samples);
        const std::size_t alone =
            receive_weak(through_channel(tx, spec).samples, {tx.speed, tx.centre_hz, true})
                .text.size();
        spec.tail_samples = static_cast<std::size_t>(seconds * 8000.0);
        const std::size_t with_tail =
            receive_weak(through_channel(tx, spec).samples, {tx.speed, tx.centre_hz, true})
                .text.size();
        after[static_cast<std::size_t>(r)] = with_tail > alone ? with_tail - alone : 0;
        return TrialResult{};
    });
    Ending e;
    e.runs = repeats;
    for (const std::size_t n : after)
        e.characters += n;
    return e;
}

Drift follow_drift(const Transmission& tx, double rate_hz_per_s, double snr_db, int repeats,
                   int jobs) {
    const double seconds = static_cast<double>(tx.samples.size()) / 8000.0;
    const auto results = run_parallel(repeats, jobs, [&](int r) {
        const TrialSpec spec =
            trial_spec(ChannelKind::Awgn, snr_db, tx.speed, r, tx.symbol_samples);
        ReceivedAudio audio = through_channel(tx, spec);
        // The whole recording moved by an offset that runs linearly from -span/2 to +span/2
        // over the transmission: the analytic signal turned by the integral of that offset.
        std::vector<double> real(audio.samples.begin(), audio.samples.end());
        const auto analytic = channel::analytic_signal(real);
        const double t0 = static_cast<double>(spec.lead_samples) / 8000.0 + seconds / 2.0;
        for (std::size_t n = 0; n < analytic.size(); ++n) {
            const double t = static_cast<double>(n) / 8000.0 - t0;
            const double phase = std::numbers::pi * rate_hz_per_s * (t * t - t0 * t0);
            const double v = (analytic[n] * std::polar(1.0, phase)).real();
            audio.samples[n] = static_cast<int16_t>(std::clamp(std::round(v), -32768.0, 32767.0));
        }
        TrialResult result;
        result.weak_text = receive_weak(audio.samples, {tx.speed, tx.centre_hz, true}).text;
        result.weak_errors = edit_distance(tx.text, result.weak_text);
        return result;
    });
    Drift d;
    d.rate_hz_per_s = rate_hz_per_s;
    d.span_hz = rate_hz_per_s * seconds;
    for (const TrialResult& r : results) {
        ++d.runs;
        d.chars += tx.text.size();
        d.errors += r.weak_errors;
    }
    return d;
}

} // namespace quavel::perf
