// Where the operator's messages go.
#pragma once

#include <string>

namespace quavel {

// Message boxes: in the running program a modal box; in tests a recorder.
enum class MessageIcon { None, Warning, Stop };
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void show(const std::string& text, const std::string& title, MessageIcon icon) = 0;
};

} // namespace quavel
