// Which of the two receivers prints the received text.
#pragma once

namespace quavel {

// classic: the demodulator and decoder whose work the displays show. weak: the weak-signal
// receiver, which copies further into the noise and finds a signal further off the tuning.
enum class ReceiverChoice { classic, weak };

} // namespace quavel
