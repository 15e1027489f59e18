// The receive log (--rx-log, or File > "Log to File..."): the contact as it went, in a text file
// that grows as it happens and is flushed at once so another program can follow it.
//
//   --- 2026-12-08 11:30:05 UTC  receiving  2 Quavel/sec  1000 Hz ---
//   CQ CQ DE G4ABC K
//   --- 2026-12-08 11:31:10 UTC  sent  2 Quavel/sec  1000 Hz ---
//   G4ABC DE G4XYZ K
//
// A header line opens every start of receiving (program start, back from transmitting, a speed
// change) and of sending; the characters printed in the primary receive pane and the characters
// taken for sending follow it, and a pause of the sender (a run of idle symbols after text)
// ends the line. A log that cannot be opened or written is reported once; the panes go on
// without it.
//
// A write that fails (a full disk) closes the file at once, keeping every line written before,
// and the log goes on quietly as a log that writes nothing. The operator is told once, from the
// event loop after the step that wrote, and only when nothing is being sent: the text arrives
// from inside the receive step and from inside the transmitter's refill, and a message box there
// would hold the refill with the transmitter keyed. Every entry point may be called again while
// that box is up (its event loop runs the timers), and the log may even be destroyed meanwhile.
#pragma once

#include <functional>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "interfaces/message_sink.h"
#include "interfaces/text_pane.h"

class RxLog {
public:
    enum class Activity { Receiving, Sending };

    // Opens `path` for appending (the file is created when missing).
    RxLog(std::string path, quavel::MessageSink& messages);
    ~RxLog();
    RxLog(const RxLog&) = delete;
    RxLog& operator=(const RxLog&) = delete;

    // False once the file could not be opened or a write failed.
    bool logging() const { return file_ != nullptr; }
    const std::string& path() const { return path_; }

    // A header line for what starts at `now`, on a line of its own. Receiving lets a failure
    // held back while sending be reported.
    void begin(Activity what, std::string_view speed_caption, uint32_t centre_hz, std::time_t now);
    // Text printed in the receive pane or taken for sending.
    void text(std::string_view text);
    // One receive step: whether it heard the idle symbol. The `pause_symbols`-th idle symbol in
    // a row after text ends the line.
    void symbol_heard(bool idle, uint32_t pause_symbols);

private:
    // The one report of a failed write, shared with the event that shows it. `messages` is
    // cleared once it has been shown and when the log is destroyed first: an event that comes
    // too late says nothing.
    struct PendingReport {
        quavel::MessageSink* messages = nullptr;
        std::string text;
        bool posted = false;
    };

    void write(std::string_view text);
    void fail(const char* what);
    void post_report();

    std::string path_;
    quavel::MessageSink& messages_;
    std::FILE* file_ = nullptr;
    bool mid_line_ = false; // text written since the last line break
    uint32_t idle_run_ = 0;
    bool sending_ = false; // since the last begin()
    std::shared_ptr<PendingReport> report_;
};

// The header line, without its line break.
std::string rx_log_header(RxLog::Activity what, std::string_view speed_caption, uint32_t centre_hz,
                          std::time_t now);

// A pane whose text also goes to the log, while there is one, and to an observer (the window's
// signals for the programs it talks to), after the pane has it.
class LoggedPane : public quavel::TextSink {
public:
    explicit LoggedPane(quavel::TextSink& pane) : pane_(pane) {}
    void set_log(RxLog* log) { log_ = log; }
    void set_observer(std::function<void(std::string_view)> observer) {
        observer_ = std::move(observer);
    }
    void insert(std::string_view text) override {
        pane_.insert(text);
        if (log_ != nullptr) log_->text(text);
        if (observer_) observer_(text);
    }

private:
    quavel::TextSink& pane_;
    RxLog* log_ = nullptr;
    std::function<void(std::string_view)> observer_;
};
