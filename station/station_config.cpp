#include "station/station_config.h"

#include "station/regular_file.h"
#include "tx/morse_id.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace quavel {

namespace {

// Bytes of a token kept for checking and quoting; the rest of a long token is only counted.
constexpr std::size_t kTokenHeadBytes = 24;
// Bytes of a refused token quoted back to the operator.
constexpr std::size_t kQuotedBytes = 20;
constexpr std::size_t kConfigMaxBytes = 1024 * 1024;
constexpr int kTempNameAttempts = 16;

// The whitespace that separates tokens when the file is read: the C locale's set.
bool is_separator(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

struct Token {
    std::string head;       // the first kTokenHeadBytes bytes
    std::size_t length = 0; // the whole token's length
};

// Collects the first three tokens of text that may arrive in pieces, never holding more than
// kTokenHeadBytes of any one of them, so a file of any size reads in bounded memory.
class TokenCollector {
public:
    void feed(std::string_view text) {
        for (const char c : text) {
            if (is_separator(c)) {
                in_token_ = false;
                continue;
            }
            if (!in_token_) {
                if (count_ == tokens_.size()) return;
                in_token_ = true;
                ++count_;
            }
            Token& t = tokens_[count_ - 1];
            if (t.head.size() < kTokenHeadBytes) t.head.push_back(c);
            ++t.length;
        }
    }
    // All three tokens are complete: the rest of the file does not matter.
    bool complete() const { return count_ == tokens_.size() && !in_token_; }
    std::size_t count() const { return count_; }
    const Token& token(std::size_t i) const { return tokens_[i]; }

private:
    std::array<Token, 3> tokens_;
    std::size_t count_ = 0;
    bool in_token_ = false;
};

// A refused token as the operator sees it: control and 8-bit bytes shown as "?", long tokens
// shortened.
std::string quoted(const Token& t) {
    std::string out = "\"";
    for (std::size_t i = 0; i < t.head.size() && i < kQuotedBytes; ++i) {
        const auto c = static_cast<unsigned char>(t.head[i]);
        out.push_back(c >= 32 && c < 127 ? static_cast<char>(c) : '?');
    }
    if (t.length > kQuotedBytes) out += "...";
    out += "\"";
    return out;
}

std::string join_lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        if (!out.empty()) out += '\n';
        out += line;
    }
    return out;
}

// "'#'", "'#' and '-'", "'#', '-' and '@'".
std::string listed(std::string_view characters) {
    std::string out;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        if (i > 0) out += i + 1 == characters.size() ? " and " : ", ";
        out += std::string("'") + characters[i] + "'";
    }
    return out;
}

std::vector<std::string> apply_tokens(const TokenCollector& tokens, std::string_view source,
                                      StationSettings& settings) {
    std::vector<std::string> problems;
    const std::string src(source);
    if (tokens.count() > 0) {
        const Token& t = tokens.token(0);
        if (t.length > kCallsignCapacity) {
            problems.push_back(src + ": the callsign " + quoted(t) + " is longer than " +
                               std::to_string(kCallsignCapacity) +
                               " characters; it is not used and the station has no callsign (" +
                               std::string(kNoCallsign) + ")");
            settings.callsign = kNoCallsign;
        } else {
            settings.callsign = t.head;
            if (const std::string left_out = characters_without_morse(t.head); !left_out.empty())
                problems.push_back(src + ": the Morse identification leaves out " +
                                   listed(left_out) + " of the callsign " + t.head);
        }
    }
    if (tokens.count() > 1) {
        const Token& t = tokens.token(1);
        if (t.length <= kPortNameCapacity && port_item_for_word(t.head)) {
            settings.port_name = t.head;
        } else {
            problems.push_back(src + ": the PTT port " + quoted(t) +
                               " is not one of COM1, COM2, COM3, COM4, NONE; no port is keyed");
            settings.port_name = kNoPort;
        }
    }
    if (tokens.count() > 2) {
        const Token& t = tokens.token(2);
        if (t.length <= kDelayWordCapacity && delay_item_for_word(t.head)) {
            settings.delay_word = t.head;
        } else {
            problems.push_back(src + ": the PTT delay " + quoted(t) +
                               " is not ON or NONE; no keying delay is used");
            settings.delay_word = kNoDelay;
        }
    }
    if (tokens.count() < 3) {
        static constexpr std::array<std::string_view, 3> kNames = {"callsign", "PTT port",
                                                                   "PTT delay"};
        std::string missing;
        for (std::size_t i = tokens.count(); i < kNames.size(); ++i) {
            if (!missing.empty()) missing += ", ";
            missing += kNames[i];
        }
        problems.push_back(src + ": the file holds no " + missing);
    }
    return problems;
}

} // namespace

