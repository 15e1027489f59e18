// How the program's sound streams present themselves to the sound server, so that the desktop's
// mixer shows them under the program's name, and a stream the operator moves to another device
// is remembered for the program (PulseAudio's stream-restore and PipeWire's equivalent key on
// the application id) rather than for one process.
//
// Qt Multimedia names its PulseAudio connection "QtPulseAudio:<pid>" and offers no way to set
// stream properties; libpulse takes properties from the environment instead, read when a
// connection is made. So the identity is set once, early in main(), before anything asks Qt for
// a sound device, and every connection the process makes afterwards carries it.
#pragma once

#include <string>

namespace quavel {

struct AudioStreamIdentity {
    std::string name;      // what the mixer shows: "Quavel"
    std::string id;        // the desktop entry's id, "org.quavel.Quavel"
    std::string icon_name; // the desktop entry's icon
};

inline const AudioStreamIdentity kConsoleStreams{"Quavel", "org.quavel.Quavel",
                                                 "org.quavel.Quavel"};
inline const AudioStreamIdentity kModemStreams{"Quavel", "org.quavel.Quavel.modem",
                                               "org.quavel.Quavel"};

// Sets the identity for every sound-server connection made from now on. Properties the user set
// in PULSE_PROP_OVERRIDE themselves still win. Values hold no quotes (they would end the
// property list's quoting); such characters are dropped.
void set_audio_stream_identity(const AudioStreamIdentity& identity);

// The environment value set_audio_stream_identity uses, given what PULSE_PROP_OVERRIDE held
// before (null when unset).
std::string audio_stream_properties(const AudioStreamIdentity& identity, const char* existing);

} // namespace quavel
