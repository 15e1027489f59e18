// The type-ahead pull: moves one character from the transmit pane into the transmit queue and
// shows it in the sent-text pane. The scheduler calls it after each refill while the queue holds
// 4 entries or fewer, so the operator can edit everything not yet pulled.
#pragma once

#include "interfaces/text_pane.h"
#include "tx/tx_queue.h"

namespace quavel {

// The pull sends on when the queue holds this many entries or fewer. One character adds at most
// two entries, so the queue never holds more than 6.
inline constexpr uint32_t kPullThreshold = 4;

// Takes the first character of `transmit` (the transmit pane) and shows it in `sent` (the
// sent-text pane), then:
// - "a".."z" (text inserted without passing the key handler) go as the capital, and the capital
//   is what `sent` shows;
// - a line break (CR, LF, or a CR LF pair, taken together) goes as one space, so the words on
//   either side stay apart; `sent` shows the break as it stood;
// - anything else is encoded as it is: characters outside the repertoire are shown but send
//   nothing.
// Returns false when `transmit` was empty (nothing shown, nothing queued).
bool type_ahead_pull(TextSource& transmit, TextSink& sent, TxQueue& queue);

} // namespace quavel
