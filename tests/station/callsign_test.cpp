// Telling the other station's call from the other words of a contact, and finding the word
// under a click in pane text.
#include <gtest/gtest.h>

#include <string>

#include "station/callsign.h"

namespace {

struct Word {
    const char* text;
    bool call;
    const char* base; // the call proper, when a call
};

TEST(Callsign, CallsAndTheWordsAroundThem) {
    const Word words[] = {
        {"G4ABC", true, "G4ABC"},
        {"9A1AA", true, "9A1AA"},
        {"2E0ABC", true, "2E0ABC"},
        {"3DA0RU", true, "3DA0RU"},
        {"DL/G4ABC", true, "G4ABC"},
        {"G4ABC/P", true, "G4ABC"},
        {"VK2/G4ABC/MM", true, "G4ABC"},
        {"g4abc/p", true, "G4ABC"},
        {"VK2AB/G4ABC", false, ""},
        {"CQ", false, ""},
        {"DE", false, ""},
        {"599", false, ""},
        {"TNX", false, ""},
        {"73", false, ""},
        {"QRZ", false, ""},
        {"5NN", false, ""},
        {"K1", false, ""},
        {"G4ABC/", false, ""},
        {"/G4ABC", false, ""},
        {"A/B/G4ABC/P", false, ""},
        {"G4ABC/PORTA", false, ""},
        {"G4ABC1", false, ""},
        {"ABCDEFG1HIJ", false, ""},
        {"", false, ""},
        {"G4-ABC", false, ""},
    };
    for (const Word& w : words) {
        EXPECT_EQ(quavel::looks_like_callsign(w.text), w.call) << w.text;
        EXPECT_EQ(quavel::base_callsign(w.text), w.base) << w.text;
    }
}

// Received text as the panes hold it: words between spaces, punctuation and line breaks.
TEST(Callsign, TheWordUnderAPositionInPaneText) {
    const std::string text = "CQ CQ DE DL/G4ABC/P K\r\nQRZ? 599 TNX.";
    const auto word = [&](std::size_t at) {
        const quavel::WordSpan s = quavel::word_at(text, at);
        return text.substr(s.begin, s.end - s.begin);
    };
    EXPECT_EQ(word(text.find("DL/")), "DL/G4ABC/P");
    EXPECT_EQ(word(text.find("G4A") + 2), "DL/G4ABC/P");
    // A caret just past the word's end still names it.
    EXPECT_EQ(word(text.find("/P") + 2), "DL/G4ABC/P");
    EXPECT_EQ(word(text.find("QRZ") + 1), "QRZ");
    EXPECT_EQ(word(text.find("?") + 1), ""); // the blank after "?"
    EXPECT_EQ(word(text.find("TNX") + 3), "TNX");
    EXPECT_EQ(word(text.size()), "");
    EXPECT_EQ(word(text.size() + 5), "");
    EXPECT_TRUE(quavel::word_at("", 0).empty());
}

} // namespace
