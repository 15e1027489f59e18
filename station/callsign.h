// Telling a callsign from the other words of a contact ("CQ", "DE", "599", "5NN", "TNX", "73"),
// for capturing the other station's call from the receive panes and, later, the band-activity
// list. Qt-free; letters may be of either case.
//
// The rule. A word is letters, digits and '/' (anything else ends it). Split at '/', it has one
// to three parts, none empty; one of them is the call proper and the others are 1 to 4 letters
// or digits each (a prefix before it such as "DL/" or "VK2/", a suffix after it such as "/P" or
// "/MM"). The call proper is 3 to 10 letters and digits that end in a run of letters (the
// suffix), before it a run of digits (the number), and before that a prefix of 1 to 4
// characters holding at least one letter:
//   G4ABC, 9A1AA, 2E0ABC, 3DA0RU, DL1ABC   calls
//   5NN (no prefix), 599 and 73 (no letters), CQ, TNX, QRZ (no digit), K1 (too short)   not
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quavel {

// Whether `word` (the whole of it, without surrounding spaces) is a callsign by the rule above.
bool looks_like_callsign(std::string_view word);

// The call proper of a callsign with its portable prefix or suffix taken off: "DL/G4ABC/P"
// gives "G4ABC", in capitals. Empty when `word` is no callsign.
std::string base_callsign(std::string_view word);

// The word (a run of letters, digits and '/') that holds the character at `position` of
// `text`, or else the one before it (a caret just past a word's end), as [begin, end);
// begin == end when neither is part of a word.
struct WordSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool empty() const { return begin == end; }
};
WordSpan word_at(std::string_view text, std::size_t position);

} // namespace quavel
