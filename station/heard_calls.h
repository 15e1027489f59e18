// Which stations a receive pane has copied, for the spots reported to PSK Reporter and the
// band-activity list: fed the text as it is printed, a few characters at a time, it tells each
// callsign once the text gives it in a way that shows it is the sending station's call and not
// a misprint:
//   "DE G4ABC" twice within the recent words   G4ABC heard (so "DE G4ABC G4ABC" needs one more)
//   "DE G4ABC G4ABC"                            G4ABC heard (the call repeated after DE)
//   "W1AW DE G4ABC"                             G4ABC heard; W1AW, the station called, is not
// A word is what lies between blanks (spaces, line ends, tabs); it counts only when
// looks_like_callsign() takes it. Our own callsign is never heard. Qt-free; one object per
// stream of text (one per pane, one per station in the band-activity list).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quavel {

class HeardCalls {
public:
    // How many of the latest words the rules look back over.
    static constexpr std::size_t kWindowWords = 16;
    // A longer run without a blank is no word of a contact: it is dropped.
    static constexpr std::size_t kLongestWord = 24;

    explicit HeardCalls(std::string own_call = {});

    // Our own callsign (any case; empty or "NOCALL": none), never reported as heard.
    void set_own_call(std::string_view call);

    // The next characters of the text, any length, any bytes. Returns the callsigns (in
    // capitals, as given, portable parts kept) that the words completed by it made heard, in
    // order; a call is told again each time the rules find it anew.
    std::vector<std::string> feed(std::string_view text);

    // Forgets the words seen (a new signal, a cleared pane).
    void clear();

private:
    void end_word(std::vector<std::string>& heard);
    const std::string& back(std::size_t n) const; // n-th latest word (0: the latest), or ""

    std::string own_;
    std::string word_;
    bool word_too_long_ = false;
    std::array<std::string, kWindowWords> words_{};
    std::size_t count_ = 0; // words seen, the latest at (count_ - 1) % kWindowWords
};

} // namespace quavel
