// The console's command line:
//   --audio-in FILE.wav    receive from a recording (8000 Hz, 16-bit, mono) delivered at 8000
//                          samples per second of wall clock, instead of the sound card
//   --audio-out FILE.wav   transmit into a WAV file instead of the sound card; the file holds
//                          every transmission of the run, in order, once the program ends
//   --rx-log FILE          log the contact to FILE (see ui/rx_log.h), for this run
//   --log FILE.adi         log contacts to FILE.adi (ADIF) for this run, instead of the one
//                          chosen in File > Choose Log File...
//   --com COMn=DEVICE      the serial device for a PTT port name (repeatable)
//   --input-device DEVICE  capture from DEVICE (an id, a name or a unique part of a name)
//   --output-device DEVICE play on DEVICE; both override the devices remembered in the settings
//   --desktop              started from the desktop menu: work in the program's own folder
//                          under the user's data folder (created on first start) instead of
//                          the working directory, so KEYSETUP.INI and the stored texts have a
//                          home of their own
//   --logger-udp HOST:PORT send contacts to loggers at HOST:PORT for this run (switched on for
//                          the run), instead of the address set under Options > Loggers
//   --api PORT|off         the control API on PORT for this run, or not at all (0 or off)
//   --help
#pragma once

#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/devices/com_port_map.h"

struct ConsoleOptions {
    std::string audio_in;                  // empty: the sound card
    std::vector<int16_t> audio_in_samples; // the recording, read and checked while parsing
    std::string audio_out;                 // empty: the sound card
    std::string rx_log;                    // empty: no log
    std::string contact_log;               // --log; empty: the remembered or default one
    std::string input_device;              // as typed; empty: the remembered or default one
    std::string output_device;
    quavel::ComPortMap com_ports;
    bool desktop = false;   // --desktop: work in desktop_working_folder()
    std::string logger_udp; // --logger-udp, checked; empty: the remembered destination
    // --api: the control API's port for this run, 0 for none; unset: as remembered.
    std::optional<int> api_port;
};

// The console's own folder under the user's data folder ($XDG_DATA_HOME/quavel on Linux).
QString desktop_working_folder();
// Creates the folder (and its parents) when missing and makes it the working directory; an
// error text when that cannot be done.
std::string enter_desktop_working_folder(const QString& folder);

struct ParsedCommandLine {
    ConsoleOptions options;
    std::string error; // empty when the command line is usable
    bool ok() const { return error.empty(); }
};

// The help text when `arguments` ask for it (-h, --help), whatever else they hold; works before
// the application exists, so it needs no display.
std::optional<std::string> console_help(const QStringList& arguments);

// `arguments` starts with the program name and holds no options of Qt's own (the application
// takes those out). Checks every file named: the recording is read
// whole (a bad one is refused with read_wav's message), the log must open for appending, the
// output's folder must exist and be writable.
ParsedCommandLine parse_console_options(const QStringList& arguments);
