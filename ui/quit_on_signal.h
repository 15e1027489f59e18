// Ends the event loop when the process is asked to stop (SIGINT, SIGTERM, SIGHUP), so the window
// and its station are destroyed in order: the sound is cut, the transmitter unkeyed and a WAV
// being written finished, instead of the process dying keyed. Does nothing where these signals
// do not exist. Should the window thread not get there within a few seconds, the keying lines
// are dropped from the handler and the process ends by the signal (platform/devices/ptt_guard.h);
// the window cancels that once it has gone. Only the first request counts: later ones neither end
// the process sooner nor put the deadline off.
#pragma once

class QCoreApplication;

// Call once, after the application exists.
void quit_on_signal(QCoreApplication& app);
