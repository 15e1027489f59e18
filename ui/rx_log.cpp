#include "ui/rx_log.h"

#include <cerrno>
#include <cstring>

namespace {
constexpr const char* kLogTitle = "Vexmar Quavel Program V2.5";
}

RxLog::RxLog(quavel::TextSink& pane, std::string path, quavel::MessageSink& messages)
    : pane_(pane), path_(std::move(path)), messages_(messages) {
    file_ = std::fopen(path_.c_str(), "ab");
    if (file_ == nullptr) fail("Cannot open the receive log");
}

RxLog::~RxLog() {
    if (file_ != nullptr) std::fclose(file_);
}

void RxLog::insert(std::string_view text) {
    pane_.insert(text);
    if (file_ == nullptr || text.empty()) return;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fflush(file_) != 0) {
        fail("Cannot write the receive log");
        std::fclose(file_);
        file_ = nullptr;
    }
}

void RxLog::fail(const char* what) {
    const int error = errno;
    messages_.show(std::string(what) + " " + path_ + "\n" + std::strerror(error) +
                       "\nReceived text will not be logged.",
                   kLogTitle, quavel::MessageIcon::Warning);
}
