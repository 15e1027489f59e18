#include "rx/weak_squelch.h"

#include <algorithm>
#include <bit>

#include "rx/weak_statistics.h"

namespace quavel {

namespace {
// Opens once the average is above kWeakClear, closes below this.
constexpr double kCloseBelow = 2.0;
// Whether a symbol holds a signal at all is told by its energy above the noise over all nine
// tones (in single-tone noise powers: about 0 +- 3 on noise alone). Where the signal's level is
// at least kStrongLevel, a symbol below kAbsentBelow mutes the squelch: it and the symbols after
// it wait for one above kBackAbove.
constexpr double kStrongLevel = 24.0;
constexpr double kAbsentBelow = 4.0;
constexpr double kBackAbove = 10.0;
// ... and, after a signal far stronger than that, above this share (13 dB down) of the level it
// had when it went: noise makes a symbol above kBackAbove now and then, and one released the
// held noise; a deep fade of a strong signal still comes back above it.
constexpr double kBackShare = 0.05;
// Muted this many symbols in a row, the signal has gone: the squelch closes. Left open, it
// printed the rare noise symbol above kBackAbove, and the few held before it, long after a strong
// signal had ended (a fade this long leaves nothing to copy, and a lock afresh follows its return).
constexpr int kMutedClose = 16;
// When the squelch opens, the held symbols from the last one below this onward are released.
constexpr double kLeadAbove = 2.0;
// ... and of those, the ones before the first that holds this share of the loudest one's energy
// are left out: the noise just before a strong signal, lifted by its first pulse's skirt, or a
// pulse the transmission's start cut. A symbol of the signal is rarely 9 dB under its loudest.
constexpr double kLeadLevel = 0.125;
// A station of this mode changes its symbol with every character and rests on the idle symbol; a
// steady carrier, or a slower station whose every symbol spans several of the receiver's, reads
// as the same other symbol again and again ("EEEE", "VVVV"). The squelch does not open on held
// symbols of which half or more repeat the one before, and closes where this many of the last
// kRepeatWindow did.
constexpr int kRepeatWindow = 12;
constexpr int kRepeatsClose = 7;
} // namespace

void WeakSquelch::restart() {
    confidence_ = 0.0;
    open_ = false;
    held_count_ = 0;
    muted_ = false;
    muted_for_ = 0;
    repeats_ = 0;
    last_symbol_ = 0;
}

int WeakSquelch::trailing_signal() const {
    int n = 0;
    while (n < held_count_ &&
           held_[static_cast<std::size_t>(held_count_ - 1 - n)].statistic >= kLeadAbove)
        ++n;
    return n;
}

int WeakSquelch::first_at_level(int from) const {
    double loudest = 0.0;
    for (int i = from; i < held_count_; ++i)
        loudest = std::max(loudest, held_[static_cast<std::size_t>(i)].above);
    while (from < held_count_ - 1 &&
           held_[static_cast<std::size_t>(from)].above < kLeadLevel * loudest)
        ++from;
    return from;
}

bool WeakSquelch::changing() const {
    if (held_count_ == 1) return held_[0].symbol == kIdleSymbol; // nothing to tell by yet
    int pairs = 0;
    int repeats = 0;
    for (int i = 1; i < held_count_; ++i) {
        const uint8_t s = held_[static_cast<std::size_t>(i)].symbol;
        const uint8_t before = held_[static_cast<std::size_t>(i - 1)].symbol;
        if (s == kIdleSymbol && before == kIdleSymbol) continue;
        ++pairs;
        if (s == before) ++repeats;
    }
    return repeats == 0 || 2 * repeats < pairs;
}

void WeakSquelch::hold(const Symbol& symbol, int room) {
    if (held_count_ == room) {
        std::move(held_.begin() + 1, held_.end(), held_.begin());
        --held_count_;
    }
    held_[static_cast<std::size_t>(held_count_++)] = {symbol.symbol, symbol.statistic,
                                                      symbol.above};
}

WeakSquelch::Verdict WeakSquelch::step(const Symbol& symbol, bool enabled, bool fitted) {
    Verdict verdict;
    std::size_t printed = 0;
    const auto print = [&](uint8_t s) { release_[printed++] = s; };
    const auto release = [&](int from) {
        for (int i = from; i < held_count_; ++i)
            print(held_[static_cast<std::size_t>(i)].symbol);
        held_count_ = 0;
    };

    const bool repeat = symbol.symbol != kIdleSymbol && symbol.symbol == last_symbol_;
    repeats_ = ((repeats_ << 1) | (repeat ? 1u : 0u)) & ((1u << kRepeatWindow) - 1u);
    last_symbol_ = symbol.symbol;
    const bool repeating = std::popcount(repeats_) >= kRepeatsClose;
    if (!enabled) {
        open_ = confidence_ >= kWeakClear || (open_ && confidence_ >= kCloseBelow);
        print(symbol.symbol);
    } else if (open_) {
        if (confidence_ < kCloseBelow || muted_for_ >= kMutedClose || repeating) {
            verdict.closed = true;
            verdict.signal_ended = muted_ || repeating;
            open_ = false;
            held_count_ = 0;
            muted_ = false;
            muted_for_ = 0;
        } else if (muted_ || (symbol.above < kAbsentBelow && symbol.tone_level >= kStrongLevel)) {
            if (!muted_) muted_level_ = symbol.tone_level;
            // Muted, symbols wait until a clear one shows the signal is back, and are printed
            // with it; the squelch closing drops them (noise alone hardly makes a clear symbol).
            // The oldest makes room: a fade that long leaves nothing to copy. One place is kept
            // free, so that a step still prints no more symbols than when the squelch opens.
            if (symbol.above >= std::max(kBackAbove, kBackShare * muted_level_)) {
                release(0);
                muted_ = false;
                muted_for_ = 0;
                print(symbol.symbol);
            } else {
                hold(symbol, kHeldBack - 1);
                muted_ = true;
                ++muted_for_;
            }
        } else {
            print(symbol.symbol);
        }
    } else {
        hold(symbol, kHeldBack);
        if (confidence_ >= kWeakClear && changing()) {
            const int first_held = held_count_ - trailing_signal();
            if (fitted) {
                open_ = true;
                release(first_at_level(first_held));
            } else {
                // Wait for a few symbols of the signal, so that the lock has them to go by.
                // Their start is found afresh anywhere within a symbol, so wait for one that can
                // show it: a wide pair, whose tones turn apart within a sample (the idle tone
                // shows little).
                const int signal = held_count_ - first_held;
                bool timed = signal >= kHeldBack - 1;
                for (int i = first_held; i < held_count_; ++i)
                    timed = timed ||
                            weak_spread(held_[static_cast<std::size_t>(i)].symbol) >= kWeakWide;
                if (signal >= kSymbolsToLockBy && timed) verdict.lock_on = signal;
            }
        }
    }
    verdict.print = std::span<const uint8_t>(release_.data(), printed);
    return verdict;
}

} // namespace quavel
