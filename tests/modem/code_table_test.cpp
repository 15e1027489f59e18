#include <gtest/gtest.h>

#include <set>
#include <string>

#include "modem/code_table.h"

namespace quavel {
namespace {

TEST(CodeTable, EveryUnorderedTonePairExactlyOnce) {
    std::set<std::pair<int, int>> seen;
    for (const TonePair& p : kTonePairs) {
        ASSERT_LE(p.a, p.b);
        ASSERT_GE(p.a, 1);
        ASSERT_LE(p.b, 9);
        seen.insert({p.a, p.b});
    }
    EXPECT_EQ(seen.size(), 45u);
    EXPECT_EQ(kTonePairs[kIdleSymbol - 1], (TonePair{5, 5}));
    EXPECT_EQ(kTonePairs[kEscapeSymbol - 1], (TonePair{4, 6}));
}

TEST(CodeTable, EveryPrimaryCharacterRoundTripsThroughItsTonePair) {
    int sendable = 0;
    for (uint32_t s = 1; s <= 45; ++s) {
        const char c = kPrimaryAlphabet[s - 1];
        if (c == 0) continue;
        ++sendable;
        const EncodedCharacter e = encode_character(static_cast<unsigned char>(c));
        ASSERT_EQ(e.count, 1) << c;
        ASSERT_EQ(e.symbols[0], s) << c;
        bool escape = false;
        const TonePair p = kTonePairs[s - 1];
        const Decoded d = decode_pair(p.a, p.b, escape);
        EXPECT_EQ(d.kind, DecodeKind::Pair);
        EXPECT_EQ(d.primary, c);
        EXPECT_EQ(d.secondary, kSecondaryAlphabet[s - 1]);
        EXPECT_FALSE(escape);
    }
    EXPECT_EQ(sendable, 43);
}

TEST(CodeTable, EncodesWorkedCharacters) {
    EXPECT_EQ(encode_character('A').symbols[0], 2u);
    EXPECT_EQ(encode_character(' ').symbols[0], 45u);
    EXPECT_EQ(encode_character('E').symbols[0], 44u);
    struct Case {
        char c;
        uint32_t second;
    };
    for (Case k : {Case{'?', 21}, Case{'@', 14}, Case{'=', 10}}) {
        const EncodedCharacter e = encode_character(static_cast<unsigned char>(k.c));
        ASSERT_EQ(e.count, 2);
        EXPECT_EQ(e.symbols[0], kEscapeSymbol);
        EXPECT_EQ(e.symbols[1], k.second);
    }
}

TEST(CodeTable, OutOfRepertoireSendsNothing) {
    for (int c : {int{'!'}, int{'#'}, int{'a'}, int{'z'}, int{'\r'}, int{'\n'}, 0, 200, 255,
                  int{'-'}, int{':'}}) {
        EXPECT_EQ(encode_character(static_cast<unsigned char>(c)).count, 0) << c;
    }
}

TEST(CodeTable, EscapesDecodeAndAreConsumed) {
    bool escape = false;
    EXPECT_EQ(decode_pair(1, 9, escape).primary, 'T');
    EXPECT_EQ(decode_pair(4, 6, escape).kind, DecodeKind::Escape);
    EXPECT_TRUE(escape);
    Decoded d = decode_pair(1, 9, escape);
    EXPECT_EQ(d.kind, DecodeKind::Escaped);
    EXPECT_EQ(d.primary, '?');
    EXPECT_FALSE(escape);
    decode_pair(4, 6, escape);
    EXPECT_EQ(decode_pair(2, 8, escape).primary, '@');
    decode_pair(4, 6, escape);
    EXPECT_EQ(decode_pair(3, 7, escape).primary, '=');

    // An escape followed by a pair that is no escape pair prints nothing and is consumed.
    decode_pair(4, 6, escape);
    d = decode_pair(4, 5, escape);
    EXPECT_EQ(d.kind, DecodeKind::Nothing);
    EXPECT_FALSE(escape);
    EXPECT_EQ(decode_pair(4, 5, escape).primary, 'A');

    // Two escapes in a row leave one pending.
    decode_pair(4, 6, escape);
    EXPECT_EQ(decode_pair(4, 6, escape).kind, DecodeKind::Escape);
    EXPECT_TRUE(escape);
}

TEST(CodeTable, OrdinaryPairsAndIdle) {
    bool escape = false;
    Decoded d = decode_pair(2, 7, escape);
    EXPECT_EQ(d.primary, ' ');
    EXPECT_EQ(d.secondary, 'W');
    d = decode_pair(9, 9, escape);
    EXPECT_EQ(d.primary, 'E');
    EXPECT_EQ(d.secondary, 'Z');
    EXPECT_EQ(decode_pair(5, 5, escape).kind, DecodeKind::Nothing);
}

TEST(CodeTable, TestSequenceSpellsItsTexts) {
    const auto seq = test_sequence();
    std::string primary;
    bool escape = false;
    for (uint32_t s : seq) {
        const TonePair p = kTonePairs[s - 1];
        const Decoded d = decode_pair(p.a, p.b, escape);
        if (d.kind == DecodeKind::Pair || d.kind == DecodeKind::Escaped) primary += d.primary;
    }
    EXPECT_EQ(primary, "THIS TEST MESSAGE WILL PRINT OUT THE WHOLE QUAVEL CHARACTER SET "
                       "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890,.'/)(?@=");
    EXPECT_EQ(seq[0], 1u);
    EXPECT_EQ(seq[2], 1u);
    EXPECT_EQ(seq.back(), 10u);
}

} // namespace
} // namespace quavel
