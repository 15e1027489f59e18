// The receive log of --rx-log: every character printed in the primary receive pane is also
// appended to a file as it arrives, flushed at once so that another program can follow it.
// A log that cannot be opened or written is reported once; the pane goes on without it.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/audio_device.h"
#include "platform/text_pane.h"

class RxLog : public quavel::TextSink {
public:
    RxLog(quavel::TextSink& pane, std::string path, quavel::MessageSink& messages);
    ~RxLog() override;
    RxLog(const RxLog&) = delete;
    RxLog& operator=(const RxLog&) = delete;

    void insert(std::string_view text) override;
    bool logging() const { return file_ != nullptr; }

private:
    void fail(const char* what);

    quavel::TextSink& pane_;
    std::string path_;
    quavel::MessageSink& messages_;
    std::FILE* file_ = nullptr;
};
