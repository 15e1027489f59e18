// What the hamlib adapters share: the settings every rig is opened with (a short timeout, one
// try, so that a rig gone quiet holds its caller up about a second) and hamlib's reasons in
// words. For platform/'s own hamlib code only.
#pragma once

#include <hamlib/rig.h>

#include <string>

namespace quavel::hamlib {

inline constexpr const char* kTimeoutMs = "1000";
inline constexpr const char* kRetries = "0";

// Sets hamlib's configuration `name`; false when the rig has no such setting or refuses it.
bool set_conf(RIG* rig, const char* name, const std::string& value);
// The port hamlib will use: the one given, or the model's default when none was.
std::string effective_port(RIG* rig, const std::string& given);
// hamlib's text for an error code, without the blanks and line break around it.
std::string why(int code);
// The dial as an open rig reports it: its frequency and mode ("USB", "PKTLSB"...), each when
// it answered, asked of the rig itself (never hamlib's cached answer); `failure` says why one
// did not. Two calls, each up to hamlib's timeout; the mode is not asked of a rig that gave
// no frequency.
struct DialAnswer {
    bool has_frequency = false;
    double frequency_hz = 0;
    std::string mode; // empty when the rig would not say, or has none
    std::string failure;
    // The mode was asked and the rig stopped answering (not a rig that has no mode to give):
    // the frequency came from a rig that is going or gone.
    bool cut_off = false;
};
DialAnswer read_dial(RIG* rig);

// Why an open failed. hamlib says "IO error" for whatever the system refused; the system's own
// reason (a refused connection, a missing device) is still in errno then, and says more.
std::string open_failure(int code, int system_error);

} // namespace quavel::hamlib
