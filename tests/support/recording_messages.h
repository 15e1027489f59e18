// A MessageSink for tests and headless runs: keeps every message in the order shown and never
// blocks.
#pragma once

#include <string>
#include <vector>

#include "interfaces/message_sink.h"

namespace quavel {

struct RecordedMessage {
    std::string text;
    std::string title;
    MessageIcon icon = MessageIcon::None;
    bool operator==(const RecordedMessage&) const = default;
};

class RecordingMessages : public MessageSink {
public:
    void show(const std::string& text, const std::string& title, MessageIcon icon) override {
        messages_.push_back({text, title, icon});
    }
    const std::vector<RecordedMessage>& messages() const { return messages_; }
    void clear() { messages_.clear(); }

private:
    std::vector<RecordedMessage> messages_;
};

} // namespace quavel
