// The operator's stored texts "1.TXT", "2.TXT" and "3.TXT": plain 8-bit text files written
// with any editor, read afresh on every press of their button. Only letters, digits and blanks
// are kept, and only the first 255 of them. Only a regular file is read, and one far longer than
// any stored text needs (more than kStoredTextMaxBytes) is refused, so that a press never holds
// the window.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "station/operator_message.h"

namespace quavel {

inline constexpr std::size_t kStoredTextCapacity = 255;
inline constexpr int kStoredTextCount = 3;
inline constexpr std::size_t kStoredTextMaxBytes = 64 * 1024;

// "1.TXT" .. "3.TXT" for 1..3.
std::string stored_text_file_name(int number);

// Keeps "A".."Z", "a".."z", "0".."9" and the blank, as they are (lower case stays lower case).
// A line break (LF or CR) becomes one blank unless the text kept so far is empty or already
// ends in a blank, so the words either side of it stay apart. Everything else is dropped.
// Stops once 255 characters are kept.
class StoredTextFilter {
public:
    // Feeds more of the file; returns false once the text is full.
    bool feed(std::string_view raw);
    bool full() const { return text_.size() >= kStoredTextCapacity; }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

std::string filter_stored_text(std::string_view raw);

// What a stored-text button inserts: `text` (possibly empty) when there is no message; with a
// message (file missing, not a regular file, too long, not readable) nothing is inserted.
struct StoredTextRead {
    std::string text;
    std::optional<OperatorMessage> message;
};

// Reads stored text `number` (1..3) from `dir`.
StoredTextRead read_stored_text(const std::filesystem::path& dir, int number);

} // namespace quavel
