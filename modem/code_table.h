// The air format: nine tones, 45 symbols, the two alphabets, the escape and idle symbols,
// the receiver's tone bin ranges and the self-test sequence. Pure constant data plus the
// encoding of one character and the decoding of one tone pair.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quavel {

inline constexpr int kToneCount = 9;
inline constexpr int kSymbolCount = 45;
inline constexpr uint32_t kIdleSymbol = 1;   // tone pair (5, 5)
inline constexpr uint32_t kEscapeSymbol = 6; // tone pair (4, 6)

// Tone numbers 1..9, a <= b.
struct TonePair {
    int32_t a;
    int32_t b;
    friend bool operator==(const TonePair&, const TonePair&) = default;
};

// Indexed by symbol number - 1.
extern const std::array<TonePair, kSymbolCount> kTonePairs;
// A zero byte marks a symbol without a character in that alphabet.
extern const std::array<char, kSymbolCount> kPrimaryAlphabet;
extern const std::array<char, kSymbolCount> kSecondaryAlphabet;

// How far apart adjacent tones lie at speed value `speed`: 16 Hz at speed 4, else 8 Hz. Tone 5
// sits on the centre frequency, so everything that knows where the tones are starts from this.
constexpr uint32_t tone_spacing_hz(uint32_t speed) {
    return speed == 4 ? 16u : 8u;
}

// Tone offsets in Hz from the centre frequency at speed value `speed`, indexed by tone
// number - 1: whole multiples of the spacing, exact in float.
constexpr std::array<float, kToneCount> tone_offsets_hz(uint32_t speed) {
    std::array<float, kToneCount> offsets{};
    const auto spacing = static_cast<int32_t>(tone_spacing_hz(speed));
    for (int32_t t = 0; t < kToneCount; ++t)
        offsets[static_cast<std::size_t>(t)] = static_cast<float>((t - 4) * spacing);
    return offsets;
}

// Where each tone's peak is searched for, as indices into the band magnitudes (bins counted
// from the lower symbol band edge). Indexed by tone number - 1. The highest index is 73.
struct BinRange {
    int32_t low;
    int32_t centre;
    int32_t high;
};
extern const std::array<BinRange, kToneCount> kToneBins;

// The receiver self-test: symbol numbers played through the receiver from the test bank.
std::span<const uint32_t> test_sequence();

// Symbol number (1..45) of a tone pair given as tone numbers; the order of a and b does not
// matter. Returns 0 for tone numbers outside 1..9.
uint32_t symbol_of_pair(int a, int b);

// The symbols one character is sent as: zero (not in the repertoire), one, or two (an escape
// followed by its escape pair for "?", "@", "="). The comparison is on the raw byte.
struct EncodedCharacter {
    std::array<uint32_t, 2> symbols{};
    int count = 0;
};
EncodedCharacter encode_character(unsigned char c);

// What one received tone pair means, given whether an escape is pending.
enum class DecodeKind {
    Nothing, // idle symbol, or an escape consumed by a pair that is not an escape pair
    Escape,  // the escape symbol: the next symbol carries an escaped character
    Escaped, // one of "?", "@", "=": shown in both panes
    Pair     // an ordinary symbol: its primary and secondary characters
};
struct Decoded {
    DecodeKind kind = DecodeKind::Nothing;
    char primary = 0;   // Escaped: the character; Pair: the primary alphabet's (may be 0)
    char secondary = 0; // Pair: the secondary alphabet's (may be 0)
};
// a <= b are tone numbers 1..9. Clears `escape_pending` when it was set, and sets it for the
// escape symbol (also when that symbol itself completed a pending escape).
Decoded decode_pair(int a, int b, bool& escape_pending);

} // namespace quavel
