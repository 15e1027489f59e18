#include "modem/code_table.h"

#include <algorithm>
#include <utility>

namespace quavel {

const std::array<TonePair, kSymbolCount> kTonePairs = {{
    {5, 5}, {4, 5}, {1, 2}, {1, 3}, {1, 4}, {4, 6}, {1, 5}, {1, 6}, {1, 7}, {3, 7}, {1, 8}, {2, 3},
    {2, 4}, {2, 8}, {2, 5}, {5, 6}, {2, 6}, {2, 9}, {3, 4}, {3, 5}, {1, 9}, {3, 6}, {8, 9}, {3, 8},
    {3, 3}, {2, 2}, {1, 1}, {3, 9}, {4, 7}, {4, 8}, {4, 9}, {5, 7}, {5, 8}, {5, 9}, {6, 7}, {6, 8},
    {6, 9}, {7, 8}, {7, 9}, {8, 8}, {7, 7}, {6, 6}, {4, 4}, {9, 9}, {2, 7},
}};

const std::array<char, kSymbolCount> kPrimaryAlphabet = {
    0,   'A', 'B', 'C', 'D', 0,   'F', 'G', 'H', 'I',  'J', 'K', 'L', 'M', 'N',
    'O', 'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X',  'Y', 'Z', '1', '2', '3',
    '4', '5', '6', '7', '8', '9', '0', ',', '.', '\'', '/', ')', '(', 'E', ' ',
};

const std::array<char, kSymbolCount> kSecondaryAlphabet = {
    0,   'O', 'V', '.', '0', 'E', '7', '4', '1', 'I', 'Q',  ',', '9', 'M', '6',
    'A', '3', 'J', '8', '5', 'T', '2', 'B', ' ', '/', '\'', 'E', 'H', 'U', 'P',
    'G', 'S', 'N', 'F', 'R', 'L', 'D', 'K', 'C', 'Y', 'X',  ')', '(', 'Z', 'W',
};

const std::array<BinRange, kToneCount> kToneBins = {{
    {2, 5, 8},
    {10, 13, 16},
    {17, 21, 24},
    {26, 29, 32},
    {34, 37, 40},
    {43, 46, 49},
    {51, 54, 57},
    {59, 62, 65},
    {66, 70, 73},
}};

namespace {

constexpr std::array<uint32_t, 3> kEscapeChars = {'?', '@', '='};
constexpr std::array<uint32_t, 3> kEscapePairSymbols = {21, 14, 10}; // (1,9), (2,8), (3,7)

constexpr uint32_t primary_symbol(char c) {
    constexpr const char* primary = "\0ABCD\0FGHIJKLMNOPQRSTUVWXYZ1234567890,.'/)(E ";
    for (uint32_t s = 0; s < 45; ++s) {
        if (primary[s] != 0 && primary[s] == c) return s + 1;
    }
    return 0;
}

template <size_t L> constexpr auto text_symbols(const char (&text)[L]) {
    std::array<uint32_t, L - 1> out{};
    for (size_t i = 0; i + 1 < L; ++i)
        out[i] = primary_symbol(text[i]);
    return out;
}

constexpr auto kMessage =
    text_symbols("THIS TEST MESSAGE WILL PRINT OUT THE WHOLE QUAVEL CHARACTER SET ");
constexpr auto kCharacterSet = text_symbols("ABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890,.'/)(");

constexpr auto make_test_sequence() {
    std::array<uint32_t, 3 + kMessage.size() + 1 + kCharacterSet.size() + 6> seq{};
    size_t n = 0;
    for (int i = 0; i < 3; ++i)
        seq[n++] = kIdleSymbol;
    for (uint32_t s : kMessage)
        seq[n++] = s;
    seq[n++] = kIdleSymbol;
    for (uint32_t s : kCharacterSet)
        seq[n++] = s;
    for (uint32_t s : kEscapePairSymbols) {
        seq[n++] = kEscapeSymbol;
        seq[n++] = s;
    }
    return seq;
}

constexpr auto kTestSequence = make_test_sequence();

} // namespace

std::span<const uint32_t> test_sequence() {
    return kTestSequence;
}

uint32_t symbol_of_pair(int a, int b) {
    if (a > b) std::swap(a, b);
    if (a < 1 || b > kToneCount) return 0;
    for (uint32_t s = 0; s < kSymbolCount; ++s) {
        if (kTonePairs[s].a == a && kTonePairs[s].b == b) return s + 1;
    }
    return 0;
}

EncodedCharacter encode_character(unsigned char c) {
    EncodedCharacter out;
    for (size_t i = 0; i < kEscapeChars.size(); ++i) {
        if (c == kEscapeChars[i]) {
            out.symbols = {kEscapeSymbol, kEscapePairSymbols[i]};
            out.count = 2;
            return out;
        }
    }
    for (uint32_t s = 0; s < kSymbolCount; ++s) {
        if (kPrimaryAlphabet[s] != 0 && static_cast<unsigned char>(kPrimaryAlphabet[s]) == c) {
            out.symbols[0] = s + 1;
            out.count = 1;
            return out;
        }
    }
    return out;
}

Decoded decode_pair(int a, int b, bool& escape_pending) {
    const uint32_t s = symbol_of_pair(a, b);
    Decoded out;
    if (escape_pending) {
        escape_pending = false;
        for (size_t i = 0; i < kEscapePairSymbols.size(); ++i) {
            if (s == kEscapePairSymbols[i]) {
                out.kind = DecodeKind::Escaped;
                out.primary = static_cast<char>(kEscapeChars[i]);
                return out;
            }
        }
        // Any other pair consumes the escape; an escape symbol starts a new one.
        if (s == kEscapeSymbol) {
            escape_pending = true;
            out.kind = DecodeKind::Escape;
        }
        return out;
    }
    if (s == 0 || s == kIdleSymbol) return out;
    if (s == kEscapeSymbol) {
        escape_pending = true;
        out.kind = DecodeKind::Escape;
        return out;
    }
    out.kind = DecodeKind::Pair;
    out.primary = kPrimaryAlphabet[s - 1];
    out.secondary = kSecondaryAlphabet[s - 1];
    return out;
}

} // namespace quavel
