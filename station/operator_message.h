// A warning for the operator. The configuration and stored-text code never shows anything
// itself: it returns the text and title, and the window shows them in a warning box.
#pragma once

#include <string>
#include <string_view>

namespace quavel {

// The fixed titles of the program's warning boxes.
inline constexpr std::string_view kStartupTitle = "Vexmar Quavel2000 Program";
inline constexpr std::string_view kStoredTextTitle = "Vexmar Quavel Program V2.5";

struct OperatorMessage {
    std::string text; // lines separated by "\n"
    std::string title;
};

} // namespace quavel
