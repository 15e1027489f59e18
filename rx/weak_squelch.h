// The weak-signal receiver's squelch. It averages the statistic of the last few symbols (how far
// the winning metric stands above the runner-up, in noise powers: weak_statistic) and opens on a
// signal within a few symbols, then also releases the symbols held back that led up to the
// opening, so a transmission's first characters are not lost. A strong signal that stops keeps
// that average up for several symbols, each printing noise: where the signal's level is high, a
// symbol without it mutes the squelch, and the symbols from it on wait for one that shows the
// signal back. A carrier, or a slower station's symbol seen several times over, reads as the
// same symbol again and again: held symbols that mostly repeat do not open it, and recent symbols
// that mostly repeat close it.
//
// It returns what it decided and calls nothing: its owner prints, forgets or locks afresh after
// each step. Allocation-free; the symbols to print are held in the squelch until its next step.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quavel {

class WeakSquelch {
public:
    static constexpr int kHeldBack = 6; // symbols held while the squelch is closed
    // Symbols of a signal the squelch waits for before a lock afresh may go by them: one or two
    // fit a whole spacing higher or lower as well.
    static constexpr int kSymbolsToLockBy = 2;

    // Closed, its average and the symbols held cleared.
    void restart();

    // Every decided symbol's statistic, also those decided only to settle the loops.
    void observe(double statistic) { confidence_ += (statistic - confidence_) / 4.0; }

    struct Symbol {
        uint8_t symbol = 0;      // 1..45
        double statistic = 0.0;  // as given to observe()
        double above = 0.0;      // its energy above the noise over the nine tones, in noise powers
        double tone_level = 0.0; // the signal's level, a single tone's SNR (WeakNoise::Level)
    };
    struct Verdict {
        // What to print now, in air order (valid until the next step or restart).
        std::span<const uint8_t> print;
        bool closed = false; // it closed on this symbol
        // It closed after a signal that had gone (it was muted): no later lock should go back
        // over the symbols before this one to print them again.
        bool signal_ended = false;
        // A signal came up while the tracker was following noise: lock afresh on the last this
        // many symbols held before opening (0: no).
        int lock_on = 0;
    };
    // After observe(): what to do with the symbol. `enabled` false: the squelch is off and every
    // symbol prints (open() still tells whether it would be open). `fitted`: the tracker's last
    // lock was fitted to this signal, so the squelch may open on it at once.
    Verdict step(const Symbol& symbol, bool enabled, bool fitted);

    bool open() const { return open_; }
    double confidence() const { return confidence_; }
    // The held symbols at the end that stand above the noise.
    int trailing_signal() const;

private:
    struct Held {
        uint8_t symbol = 0;
        double statistic = 0.0;
        double above = 0.0;
    };
    void hold(const Symbol& symbol, int room);
    // The held symbols change as a station's do, not as a carrier's or a slower station's.
    bool changing() const;
    // The first held symbol from `from` on that stands at the signal's level.
    int first_at_level(int from) const;

    double confidence_ = 0.0;
    bool open_ = false;
    std::array<Held, kHeldBack> held_{};
    int held_count_ = 0;
    // After a strong signal, symbols without it are held (in held_) until a clear one.
    bool muted_ = false;
    int muted_for_ = 0;        // symbols in a row it has been muted
    double muted_level_ = 0.0; // the signal's level when it was muted
    std::array<uint8_t, kHeldBack + 1> release_{};
    uint8_t last_symbol_ = 0; // the symbol of the last step
    uint32_t repeats_ = 0;    // a bit for each recent step: it repeated the one before
};

} // namespace quavel
