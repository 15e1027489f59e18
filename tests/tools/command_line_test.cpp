#include "support/param_name.h"
#include "tools/command_line/command_line.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace quavel::tools {
namespace {

// A command with one option of each kind, recording what it was given.
struct Command {
    Command() : cli("prog", "Try 'prog --help'.") {
        cli.help([this](std::FILE*) { helped = true; });
        cli.flag("-v,--verbose", verbose);
        cli.option("-n,--number", [this](const std::string& v) -> std::string {
            if (v.empty() || v.find_first_not_of("-0123456789") != std::string::npos)
                return "--number must be a number, not '" + v + "'";
            numbers.push_back(v);
            return {};
        });
        cli.option(
            "--name",
            [this](const std::string& v) -> std::string {
                name = v;
                return {};
            },
            "--name needs a name");
        cli.option(
            "--triple", 3,
            [this](const std::vector<std::string>& v) -> std::string {
                triple = v;
                return {};
            },
            "--triple needs three");
        cli.operands(operands);
    }
    // The exit status parse() ends with (-1 to go on); what it printed goes to `err`.
    int run(const std::vector<std::string>& args) {
        testing::internal::CaptureStderr();
        const auto code = cli.parse(args);
        err = testing::internal::GetCapturedStderr();
        return code.value_or(-1);
    }

    CommandLine cli;
    bool helped = false;
    bool verbose = false;
    std::vector<std::string> numbers;
    std::string name = "unset";
    std::vector<std::string> triple;
    std::vector<std::string> operands;
    std::string err;
};

TEST(CommandLine, TakesOptionsAndOperandsAsTyped) {
    Command c;
    ASSERT_EQ(c.run({"A", "-v", "--number", "-5", "", "-n7", "--name=", "[B,C]", "-", "--triple",
                     "1", "x", "-3", "--", "--verbose", "-n"}),
              -1)
        << c.err;
    EXPECT_TRUE(c.verbose);
    EXPECT_EQ(c.numbers, (std::vector<std::string>{"-5", "7"}));
    EXPECT_EQ(c.name, "");
    EXPECT_EQ(c.triple, (std::vector<std::string>{"1", "x", "-3"}));
    EXPECT_EQ(c.operands, (std::vector<std::string>{"A", "", "[B,C]", "-", "--verbose", "-n"}));
    EXPECT_TRUE(c.err.empty());
}

TEST(CommandLine, HelpEndsTheCommandWithSuccess) {
    Command c;
    EXPECT_EQ(c.run({"x", "--help"}), 0);
    EXPECT_TRUE(c.helped);
}

struct Refusal {
    std::vector<std::string> args;
    const char* message;
};

class CommandLineRefusal : public testing::TestWithParam<Refusal> {};

// Every refusal is the program's name, the fault, the hint, and the usage status.
TEST_P(CommandLineRefusal, NamesTheFault) {
    Command c;
    EXPECT_EQ(c.run(GetParam().args), kUsageExitCode);
    EXPECT_EQ(c.err, std::string("prog: ") + GetParam().message + "\nTry 'prog --help'.\n");
}

INSTANTIATE_TEST_SUITE_P(Faults, CommandLineRefusal,
                         testing::Values(Refusal{{"--bogus", "x"}, "unknown option '--bogus'"},
                                         Refusal{{"--bogus=3"}, "unknown option '--bogus'"},
                                         Refusal{{"-x"}, "unknown option '-x'"},
                                         Refusal{{"---x=1"}, "unknown option '---x'"},
                                         Refusal{{"a", "--number"}, "--number needs a value"},
                                         Refusal{{"--name"}, "--name needs a name"},
                                         Refusal{{"--triple", "1", "2"}, "--triple needs three"},
                                         Refusal{{"--verbose=yes"}, "--verbose takes no value"},
                                         Refusal{{"--verbose="}, "--verbose takes no value"},
                                         // The first fault in the order given is the one named.
                                         Refusal{{"-n", "x", "-n", "y"},
                                                 "--number must be a number, not 'x'"}),
                         [](const auto& param_info) {
                             std::string args;
                             for (const std::string& a : param_info.param.args)
                                 args += a + " ";
                             return test::name_of_text(args);
                         });

TEST(CommandLine, RefusesRepeatsOnlyWhenAsked) {
    Command lenient;
    ASSERT_EQ(lenient.run({"-n", "1", "--number", "2"}), -1);
    EXPECT_EQ(lenient.numbers, (std::vector<std::string>{"1", "2"}));

    Command strict;
    strict.cli.refuse_repeats();
    EXPECT_EQ(strict.run({"-n", "1", "--number", "2"}), kUsageExitCode);
    EXPECT_NE(strict.err.find("option '--number' given twice"), std::string::npos) << strict.err;
}

} // namespace
} // namespace quavel::tools
