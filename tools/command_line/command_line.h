// The one way the headless programs read their command lines: CLI11 does the reading (long and
// short names, "--name=value", "--" before operands), this class says what went wrong in the
// programs' own words. Every refusal is one line "PROGRAM: what is wrong" on standard error, the
// hint after it, and exit status 2. Values arrive as typed; each option checks its own and
// names the fault, in the order the options were given.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace quavel::tools {

inline constexpr int kUsageExitCode = 2;

class CommandLine {
public:
    // Checks and keeps one value; returns what is wrong with it, empty when it is taken.
    using Take = std::function<std::string(const std::string& value)>;
    // The same for an option that takes several values at once (`--trace SPEED CHANNEL SNR`).
    using TakeSeveral = std::function<std::string(const std::vector<std::string>& values)>;

    // `program` starts every message ("quavel-modem tx"); `hint` is the line printed after a
    // refusal ("Try 'quavel-modem tx --help'."), none when empty.
    CommandLine(std::string program, std::string hint);
    ~CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // `names` as CLI11 spells them: "-o,--output", "--speed". An option named twice on one
    // command line keeps the last value unless refuse_repeats() was called.
    void flag(const std::string& names, bool& out);
    // `missing` is the refusal when the value is absent; by default "NAME needs a value".
    void option(const std::string& names, Take take, std::string missing = {});
    void option(const std::string& names, int value_count, TakeSeveral take, std::string missing);
    // The operands (everything that is not an option, and everything after "--").
    void operands(std::vector<std::string>& out);
    // -h and --help print `usage` on standard output and end the command with status 0.
    void help(std::function<void(std::FILE*)> usage);
    // An option given twice is refused: "option '--snr' given twice".
    void refuse_repeats() { refuse_repeats_ = true; }

    // Reads `args` (without the program name). Empty when the command goes on; otherwise the
    // exit status it ends with: 0 after the help, kUsageExitCode after a refusal (printed).
    std::optional<int> parse(const std::vector<std::string>& args);
    // Prints a refusal found after parsing and returns kUsageExitCode.
    int usage_error(const std::string& message) const;

private:
    struct Valued {
        CLI::Option* option;
        int value_count;
        TakeSeveral take;
        std::string missing;
    };
    std::optional<std::string> read(std::vector<std::string> args);
    std::string explain(const std::string& cli_message) const;
    std::string apply_in_order();

    std::string program_;
    std::string hint_;
    std::unique_ptr<CLI::App> app_;
    std::vector<std::pair<CLI::Option*, bool*>> flags_;
    std::vector<Valued> valued_;
    CLI::Option* operands_option_ = nullptr;
    std::vector<std::string>* operands_ = nullptr;
    CLI::Option* help_option_ = nullptr;
    std::function<void(std::FILE*)> usage_;
    bool refuse_repeats_ = false;
};

} // namespace quavel::tools