std::vector<std::string> apply_config_text(std::string_view text, std::string_view source,
                                           StationSettings& settings) {
    TokenCollector tokens;
    tokens.feed(text);
    return apply_tokens(tokens, source, settings);
}

ConfigRead read_config_file(const std::filesystem::path& dir, StationSettings& settings) {
    ConfigRead out;
    const std::filesystem::path path = dir / kConfigFileName;
    const std::string shown = path.string();
    // Only a regular file, and only its first kConfigMaxBytes: the three settings stand at
    // its start, and nothing behind the name may hold the window's thread.
    const RegularFileRead file = read_regular_file(shown, kConfigMaxBytes, Oversize::Truncate);
    if (file.status == RegularFileRead::Status::Missing) return out;
    if (file.status == RegularFileRead::Status::Refused) {
        out.status = ConfigFileStatus::Unreadable;
        out.problems.push_back(shown + ": " + file.error);
        return out;
    }
    TokenCollector tokens;
    tokens.feed(file.bytes);
    out.status = ConfigFileStatus::Read;
    out.problems = apply_tokens(tokens, shown, settings);
    return out;
}

StartupConfig load_config_at_startup(const std::filesystem::path& dir, StationSettings& settings) {
    StartupConfig out;
    const ConfigRead read = read_config_file(dir, settings);
    switch (read.status) {
    case ConfigFileStatus::Missing:
        settings.callsign.clear();
        settings.port_name = kNoPort;
        out.message = OperatorMessage{"No Configuration File !\nRun Set Up if you want to Transmit",
                                      std::string(kStartupTitle)};
        break;
    case ConfigFileStatus::Unreadable:
        settings.callsign.clear();
        settings.port_name = kNoPort;
        out.message =
            OperatorMessage{"Cannot read the configuration file\n" + join_lines(read.problems) +
                                "\nRun Set Up if you want to Transmit",
                            std::string(kStartupTitle)};
        break;
    case ConfigFileStatus::Read:
        out.build_macros = true;
        if (!read.problems.empty()) {
            out.message = OperatorMessage{join_lines(read.problems) + "\nRun Set Up to correct it",
                                          std::string(kStartupTitle)};
        }
        break;
    }
    return out;
}

std::string_view port_word_for_item(int item) {
    if (item >= 0 && item < static_cast<int>(kPortWords.size()))
        return kPortWords[static_cast<std::size_t>(item)];
    return kNoPort;
}

std::string_view delay_word_for_item(int item) {
    if (item >= 0 && item < static_cast<int>(kDelayWords.size()))
        return kDelayWords[static_cast<std::size_t>(item)];
    return kNoDelay;
}

std::optional<int> port_item_for_word(std::string_view word) {
    for (std::size_t i = 0; i < kPortWords.size(); ++i)
        if (kPortWords[i] == word) return static_cast<int>(i);
    return std::nullopt;
}

std::optional<int> delay_item_for_word(std::string_view word) {
    for (std::size_t i = 0; i < kDelayWords.size(); ++i)
        if (kDelayWords[i] == word) return static_cast<int>(i);
    return std::nullopt;
}

