#include "station/callsign.h"

#include <algorithm>
#include <array>

namespace quavel {

namespace {

bool is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_word_char(char c) {
    return is_letter(c) || is_digit(c) || c == '/';
}

bool is_call_proper(std::string_view part) {
    if (part.size() < 3 || part.size() > 10) return false;
    std::size_t i = part.size();
    while (i > 0 && is_letter(part[i - 1]))
        --i;
    const std::size_t suffix_begin = i;
    while (i > 0 && is_digit(part[i - 1]))
        --i;
    const std::size_t number_begin = i;
    if (suffix_begin == part.size() || number_begin == suffix_begin) return false;
    // The prefix: 1..4 letters and digits, at least one of them a letter.
    const std::string_view prefix = part.substr(0, number_begin);
    if (prefix.empty() || prefix.size() > 4) return false;
    bool letter = false;
    for (const char c : prefix) {
        if (!is_letter(c) && !is_digit(c)) return false;
        letter = letter || is_letter(c);
    }
    return letter;
}

bool is_portable_part(std::string_view part) {
    if (part.empty() || part.size() > 4) return false;
    for (const char c : part)
        if (!is_letter(c) && !is_digit(c)) return false;
    return true;
}

// The index of the call proper among the word's parts, or -1. Of two candidates (as in
// "G4ABC/P1AB") the longer is the call; a tie goes to the first.
int call_part(std::string_view word, std::array<std::string_view, 3>& parts, int& count) {
    count = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = word.find('/', start);
        const std::string_view part =
            word.substr(start, slash == std::string_view::npos ? word.npos : slash - start);
        if (count == 3) return -1;
        parts[static_cast<std::size_t>(count++)] = part;
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    int call = -1;
    for (int i = 0; i < count; ++i) {
        const std::string_view part = parts[static_cast<std::size_t>(i)];
        if (is_call_proper(part) &&
            (call < 0 || part.size() > parts[static_cast<std::size_t>(call)].size()))
            call = i;
    }
    if (call < 0) return -1;
    for (int i = 0; i < count; ++i)
        if (i != call && !is_portable_part(parts[static_cast<std::size_t>(i)])) return -1;
    return call;
}

} // namespace

bool looks_like_callsign(std::string_view word) {
    std::array<std::string_view, 3> parts;
    int count = 0;
    return call_part(word, parts, count) >= 0;
}

std::string base_callsign(std::string_view word) {
    std::array<std::string_view, 3> parts;
    int count = 0;
    const int call = call_part(word, parts, count);
    if (call < 0) return {};
    std::string out(parts[static_cast<std::size_t>(call)]);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

WordSpan word_at(std::string_view text, std::size_t position) {
    const bool on = position < text.size() && is_word_char(text[position]);
    if (!on && position > 0 && position <= text.size() && is_word_char(text[position - 1]))
        --position;
    else if (!on)
        return {std::min(position, text.size()), std::min(position, text.size())};
    WordSpan span{position, position + 1};
    while (span.begin > 0 && is_word_char(text[span.begin - 1]))
        --span.begin;
    while (span.end < text.size() && is_word_char(text[span.end]))
        ++span.end;
    return span;
}

} // namespace quavel
