#include "tools/command_line/command_line.h"

#include <algorithm>
#include <map>
#include <utility>

#include <CLI/CLI.hpp>

namespace quavel::tools {

namespace {

// More than any command line can hold (the kernel's limit on arguments is far below).
constexpr int kMaxOperands = 1 << 30;

// An option as it was typed, without its "=value".
std::string option_name(const std::string& arg) {
    return arg.substr(0, arg.find('='));
}

} // namespace

CommandLine::CommandLine(std::string program, std::string hint)
    : program_(std::move(program)), hint_(std::move(hint)), app_(std::make_unique<CLI::App>()) {
    app_->set_help_flag();
    // Unknown options are gathered rather than thrown, so that the refusal can name them.
    app_->allow_extras(true);
}

CommandLine::~CommandLine() = default;

void CommandLine::flag(const std::string& names, bool& out) {
    CLI::Option* opt = app_->add_flag(names);
    opt->disable_flag_override();
    flags_.emplace_back(opt, &out);
}

void CommandLine::option(const std::string& names, Take take, std::string missing) {
    option(
        names, 1,
        [take = std::move(take)](const std::vector<std::string>& values) {
            return take(values.front());
        },
        std::move(missing));
}

void CommandLine::option(const std::string& names, int value_count, TakeSeveral take,
                         std::string missing) {
    CLI::Option* opt = app_->add_option(names);
    opt->type_size(value_count);
    opt->expected(1);
    // Every occurrence is kept; the values are applied one occurrence at a time, in order.
    opt->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    if (missing.empty()) missing = opt->get_name() + " needs a value";
    valued_.push_back(Valued{opt, value_count, std::move(take), std::move(missing)});
}

void CommandLine::operands(std::vector<std::string>& out) {
    operands_option_ = app_->add_option("operands");
    // A positional takes arguments while it has fewer than it expects, or without limit when
    // it allows extra arguments; but then CLI11 reads "[A,B]" as a list of two. So it expects
    // more operands than any command line holds, and allows no extras.
    operands_option_->expected(kMaxOperands);
    operands_option_->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    operands_option_->allow_extra_args(false);
    operands_ = &out;
}

void CommandLine::help(std::function<void(std::FILE*)> usage) {
    help_option_ = app_->add_flag("-h,--help");
    usage_ = std::move(usage);
}

int CommandLine::usage_error(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\n", program_.c_str(), message.c_str());
    if (!hint_.empty()) std::fprintf(stderr, "%s\n", hint_.c_str());
    return kUsageExitCode;
}

std::optional<int> CommandLine::parse(const std::vector<std::string>& args) {
    if (const auto error = read(args)) return usage_error(*error);
    if (help_option_ != nullptr && help_option_->count() > 0) {
        usage_(stdout);
        return 0;
    }
    if (const std::string error = apply_in_order(); !error.empty()) return usage_error(error);
    return std::nullopt;
}

// Runs CLI11 over the arguments; the refusal, if any, in this program's words.
std::optional<std::string> CommandLine::read(std::vector<std::string> args) {
    // CLI11 reads "--name=" as "--name" alone: an option then takes the next argument as its
    // value, a flag takes nothing. Here it is an empty value.
    for (size_t i = 0; i < args.size() && args[i] != "--"; ++i) {
        const std::string& arg = args[i];
        // CLI11 takes "---x" for an operand; it is a mistyped option.
        if (arg.starts_with("---")) return "unknown option '" + option_name(arg) + "'";
        if (arg.size() < 4 || !arg.starts_with("--") || arg.find('=') + 1 != arg.size()) continue;
        const std::string name = arg.substr(2, arg.size() - 3);
        for (const auto& [flag_option, out] : flags_) {
            if (flag_option->check_lname(name)) return "--" + name + " takes no value";
        }
        const bool valued = std::any_of(valued_.begin(), valued_.end(), [&](const Valued& v) {
            return v.option->check_lname(name);
        });
        if (valued) {
            args[i].pop_back();
            args.insert(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, std::string());
            ++i;
        }
    }
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app_->parse(reversed);
    } catch (const CLI::ParseError& e) {
        return explain(e.what());
    }
    for (const std::string& extra : app_->remaining()) {
        // CLI11 passes on the "--" that ends the options.
        if (extra == "--") continue;
        if (extra.size() > 1 && extra[0] == '-')
            return "unknown option '" + option_name(extra) + "'";
        return "unexpected argument '" + extra + "'";
    }
    return std::nullopt;
}

// CLI11 refuses an option without its value, or a flag given a value, in its own words, which
// start with the option's name.
std::string CommandLine::explain(const std::string& cli_message) const {
    for (const Valued& v : valued_) {
        if (cli_message.starts_with(v.option->get_name() + ":")) return v.missing;
    }
    for (const auto& [opt, out] : flags_) {
        for (const std::string& name : opt->get_lnames()) {
            if (cli_message.starts_with(name + " was given a disallowed flag override"))
                return "--" + name + " takes no value";
        }
    }
    return cli_message;
}

std::string CommandLine::apply_in_order() {
    std::map<const CLI::Option*, size_t> seen; // values taken so far, per option
    for (const CLI::Option* opt : app_->parse_order()) {
        for (auto& [flag_option, out] : flags_) {
            if (flag_option == opt) *out = true;
        }
        for (const Valued& v : valued_) {
            if (v.option != opt) continue;
            const size_t taken = ++seen[opt];
            const auto count = static_cast<size_t>(v.value_count);
            if (taken % count != 0) break;
            if (refuse_repeats_ && taken > count)
                return "option '" + opt->get_name() + "' given twice";
            const std::vector<std::string>& all = opt->results();
            const auto end = all.begin() + static_cast<std::ptrdiff_t>(taken);
            const std::vector<std::string> values(end - static_cast<std::ptrdiff_t>(count), end);
            if (std::string error = v.take(values); !error.empty()) return error;
        }
    }
    if (operands_ != nullptr) *operands_ = operands_option_->results();
    return {};
}

} // namespace quavel::tools