char callsign_key(char typed) {
    if (typed >= 'a' && typed <= 'z') return static_cast<char>(typed - ('a' - 'A'));
    return typed;
}

namespace {

std::string without_whitespace(std::string_view field) {
    std::string out;
    for (const char c : field)
        if (!is_separator(c)) out.push_back(c);
    return out;
}

} // namespace

std::string clean_callsign_field(std::string_view field) {
    std::string out = without_whitespace(field);
    if (out.size() > kCallsignCapacity) out.resize(kCallsignCapacity);
    return out;
}

std::string setup_file_text(const SetupPanelEntry& entry) {
    std::string text = clean_callsign_field(entry.callsign_field);
    // An empty field gets "NOCALL" and a blank, and then the blank before the port word: the
    // two blanks are what files written by every version of the program hold.
    if (text.empty()) text = std::string(kNoCallsign) + " ";
    text += ' ';
    text += port_word_for_item(entry.port_item);
    text += ' ';
    text += delay_word_for_item(entry.delay_item);
    return text;
}

bool write_config_file(const std::filesystem::path& dir, std::string_view text,
                       std::string& error) {
    const std::filesystem::path target = dir / kConfigFileName;
    const std::string cannot = "Cannot create file " + target.string() + "\n";
    // Exclusive creation, so a leftover temporary file (or anything else of that name) is never
    // written through; a fresh name is tried instead.
    std::filesystem::path temp;
    std::FILE* f = nullptr;
    for (int attempt = 0; attempt < kTempNameAttempts && f == nullptr; ++attempt) {
        temp = dir / (std::string(kConfigFileName) + ".tmp" +
                      (attempt == 0 ? std::string() : std::to_string(attempt)));
        f = std::fopen(temp.string().c_str(), "wbx");
        if (f == nullptr && errno != EEXIST) {
            error = cannot + std::strerror(errno);
            return false;
        }
    }
    if (f == nullptr) {
        error = cannot + "no free temporary name beside it";
        return false;
    }
    // A full disk often shows only at the flush or the close.
    int failure = 0;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fflush(f) != 0)
        failure = errno != 0 ? errno : EIO;
    if (std::fclose(f) != 0 && failure == 0) failure = errno != 0 ? errno : EIO;
    if (failure != 0) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        error = cannot + std::strerror(failure);
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        error = cannot + ec.message();
        return false;
    }
    return true;
}

SetupConfirmation confirm_setup(const std::filesystem::path& dir, const SetupPanelEntry& entry,
                                StationSettings& settings) {
    SetupConfirmation out;
    std::vector<std::string> notes;
    const std::string typed = without_whitespace(entry.callsign_field);
    if (typed.size() > kCallsignCapacity) {
        notes.push_back("The callsign " + typed + " is longer than " +
                        std::to_string(kCallsignCapacity) + " characters; it was cut to " +
                        clean_callsign_field(typed));
    }

    std::string error;
    if (!write_config_file(dir, setup_file_text(entry), error)) {
        out.message = OperatorMessage{error, std::string(kStartupTitle)};
        return out;
    }

    // The settings become what the file holds, read back exactly as at start-up.
    StationSettings read_back = settings;
    const ConfigRead read = read_config_file(dir, read_back);
    if (read.status != ConfigFileStatus::Read) {
        notes.push_back("The configuration file was written but cannot be read back");
        notes.insert(notes.end(), read.problems.begin(), read.problems.end());
        out.message = OperatorMessage{join_lines(notes), std::string(kStartupTitle)};
        return out;
    }
    settings = read_back;
    out.saved = true;
    out.apply_port = true;
    notes.insert(notes.end(), read.problems.begin(), read.problems.end());
    if (!notes.empty())
        out.message = OperatorMessage{join_lines(notes), std::string(kStartupTitle)};
    return out;
}

} // namespace quavel
