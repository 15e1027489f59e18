// The console's command line: what it accepts, and the clear refusals of everything else.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/wav/wav_file.h"
#include "ui/console_options.h"
#include "ui_support.h"

namespace {

class CommandLine : public ::testing::Test {
protected:
    ParsedCommandLine parse(QStringList args) {
        args.prepend("quavel");
        return parse_console_options(args);
    }
    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }
    QString good_wav() {
        std::string error;
        const std::vector<int16_t> samples(4096, 100);
        EXPECT_TRUE(quavel::write_wav(path("in.wav").toStdString(), samples, error)) << error;
        return path("in.wav");
    }

    QTemporaryDir dir;
};

TEST_F(CommandLine, NoOptionsMeansTheSoundCard) {
    const ParsedCommandLine parsed = parse({});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_TRUE(parsed.options.audio_in.empty());
    EXPECT_TRUE(parsed.options.audio_out.empty());
    EXPECT_TRUE(parsed.options.rx_log.empty());
    EXPECT_TRUE(parsed.options.com_ports.empty());
}

TEST_F(CommandLine, ApiTakesAPortOrOffForThisRun) {
    EXPECT_FALSE(parse({}).options.api_port);
    EXPECT_EQ(parse({"--api", "52010"}).options.api_port, 52010);
    EXPECT_EQ(parse({"--api", "off"}).options.api_port, 0);
    EXPECT_EQ(parse({"--api", "0"}).options.api_port, 0);
}

TEST_F(CommandLine, HelpListsEveryOptionWhateverElseIsGiven) {
    for (const QStringList& args :
         {QStringList{"quavel", "--help"}, QStringList{"quavel", "-h", "--bogus", "x"}}) {
        const std::optional<std::string> help = console_help(args);
        ASSERT_TRUE(help.has_value());
        EXPECT_EQ(help->rfind("Usage: quavel [options]", 0), 0u) << *help;
        for (const char* option : {"--audio-in", "--audio-out", "--rx-log", "--com",
                                   "--input-device", "--output-device", "--help"})
            EXPECT_NE(help->find(option), std::string::npos) << option;
    }
    EXPECT_FALSE(console_help({"quavel", "--rx-log", "help"}).has_value());
}

