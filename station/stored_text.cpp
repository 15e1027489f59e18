#include "station/stored_text.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace quavel {

namespace {

constexpr std::size_t kReadChunkBytes = 256;

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

    const std::filesystem::path path = dir / name;
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(path, ec);
    if (st.type() == std::filesystem::file_type::not_found)
        return refuse(name + " File Not Available");
    if (ec) return refuse(name + " cannot be read: " + ec.message());
    if (std::filesystem::is_directory(st))
        return refuse(name + " cannot be read: it is a directory, not a file");

    std::FILE* f = std::fopen(path.string().c_str(), "rb");
    if (f == nullptr) return refuse(name + " cannot be read: " + std::strerror(errno));
    StoredTextFilter filter;
    std::array<char, kReadChunkBytes> chunk{};
    bool more = true;
    while (more) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), f);
        more = filter.feed(std::string_view(chunk.data(), got)) && got == chunk.size();
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    // A read that broke off part way would insert a text the operator never wrote.
    if (failed) return refuse(name + " cannot be read: read error");
    out.text = filter.text();
    return out;
}

} // namespace quavel
