// The running program's MessageSink: a modal message box with no owner window, an OK button and
// the icon asked for (warning, none, or the critical sign for Stop). show() returns when the
// operator has pressed OK; it needs a QApplication.
#pragma once

#include "interfaces/message_sink.h"

namespace quavel {

class QtMessageBox : public MessageSink {
public:
    void show(const std::string& text, const std::string& title, MessageIcon icon) override;
};

} // namespace quavel
