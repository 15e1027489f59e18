#include "tx/type_ahead.h"

#include <string_view>

namespace quavel {

bool type_ahead_pull(TextSource& transmit, TextSink& sent, TxQueue& queue) {
    const std::optional<char> taken = transmit.take_first();
    if (!taken) return false;
    char c = *taken;
    if (c == '\r' || c == '\n') {
        if (c == '\r' && transmit.peek_first() == '\n') {
            transmit.take_first();
            sent.insert("\r\n");
        } else {
            sent.insert(std::string_view(&c, 1));
        }
        queue.enqueue(' ');
        return true;
    }
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    sent.insert(std::string_view(&c, 1));
    queue.enqueue(static_cast<unsigned char>(c));
    return true;
}

} // namespace quavel
