// Any bytes as a stored text: at most 255 letters, digits and blanks come out.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_file.h"
#include "station/stored_text.h"

namespace {

void check(const std::string& text) {
    if (text.size() > quavel::kStoredTextCapacity) std::abort();
    for (const char c : text) {
        const bool kept =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ';
        if (!kept) std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const quavel::fuzz::ScratchDir dir;
    check(quavel::filter_stored_text(std::string_view(reinterpret_cast<const char*>(data), size)));
    dir.write("2.TXT", data, size);
    const quavel::StoredTextRead read = quavel::read_stored_text(dir.path(), 2);
    if (read.message && !read.text.empty()) std::abort();
    check(read.text);
    return 0;
}
