// The Morse identification: "DE " and the station callsign keyed as a tone at the centre
// frequency. The audio is built in advance into a fixed store whenever the centre frequency is
// set, so a playback refill only copies one buffer's worth from it.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "modem/speed_profile.h"
#include "modem/tuning.h"

namespace quavel {

// Elements are sent from bit (count - 1) of the pattern down to bit 0; a set bit is a dash.
struct MorseCode {
    uint32_t count = 0; // 0..6 elements
    uint8_t bits = 0;
};

inline constexpr unsigned char kMorseFirstCode = 44; // ","
inline constexpr unsigned char kMorseLastCode = 90;  // "Z"

// Indexed by character code - 44. "-" and "@" have no elements: they send only the gap after a
// character.
inline constexpr std::array<MorseCode, kMorseLastCode - kMorseFirstCode + 1> kMorseTable = {{
    {6, 0x33}, {0, 0x00}, {6, 0x15}, {5, 0x12},                                  // , - . /
    {5, 0x1F}, {5, 0x0F}, {5, 0x07}, {5, 0x03}, {5, 0x01},                       // 0 1 2 3 4
    {5, 0x00}, {5, 0x10}, {5, 0x18}, {5, 0x1C}, {5, 0x1E},                       // 5 6 7 8 9
    {6, 0x05}, {5, 0x0A}, {6, 0x21}, {5, 0x11}, {6, 0x16}, {6, 0x0C}, {0, 0x00}, // : ; < = > ? @
    {2, 0x01}, {4, 0x08}, {4, 0x0A}, {3, 0x04}, {1, 0x00}, {4, 0x02}, {3, 0x06}, // A..G
    {4, 0x00}, {2, 0x00}, {4, 0x07}, {3, 0x05}, {4, 0x04}, {2, 0x03}, {2, 0x02}, // H..N
    {3, 0x07}, {4, 0x06}, {4, 0x0D}, {3, 0x02}, {3, 0x00}, {1, 0x01}, {3, 0x01}, // O..U
    {4, 0x01}, {3, 0x03}, {4, 0x09}, {4, 0x0B}, {4, 0x0C},                       // V..Z
}};

// The Morse row of a character; none for codes outside 44..90.
constexpr std::optional<MorseCode> morse_code(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u < kMorseFirstCode || u > kMorseLastCode) return std::nullopt;
    return kMorseTable[u - kMorseFirstCode];
}

// The characters of `text`, other than the blank, that the identification leaves out (no row,
// or an empty one: "-" and "@"), each once, in the order they first appear.
inline std::string characters_without_morse(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto m = morse_code(c);
        if (c != ' ' && (!m || m->count == 0) && out.find(c) == std::string::npos) out += c;
    }
    return out;
}

// Timing in samples at 8000 per second.
inline constexpr uint32_t kMorseDotSamples = 536;   // 0.067 s
inline constexpr uint32_t kMorseDashSamples = 1600; // 0.2 s
inline constexpr uint32_t kMorseElementGapSamples = 536;
inline constexpr uint32_t kMorseCharacterGapSamples = 1600;
inline constexpr uint32_t kMorseSpaceSamples = 3200; // a space in the text, 0.4 s
inline constexpr int kMorseAmplitude = 30000;

constexpr uint32_t morse_character_samples(const MorseCode& m) {
    const uint32_t mask = (1u << m.count) - 1u;
    const auto dashes = static_cast<uint32_t>(std::popcount(static_cast<uint32_t>(m.bits) & mask));
    const uint32_t dots = m.count - dashes;
    return dots * kMorseDotSamples + dashes * kMorseDashSamples +
           m.count * kMorseElementGapSamples + kMorseCharacterGapSamples;
}

// Samples a text of Morse characters and spaces takes; characters without a row take none.
constexpr uint32_t morse_text_samples(std::string_view text) {
    uint32_t n = 0;
    for (const char c : text) {
        if (c == ' ') {
            n += kMorseSpaceSamples;
        } else if (const auto m = morse_code(c)) {
            n += morse_character_samples(*m);
        }
    }
    return n;
}

// The longest callsign the station configuration accepts; longer ones are cut to this length.
inline constexpr uint32_t kMaxCallsignChars = 14;
inline constexpr std::string_view kIdentificationPrefix = "DE ";
inline constexpr uint32_t kIdentificationBlockSamples = 2048;

constexpr uint32_t longest_morse_character_samples() {
    uint32_t longest = kMorseSpaceSamples;
    for (const MorseCode& m : kMorseTable) {
        longest = std::max(longest, morse_character_samples(m));
    }
    return longest;
}
// The worst case is fourteen "," (12288 samples each): 183784 samples, 90 blocks.
inline constexpr uint32_t kMaxIdentificationSamples =
    morse_text_samples(kIdentificationPrefix) +
    kMaxCallsignChars * longest_morse_character_samples();
inline constexpr uint32_t kMaxIdentificationBlocks =
    kMaxIdentificationSamples / kIdentificationBlockSamples + 1;
// An identification of B blocks plays floor(B x speed / 4) + 1 buffers of N = 8192 / speed
// samples, that is at most B x 2048 + N samples: the store holds that for the longest callsign
// at every speed, so every read-out stays inside it.
inline constexpr uint32_t kIdentificationStoreSamples =
    kMaxIdentificationBlocks * kIdentificationBlockSamples + kMaxSymbolSamples;

// The identification audio at one frequency for one callsign, followed by zeros to the end of
// the store. Allocated once; rebuilding allocates nothing.
class IdentificationAudio {
public:
    IdentificationAudio();

    // Rebuilds the audio of "DE " + callsign at the centre frequency `centre_hz`. Only the
    // first 14 characters of the callsign are used; characters other than the space without a
    // Morse row are skipped. `ramp` is the keying ramp that shapes every element's edges.
    void build(CentreHz centre_hz, std::string_view callsign,
               std::span<const float, kRampLength> ramp);

    // The whole store, kIdentificationStoreSamples samples; zero from length_samples() on.
    std::span<const int16_t> store() const { return {store_.get(), kIdentificationStoreSamples}; }
    // Samples the Morse audio takes (gaps included).
    uint32_t length_samples() const { return length_samples_; }
    // Blocks of 2048 samples that cover the audio: length / 2048 + 1 (1..90).
    uint32_t block_count() const { return length_samples_ / kIdentificationBlockSamples + 1; }
    // The text keyed: "DE " and the callsign as used.
    std::string_view text() const { return {text_.data(), text_length_}; }

private:
    std::unique_ptr<int16_t[]> store_;
    uint32_t length_samples_ = 0;
    std::array<char, kIdentificationPrefix.size() + kMaxCallsignChars> text_{};
    uint32_t text_length_ = 0;
};

// A running identification ("CW I/D"): how much is to be sent, and how much has been.
struct IdentificationPlayback {
    bool active = false;
    uint32_t blocks_to_play = 0; // B when started; a rebuild meanwhile does not change it
    uint32_t buffers_sent = 0;

    void start(const IdentificationAudio& audio);
    // Buffers an identification of `blocks_to_play` sends at `speed` (1, 2 or 4):
    // floor(B x speed / 4) + 1, which always covers the B blocks.
    uint32_t buffers_to_send(uint32_t speed) const { return blocks_to_play * speed / 4 + 1; }
    // Fills all of `out` (one buffer, N samples) with the audio from buffers_sent x N on; what
    // lies beyond the store is silence. Returns true when this was the last buffer (the
    // identification is then no longer active).
    bool fill(std::span<int16_t> out, const IdentificationAudio& audio, uint32_t speed);
};

} // namespace quavel
