#include "ui/rx_log.h"

#include <array>
#include <cerrno>
#include <cstring>

namespace {
constexpr const char* kLogTitle = "Vexmar Quavel Program V2.5";
}

std::string rx_log_header(RxLog::Activity what, std::string_view speed_caption, uint32_t centre_hz,
                          std::time_t now) {
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::array<char, 32> when{};
    std::strftime(when.data(), when.size(), "%Y-%m-%d %H:%M:%S", &utc);
    return std::string("--- ") + when.data() + " UTC  " +
           (what == RxLog::Activity::Receiving ? "receiving" : "sent") + "  " +
           std::string(speed_caption) + "  " + std::to_string(centre_hz) + " Hz ---";
}

RxLog::RxLog(std::string path, quavel::MessageSink& messages)
    : path_(std::move(path)), messages_(messages) {
    file_ = std::fopen(path_.c_str(), "ab");
    if (file_ == nullptr) fail("Cannot open the receive log");
}

RxLog::~RxLog() {
    if (file_ != nullptr) {
        if (mid_line_) std::fputc('\n', file_);
        std::fclose(file_);
    }
}

void RxLog::begin(Activity what, std::string_view speed_caption, uint32_t centre_hz,
                  std::time_t now) {
    if (mid_line_) write("\n");
    write(rx_log_header(what, speed_caption, centre_hz, now) + "\n");
    mid_line_ = false;
    idle_run_ = 0;
}

void RxLog::text(std::string_view text) {
    if (text.empty()) return;
    write(text);
    mid_line_ = text.back() != '\n';
    idle_run_ = 0;
}

void RxLog::symbol_heard(bool idle, uint32_t pause_symbols) {
    if (!idle) {
        idle_run_ = 0;
        return;
    }
    if (++idle_run_ >= pause_symbols && mid_line_) {
        write("\n");
        mid_line_ = false;
    }
}

void RxLog::write(std::string_view text) {
    if (file_ == nullptr) return;
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