TEST_F(CommandLine, AcceptsEveryOptionTogether) {
    const QString in = good_wav();
    const ParsedCommandLine parsed =
        parse({"--audio-in", in, "--audio-out", path("out.wav"), "--rx-log", path("rx.txt"),
               "--com", "COM1=/dev/ttyUSB0", "--com", "com3=/dev/ttyACM1"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(parsed.options.audio_in, in.toStdString());
    EXPECT_EQ(parsed.options.audio_in_samples.size(), 4096u);
    EXPECT_EQ(parsed.options.audio_out, path("out.wav").toStdString());
    EXPECT_EQ(parsed.options.rx_log, path("rx.txt").toStdString());
    EXPECT_EQ(parsed.options.com_ports.device_for("COM1"), "/dev/ttyUSB0");
    EXPECT_EQ(parsed.options.com_ports.device_for("COM3"), "/dev/ttyACM1");
    // Checking the output's folder writes nothing there.
    EXPECT_FALSE(QFile::exists(path("out.wav")));
}

TEST_F(CommandLine, DevicesAreKeptAsTypedForChoosingOnceTheSoundSystemAnswers) {
    const ParsedCommandLine parsed = parse({"--input-device", "USB Mic", "--output-device", "rig"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(parsed.options.input_device, "USB Mic");
    EXPECT_EQ(parsed.options.output_device, "rig");
}

TEST_F(CommandLine, ExistingLogIsKeptForAppending) {
    write_file(dir.path(), "rx.txt", "earlier copy");
    ASSERT_TRUE(parse({"--rx-log", path("rx.txt")}).ok());
    EXPECT_EQ(read_file(dir.path(), "rx.txt"), "earlier copy");
}

struct Refusal {
    const char* case_name;
    QStringList args; // "@" is replaced by the test's folder
    const char* message_part;
};

class CommandLineRefusal : public CommandLine, public ::testing::WithParamInterface<Refusal> {};

TEST_P(CommandLineRefusal, SaysWhatIsWrong) {
    write_file(dir.path(), "mono44k.wav", "");
    {
        std::string error;
        const std::vector<int16_t> samples(100, 0);
        ASSERT_TRUE(quavel::write_wav(path("ok.wav").toStdString(), samples, error));
    }
    write_file(dir.path(), "text.wav", "this is not a recording");
    QStringList args = GetParam().args;
    for (QString& a : args)
        a.replace("@", dir.path());
    const ParsedCommandLine parsed = parse(args);
    EXPECT_FALSE(parsed.ok());
    EXPECT_NE(parsed.error.find(GetParam().message_part), std::string::npos) << parsed.error;
}

INSTANTIATE_TEST_SUITE_P(
    Options, CommandLineRefusal,
    ::testing::Values(
        Refusal{"UnknownOption", {"--speed", "4"}, "speed"},
        Refusal{"MissingValue", {"--audio-in"}, "audio-in"},
        Refusal{"StrayArgument", {"extra"}, "extra"},
        Refusal{"MissingRecording", {"--audio-in", "@/none.wav"}, "none.wav"},
        Refusal{"NotARecording", {"--audio-in", "@/text.wav"}, "text.wav"},
        Refusal{"EmptyRecording", {"--audio-in", "@/mono44k.wav"}, "mono44k.wav"},
        Refusal{"RecordingTwice", {"--audio-in", "@/ok.wav", "--audio-in", "@/ok.wav"}, "once"},
        Refusal{"OutputFolderMissing", {"--audio-out", "@/no/such/out.wav"}, "does not exist"},
        Refusal{"OutputIsAFolder", {"--audio-out", "@"}, "folder"},
        Refusal{"OutputOverwritesInput",
                {"--audio-in", "@/ok.wav", "--audio-out", "@/ok.wav"},
                "overwrite"},
        Refusal{"LogIsAFolder", {"--rx-log", "@"}, "receive log"},
        Refusal{"LogFolderMissing", {"--rx-log", "@/no/such/rx.txt"}, "receive log"},
        Refusal{"ComWithoutDevice", {"--com", "COM1="}, "COMn=DEVICE"},
        Refusal{"ComNotAPort", {"--com", "LPT1=/dev/lp0"}, "COMn=DEVICE"},
        Refusal{"ComTwice", {"--com", "COM2=/dev/a", "--com", "COM2=/dev/b"}, "more than once"},
        Refusal{"DeviceEmpty", {"--output-device", ""}, "needs a device"},
        Refusal{"DeviceTwice", {"--input-device", "a", "--input-device", "b"}, "once"},
        Refusal{
            "DeviceAndRecording", {"--audio-in", "@/ok.wav", "--input-device", "a"}, "give one"},
        Refusal{"DeviceAndFile", {"--audio-out", "@/out.wav", "--output-device", "a"}, "give one"},
        Refusal{"ApiNotAPort", {"--api", "65536"}, "--api"},
        Refusal{"ApiWord", {"--api", "on"}, "--api"}),
    [](const auto& param_info) { return std::string(param_info.param.case_name); });

} // namespace

namespace {

// --desktop: the folder is made on first start (parents too) and becomes the working folder;
// a relative log named on the command line still lands where the operator started.
TEST_F(CommandLine, DesktopFolderIsMadeAndEnteredAndLogsStayWhereNamed) {
    const QString started = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const ParsedCommandLine parsed = parse({"--desktop", "--rx-log", "rx.log"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_TRUE(parsed.options.desktop);
    const QString folder = path("data/quavel");
    EXPECT_EQ(enter_desktop_working_folder(folder), "");
    EXPECT_EQ(QDir::currentPath(), folder);
    EXPECT_EQ(parsed.options.rx_log, path("rx.log").toStdString());
    // A file where the folder should be: a clear refusal.
    write_file(dir.path(), "blocked", "x");
    EXPECT_NE(enter_desktop_working_folder(path("blocked/quavel")).find("blocked"),
              std::string::npos);
    QDir::setCurrent(started);
}

} // namespace
