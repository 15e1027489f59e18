#include "station/stored_text.h"

#include "station/regular_file.h"

namespace quavel {

namespace {

bool is_kept(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ';
}

} // namespace

std::string stored_text_file_name(int number) {
    return std::to_string(number) + ".TXT";
}

bool StoredTextFilter::feed(std::string_view raw) {
    if (text_.capacity() < kStoredTextCapacity) text_.reserve(kStoredTextCapacity);
    for (const char c : raw) {
        if (full()) return false;
        if (is_kept(c)) {
            text_.push_back(c);
        } else if ((c == '\n' || c == '\r') && !text_.empty() && text_.back() != ' ') {
            text_.push_back(' ');
        }
    }
    return !full();
}

std::string filter_stored_text(std::string_view raw) {
    StoredTextFilter filter;
    filter.feed(raw);
    return filter.text();
}

StoredTextRead read_stored_text(const std::filesystem::path& dir, int number) {
    StoredTextRead out;
    const std::string name = stored_text_file_name(number);
    const auto refuse = [&](const std::string& text) {
        out.message = OperatorMessage{text, std::string(kStoredTextTitle)};
        return out;
    };
    if (number < 1 || number > kStoredTextCount) return refuse(name + " File Not Available");

    const RegularFileRead file =
        read_regular_file((dir / name).string(), kStoredTextMaxBytes, Oversize::Refuse);
    if (file.status == RegularFileRead::Status::Missing)
        return refuse(name + " File Not Available");
    if (file.status == RegularFileRead::Status::Refused)
        return refuse(name + " cannot be read: " + file.error);
    StoredTextFilter filter;
    filter.feed(file.bytes);
    out.text = filter.text();
    return out;
}

} // namespace quavel
