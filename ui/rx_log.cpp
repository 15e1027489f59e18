#include "ui/rx_log.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

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
    // Said at once: nothing is under way yet, and the caller drops a log that did not open.
    if (file_ == nullptr) {
        const int error = errno;
        messages_.show("Cannot open the receive log " + path_ + "\n" + std::strerror(error) +
                           "\nReceived text will not be logged.",
                       kLogTitle, quavel::MessageIcon::Warning);
    }
}

RxLog::~RxLog() {
    if (file_ != nullptr) {
        if (mid_line_) std::fputc('\n', file_);
        std::fclose(file_);
    }
    // A report not yet shown is dropped with the log (see post_report).
    if (report_) report_->messages = nullptr;
}

void RxLog::begin(Activity what, std::string_view speed_caption, uint32_t centre_hz,
                  std::time_t now) {
    sending_ = what == Activity::Sending;
    if (mid_line_) write("\n");
    write(rx_log_header(what, speed_caption, centre_hz, now) + "\n");
    mid_line_ = false;
    idle_run_ = 0;
    post_report();
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
    if (std::fwrite(text.data(), 1, text.size(), file_) == text.size() && std::fflush(file_) == 0)
        return;
    fail("Cannot write the receive log");
}

void RxLog::fail(const char* what) {
    const int error = errno;
    // Closed before anything else, and only once: every line flushed before stays in the file,
    // and whatever runs next finds no file to write to.
    std::fclose(std::exchange(file_, nullptr));
    if (report_) return;
    report_ = std::make_shared<PendingReport>();
    report_->messages = &messages_;
    report_->text = std::string(what) + " " + path_ + "\n" + std::strerror(error) +
                    "\nWhat was logged up to now is kept; received text will not be logged "
                    "any more.";
    post_report();
}

void RxLog::post_report() {
    if (!report_ || report_->posted || sending_) return;
    report_->posted = true;
    const auto show = [report = report_] {
        // Taken out first: the box's event loop may run this log's steps, or destroy it.
        quavel::MessageSink* const messages = std::exchange(report->messages, nullptr);
        if (messages == nullptr) return;
        messages->show(std::exchange(report->text, {}), kLogTitle, quavel::MessageIcon::Warning);
    };
    if (QCoreApplication::instance() == nullptr) {
        show(); // no event loop, so no step to wait for
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), show, Qt::QueuedConnection);
}
