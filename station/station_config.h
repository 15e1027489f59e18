// The station's three settings (callsign, keying port, keying delay), the configuration file
// "KEYSETUP.INI" that keeps them between runs, and the logic of the setup panel. Qt-free: the
// window keeps the widgets and passes their contents in; everything that touches the file or
// decides what the settings become is here.
//
// The file is three tokens, callsign, port word and delay word, separated by one blank (two
// after "NOCALL" when the callsign field was left empty) with no line ending after the last,
// e.g. "NOCALL  COM1 NONE" or "G4ABC COM2 ON". Reading takes the first three runs of
// non-whitespace separated by any whitespace, so hand-edited files with tabs or line breaks
// work too; a token the file lacks leaves its setting as it was.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "station/operator_message.h"

namespace quavel {

inline constexpr std::string_view kConfigFileName = "KEYSETUP.INI";

// Longest token each setting holds, in bytes. Longer tokens in the file are refused whole.
inline constexpr std::size_t kCallsignCapacity = 14;
inline constexpr std::size_t kPortNameCapacity = 4;
inline constexpr std::size_t kDelayWordCapacity = 4;

// The callsign stored when the field was left empty; the Morse identification refuses it.
inline constexpr std::string_view kNoCallsign = "NOCALL";

// Port words by "PTT Function" item 0..4, and delay words by "PTT Delay" item 0..1 (the "OFF"
// item is stored as "NONE").
inline constexpr std::array<std::string_view, 5> kPortWords = {"COM1", "COM2", "COM3", "COM4",
                                                               "NONE"};
inline constexpr std::array<std::string_view, 2> kDelayWords = {"NONE", "ON"};
inline constexpr std::string_view kNoPort = "NONE";
inline constexpr std::string_view kNoDelay = "NONE";

struct StationSettings {
    std::string callsign;           // at most 14 characters; "NOCALL" refuses the identification
    std::string port_name = "NONE"; // "COM1".."COM4" or "NONE"
    std::string delay_word;         // "ON" makes the first playback buffer silent
};

// Applies the first three tokens of `text` to `settings` and returns one line per problem,
// each naming `source` (the file) and the token. A token longer than its capacity, or a port
// or delay word that is not one of the known words, is refused: the callsign becomes "NOCALL"
// (so nothing but a configured callsign goes on the air and the identification is refused), the
// port "NONE" (nothing is keyed), the delay "NONE". Missing tokens are reported and leave their
// settings as they were.
std::vector<std::string> apply_config_text(std::string_view text, std::string_view source,
                                           StationSettings& settings);

enum class ConfigFileStatus { Missing, Read, Unreadable };

struct ConfigRead {
    ConfigFileStatus status = ConfigFileStatus::Missing;
    // Unreadable: why. Read: the problems apply_config_text found (often none).
    std::vector<std::string> problems;
};

// Reads `dir`/KEYSETUP.INI into `settings`. Only a file that was read changes them.
ConfigRead read_config_file(const std::filesystem::path& dir, StationSettings& settings);

// Start-up (the window's first activation): with no file, or one that cannot be read, the
// callsign becomes empty, the port "NONE" (the window shows "NONE" in "PTT Function"), the
// delay stays, and the macros are not built. A file that was read asks for the activation form
// of the macro texts. `message`, when set, is for a warning box.
struct StartupConfig {
    bool build_macros = false;
    std::optional<OperatorMessage> message;
};
StartupConfig load_config_at_startup(const std::filesystem::path& dir, StationSettings& settings);

// --- The setup panel ---

// What the panel's controls hold when OK is pressed.
struct SetupPanelEntry {
    std::string callsign_field; // the whole text of the callsign field
    int port_item = 4;          // "PTT Function" selection, -1 (none) .. 4
    int delay_item = 0;         // "PTT Delay" selection, -1 (none) .. 1
};

// Words written for a radio-group selection; no selection (or any other index) writes "NONE".
std::string_view port_word_for_item(int item);
std::string_view delay_word_for_item(int item);
// Selection shown when the panel opens; nullopt (keep the selection) for an unknown word.
// Exact, case-sensitive comparison.
std::optional<int> port_item_for_word(std::string_view word);
std::optional<int> delay_item_for_word(std::string_view word);

// Typing in the callsign field: "a".."z" become capitals, everything else passes unchanged.
char callsign_key(char typed);

// The callsign as written: every whitespace character removed (a blank or line break would
// split it into two tokens and shift the port and delay words), then at most 14 characters.
std::string clean_callsign_field(std::string_view field);

// The exact file text the OK button writes.
std::string setup_file_text(const SetupPanelEntry& entry);

// Replaces `dir`/KEYSETUP.INI with `text`: written to a temporary file beside it and renamed
// into place, so the old file stays whole when anything fails. False with `error` set.
bool write_config_file(const std::filesystem::path& dir, std::string_view text, std::string& error);

// The OK button: writes the file, reads it back into `settings`. `saved` tells the caller to
// build the setup form of the macro texts; `apply_port` to apply the keying port named in the
// settings: (re)open it, or release and close the one open for "NONE". When the file cannot be
// written nothing else happens and the settings keep their values. `message`, when set, is for a
// warning box (also when saved: a cut callsign).
struct SetupConfirmation {
    bool saved = false;
    bool apply_port = false;
    std::optional<OperatorMessage> message;
};
SetupConfirmation confirm_setup(const std::filesystem::path& dir, const SetupPanelEntry& entry,
                                StationSettings& settings);

} // namespace quavel
