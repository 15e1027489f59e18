// Names for the cases of a parameterised test, for its name generator: readable, made only of
// [A-Za-z0-9_] as gtest requires, and the same from build to build, so that a failing case can
// be named and run again by name (never the print of a parameter's bytes, nor its index).
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <type_traits>

namespace quavel::test {

// A number as a name, in its shortest form: 1000 -> "1000", -6.5 -> "Minus6p5",
// 0.0625 -> "0p0625", 1e9 -> "1e09", 127.9f -> "127p9".
template <typename Number>
requires std::is_arithmetic_v<Number> std::string name_of_number(Number value) {
    if constexpr (std::is_floating_point_v<Number>) {
        if (std::isnan(value)) return "NaN";
        if (std::isinf(value)) return value > 0 ? "Infinity" : "MinusInfinity";
    }
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    std::string name;
    for (const char* c = text; c != end; ++c) {
        if (*c == '-')
            name += "Minus";
        else if (*c == '.')
            name += 'p';
        else if (*c != '+')
            name += *c;
    }
    return name;
}

// The words of `text` run together, each begun in capitals: "--snr 10dB in.wav" ->
// "Snr10dBInWav"; a minus before a number is "Minus", "=" is "Eq"; empty text is "Empty".
inline std::string name_of_text(std::string_view text) {
    std::string name;
    bool word_start = true;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (std::isalnum(c)) {
            name += word_start ? static_cast<char>(std::toupper(c)) : static_cast<char>(c);
            word_start = false;
            continue;
        }
        const bool number_follows =
            i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]));
        if (c == '-' && number_follows)
            name += "Minus";
        else if (c == '=')
            name += "Eq";
        word_start = true;
    }
    return name.empty() ? "Empty" : name;
}

// A character as a name: a letter or a digit as itself, a blank as "_", anything else by its
// name ("Question", "CR") or its code ("Char255").
inline std::string name_of_character(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u)) return std::string(1, c);
    switch (c) {
    case ' ':
        return "_";
    case '\r':
        return "CR";
    case '\n':
        return "LF";
    case '\t':
        return "Tab";
    case '?':
        return "Question";
    case '!':
        return "Exclamation";
    case '@':
        return "At";
    case '=':
        return "Equals";
    case '-':
        return "Minus";
    case ',':
        return "Comma";
    case '.':
        return "Stop";
    case ';':
        return "Semicolon";
    case ':':
        return "Colon";
    case '#':
        return "Hash";
    case '$':
        return "Dollar";
    case '%':
        return "Percent";
    case '(':
        return "Open";
    case ')':
        return "Close";
    case '/':
        return "Slash";
    default:
        return "Char" + std::to_string(u);
    }
}

// Every character of `text` named in turn, so texts that differ only in blanks, line breaks or
// punctuation keep names of their own: "AB CD\r\n" -> "AB_CDCRLF"; empty text is "Empty".
inline std::string name_of_characters(std::string_view text) {
    std::string name;
    for (const char c : text)
        name += name_of_character(c);
    return name.empty() ? "Empty" : name;
}

// A file's name without its extension, any other character but a letter or a digit as "_"
// and a minus before a number as "minus": "copy_speed1_1040hz_-8db.wav" ->
// "copy_speed1_1040hz_minus8db".
inline std::string name_of_file(std::string_view file) {
    if (const size_t dot = file.rfind('.'); dot != std::string_view::npos && dot > 0)
        file = file.substr(0, dot);
    std::string name;
    for (size_t i = 0; i < file.size(); ++i) {
        const auto c = static_cast<unsigned char>(file[i]);
        if (std::isalnum(c))
            name += static_cast<char>(c);
        else if (c == '-' && i + 1 < file.size() &&
                 std::isdigit(static_cast<unsigned char>(file[i + 1])))
            name += "minus";
        else
            name += '_';
    }
    return name.empty() ? "Empty" : name;
}

} // namespace quavel::test
