// The rig's dial, for the window's readout and the log: read from a CAT rig about once a second,
// or as the operator typed it for a rig without CAT, and the RF frequency of the signal the
// station is tuned to (the dial plus the centre audio frequency, tone 5's, on the upper
// sideband; minus it on the lower).
//
// hamlib serves one thread at a time and the keying owns the rig, so a read goes through the
// station's keying thread behind whatever keying is to be done (Station::run_when_keying_
// settled): a key or release never waits for a read that has not begun, and nothing is read
// while the transmitter is keyed. The window never waits either: tick() takes the answer of the
// last read if it has come and asks again only when none is outstanding. A rig that does not
// answer reads as such; so does one whose read has been outstanding for several ticks (a rig
// stuck in a call that has not returned).
//
// Window's thread only, apart from the read itself.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quavel {
class HamlibPtt;
class Station;
} // namespace quavel

enum class Sideband { Upper, Lower };

// "14.070.000": hertz rounded to whole ones, in groups of three from the right. Empty for a
// frequency that is negative, not finite or above 999 GHz.
std::string format_dial_hz(double hz);
// The sideband a rig's mode stands for: upper for "USB", "PKTUSB", "DIGU" and the like, lower
// for "LSB", "PKTLSB", "DIGL"...; nothing for the others (CW, AM, FM), where a tone's offset
// from the dial is not the audio frequency.
std::optional<Sideband> sideband_of_mode(std::string_view mode);
// The RF frequency of a tone `audio_hz` into the passband of a dial at `dial_hz`.
constexpr double rf_hz(double dial_hz, Sideband sideband, double audio_hz) {
    return sideband == Sideband::Upper ? dial_hz + audio_hz : dial_hz - audio_hz;
}

class RigFrequency {
public:
    enum class Source { None, Cat, Typed };
    // What is known of the dial.
    struct Reading {
        Source source = Source::None;
        bool known = false;     // a frequency: the rig's last answer, or the one typed
        bool no_answer = false; // CAT: the last read had no answer, or is long overdue
        double dial_hz = 0;     // with `known`
        std::string mode;       // the rig's mode, or "USB"/"LSB" as typed; may be empty
        std::string error;      // with `no_answer`: why, as hamlib or the adapter said
    };
    // Ticks a read may stay outstanding before the readout says the rig does not answer.
    static constexpr int kOverdueTicks = 3;

    // `station` outlives this object; a read under way when it goes is dropped.
    explicit RigFrequency(quavel::Station& station);
    ~RigFrequency();
    RigFrequency(const RigFrequency&) = delete;
    RigFrequency& operator=(const RigFrequency&) = delete;

    // The dial is read from `cat` (the station's keying adapter), through the station's
    // keying thread. An answer from before this call is dropped.
    void use_cat(quavel::HamlibPtt* cat);
    // The dial as typed: `dial_hz` 0 when not known.
    void use_typed(double dial_hz, Sideband sideband);
    // Neither: nothing is known.
    void use_none();

    // Once a second: takes the answer that came, and asks the rig again unless a read is
    // outstanding or the station is transmitting. True when the reading changed.
    bool tick();
    const Reading& reading() const { return reading_; }
    // A read has been asked for and not answered yet.
    bool read_outstanding() const;
    // The RF frequency of the signal at the station's centre frequency: nothing while the
    // dial, or the sideband its mode stands for, is not known.
    std::optional<double> rf_frequency_hz() const;

private:
    struct Shared;
    void set_reading(Reading reading);

    quavel::Station& station_;
    quavel::HamlibPtt* cat_ = nullptr;
    std::shared_ptr<Shared> shared_;
    Reading reading_;
    bool changed_ = false;
    int outstanding_ticks_ = 0;
};
