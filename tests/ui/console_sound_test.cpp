// The console on the air through the sound server: the operator clicks "Tx ON" and types, and
// what the Qt sound output plays is captured by 'parecord' and then copied by 'quavel-modem rx',
// as a second station would. The console plays into a null sink of its own, so that other
// programs playing on the same server at the same time are not heard. Skipped when no sound
// server answers.
#include <QAudioDevice>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QMediaDevices>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <unistd.h>

#include "platform/hamlib/hamlib_ptt.h"
#include "platform/qt/qt_audio_input.h"
#include "platform/qt/qt_audio_output.h"
#include "support/rigctld.h"
#include "ui/app_settings.h"
#include "ui/console_devices.h"
#include "ui/console_options.h"
#include "ui/memo.h"
#include "ui/radio_group.h"
#include "ui/rig_panel.h"
#include "ui_support.h"

namespace {

// Runs `pactl args`; its output, or nothing when it failed.
std::optional<QByteArray> pactl(const QStringList& args) {
    QProcess p;
    p.start("pactl", args);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return p.readAllStandardOutput().trimmed();
}

bool wait_until(const std::function<bool()>& done, int timeout_ms) {
    for (int waited = 0; !done() && waited < timeout_ms; waited += 20)
        QTest::qWait(20);
    return done();
}

class ConsoleSoundServer : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        if (!pactl({"info"}))
            GTEST_SKIP() << "no sound server answers 'pactl info' "
                            "(tools/sound-server.sh start runs one)";
        sink_name = QString("quavel_console_test_%1").arg(::getpid());
        module = pactl({"load-module", "module-null-sink", "sink_name=" + sink_name, "rate=8000",
                        "channels=1"});
        if (!module) GTEST_SKIP() << "the sound server refused a null sink";
        // Qt hears of the new sink from the server a moment later.
        const bool listed = wait_until(
            [&] {
                for (const QAudioDevice& d : QMediaDevices::audioOutputs())
                    if (d.id() == sink_name.toUtf8()) return true;
                return false;
            },
            5000);
        if (!listed) GTEST_SKIP() << "Qt does not list the null sink " << sink_name.toStdString();
    }
    void TearDown() override {
        FormTest::TearDown();
        if (mic_module) pactl({"unload-module", QString::fromUtf8(*mic_module)});
        if (module) pactl({"unload-module", QString::fromUtf8(*module)});
    }

    // Qt lists no monitor sources, so the sink's monitor is remapped as an ordinary input,
    // `mic_name`. False when the server refuses.
    bool remap_monitor_as_input() {
        mic_name = sink_name + "_mic";
        mic_module = pactl({"load-module", "module-remap-source", "source_name=" + mic_name,
                            "master=" + sink_name + ".monitor"});
        return mic_module.has_value();
    }
    // Qt hears of the remapped input a moment later.
    bool input_listed() const {
        return wait_until(
            [&] {
                for (const QAudioDevice& d : QMediaDevices::audioInputs())
                    if (d.id() == mic_name.toUtf8()) return true;
                return false;
            },
            5000);
    }

    QString sink_name;
    std::optional<QByteArray> module;
    QString mic_name;
    std::optional<QByteArray> mic_module;
    // Keying devices outlive the window (TearDown), which releases the transmitter as it goes.
    std::unique_ptr<quavel::test::Rigctld> rig;
    quavel::HamlibPtt cat;
};

TEST_F(ConsoleSoundServer, TypedTextIsCopiedFromWhatThePlaybackPlays) {
    // The other station: a capture of the sink's monitor, copied afterwards.
    QProcess recorder;
    recorder.start("parecord", {"--raw", "--format=s16le", "--rate=8000", "--channels=1",
                                "--device=" + sink_name + ".monitor", path("air.raw")});
    ASSERT_TRUE(recorder.waitForStarted(10000)) << "parecord cannot be started";

    quavel::QtAudioOutput sound(quavel::QtAudioChoice{sink_name.toUtf8(), {}});
    write_file(dir.path(), "KEYSETUP.INI", "G4ABC NONE NONE");
    create_form();
    form->station().set_audio_output(&sound);
    // The rig keyed by CAT through hamlib's dummy rig, where hamlib's programs are installed.
    rig = std::make_unique<quavel::test::Rigctld>();
    const bool keying = rig->skip_reason().empty();
    if (keying) {
        settings->set_ptt_method(AppSettings::PttMethod::Cat);
        settings->set_rig_port(QString::fromStdString(rig->address()));
        form->set_keying_devices(nullptr, &cat);
    } else {
        std::cerr << "note: not keying: " << rig->skip_reason() << "\n";
    }
    activate();
    form->RadioGroup3->button(2)->click(); // 4 Quavel/sec
    form->Button1->click();
    ASSERT_TRUE(sound.is_open()) << sound.error();
    if (keying) {
        EXPECT_EQ(rig->ptt(), true) << cat.error();
    }
    // A few idle symbols first, as an operator lets the other station's receiver lock on.
    QTest::qWait(1500);
    QTest::keyClicks(form->Memo4, "cq de g4abc k");
    EXPECT_TRUE(wait_until([&] { return form->Memo4->toPlainText().isEmpty(); }, 20000));
    // The last characters are still on their way through two playback buffers and the
    // device's own buffer.
    QTest::qWait(2500);
    form->Button1->click();
    if (keying) {
        EXPECT_EQ(rig->ptt(), false);
    }
    QTest::qWait(500);
    recorder.terminate();
    ASSERT_TRUE(recorder.waitForFinished(10000));
    QProcess receiver;
    receiver.setStandardInputFile(path("air.raw"));
    receiver.start(QUAVEL_MODEM_TOOL, {"rx", "--speed", "4", "-"});
    ASSERT_TRUE(receiver.waitForFinished(20000));
    const std::string copy = receiver.readAllStandardOutput().toStdString();
    EXPECT_NE(copy.find("CQ DE G4ABC K"), std::string::npos)
        << "copied: " << copy << "\n"
        << receiver.readAllStandardError().toStdString() << "playback underruns "
        << sound.underruns() << ", starved " << sound.starved();
    EXPECT_EQ(sound.buffers_dropped(), 0u);
}

// The console as the receiving station: another program plays a call into the sink, and the
// console captures the sink's monitor through the Qt sound input and prints the call in Memo1.
TEST_F(ConsoleSoundServer, ConsoleCopiesWhatItsInputHears) {
    if (!remap_monitor_as_input())
        GTEST_SKIP() << "the sound server refused to remap the sink's monitor";
    if (!input_listed()) GTEST_SKIP() << "Qt does not list the monitor " << mic_name.toStdString();

    QProcess tx;
    tx.start(QUAVEL_MODEM_TOOL, {"tx", "--speed", "4", "-o", path("call.wav"), "CQ DE G4XYZ K"});
    ASSERT_TRUE(tx.waitForFinished(20000));
    ASSERT_EQ(tx.exitCode(), 0) << tx.readAllStandardError().toStdString();

    quavel::QtAudioInput mic(quavel::QtAudioChoice{mic_name.toUtf8(), {}});
    write_file(dir.path(), "KEYSETUP.INI", "G4ABC NONE NONE");
    create_form();
    form->station().set_audio_input(&mic);
    activate();
    form->RadioGroup3->button(2)->click(); // 4 Quavel/sec
    QProcess player;
    player.start("paplay", {"--device=" + sink_name, path("call.wav")});
    ASSERT_TRUE(player.waitForStarted(10000)) << "paplay cannot be started";
    const bool copied =
        wait_until([&] { return form->Memo1->toPlainText().contains("CQ DE G4XYZ K"); }, 30000);
    player.waitForFinished(10000);
    EXPECT_TRUE(copied) << "Memo1: " << form->Memo1->toPlainText().toStdString();
    EXPECT_TRUE(messages.messages().empty());
    form.reset(); // the window lets go of the input before the input goes
}

// The sink a playing stream of this process goes to, by name; empty while there is none.
QString sink_of_our_stream() {
    const auto sinks = pactl({"list", "short", "sinks"});
    const auto inputs = pactl({"list", "short", "sink-inputs"});
    if (!sinks || !inputs) return {};
    for (const QByteArray& input : inputs->split('\n')) {
        const QList<QByteArray> fields = input.split('\t');
        if (fields.size() < 3) continue;
        for (const QByteArray& sink : sinks->split('\n')) {
            const QList<QByteArray> s = sink.split('\t');
            if (s.size() > 1 && s[0] == fields[1]) return QString::fromUtf8(s[1]);
        }
    }
    return {};
}

TEST_F(ConsoleSoundServer, OutputDeviceOptionPlaysIntoThatSinkAsQuavelOverridingTheRememberedOne) {
    const ParsedCommandLine parsed =
        parse_console_options({"quavel", "--output-device", sink_name});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    AppSettings remembered(path("quavel.ini"));
    remembered.set_output_device("quavel_unplugged_interface");
    const SoundDeviceChoice choice = choose_sound_devices(parsed.options, &remembered);
    ASSERT_TRUE(choice.error.empty()) << choice.error;
    EXPECT_TRUE(choice.notices.empty());
    ConsoleOptions options = parsed.options;
    ConsoleDevices devices = make_console_devices(options, choice);
    ASSERT_NE(devices.sound_output, nullptr);

    ASSERT_TRUE(devices.sound_output->open([](int) {})) << devices.sound_output->error();
    devices.sound_output->queue(0, std::vector<int16_t>(8192, 1000));
    QString sink;
    EXPECT_TRUE(wait_until([&] { return !(sink = sink_of_our_stream()).isEmpty(); }, 5000));
    EXPECT_EQ(sink, sink_name);
    // The desktop's mixer shows it as the program's.
    const QByteArray properties = pactl({"list", "sink-inputs"}).value_or(QByteArray());
    EXPECT_TRUE(properties.contains("application.name = \"Quavel\"")) << properties.toStdString();
    EXPECT_TRUE(properties.contains("application.id = \"org.quavel.Quavel\""))
        << properties.toStdString();
    devices.sound_output->close();
}

TEST_F(ConsoleSoundServer, ARememberedDeviceThatIsGoneGivesTheDefaultAndANotice) {
    AppSettings remembered(path("quavel.ini"));
    remembered.set_input_device("quavel_unplugged_mic");
    remembered.set_output_device(sink_name);
    const SoundDeviceChoice choice = choose_sound_devices({}, &remembered);
    EXPECT_TRUE(choice.error.empty()) << choice.error;
    EXPECT_TRUE(choice.input_id.isEmpty());
    EXPECT_EQ(choice.output_id, sink_name.toUtf8());
    ASSERT_EQ(choice.notices.size(), 1u);
    EXPECT_NE(choice.notices[0].find("\"quavel_unplugged_mic\""), std::string::npos)
        << choice.notices[0];
}

TEST_F(ConsoleSoundServer, ADeviceOptionThatFitsNoDeviceIsRefusedWithTheList) {
    const ParsedCommandLine parsed =
        parse_console_options({"quavel", "--input-device", "no such interface"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const SoundDeviceChoice choice = choose_sound_devices(parsed.options, nullptr);
    EXPECT_NE(choice.error.find("no audio input device matches 'no such interface'"),
              std::string::npos)
        << choice.error;
    EXPECT_NE(choice.error.find("(* the default)"), std::string::npos) << choice.error;
}

// The source a capture stream of this process reads, by name; empty while there is none.
QString source_of_our_capture() {
    const auto sources = pactl({"list", "short", "sources"});
    const auto outputs = pactl({"list", "short", "source-outputs"});
    if (!sources || !outputs) return {};
    const QString pid = QString::number(::getpid());
    for (const QByteArray& output : outputs->split('\n')) {
        const QList<QByteArray> fields = output.split('\t');
        if (fields.size() < 3) continue;
        for (const QByteArray& source : sources->split('\n')) {
            const QList<QByteArray> s = source.split('\t');
            // The remapped sources' own streams read their masters' monitors.
            if (s.size() > 1 && s[0] == fields[1] && !s[1].endsWith(".monitor"))
                return QString::fromUtf8(s[1]);
        }
    }
    return {};
}

TEST_F(ConsoleSoundServer, AnInputChosenInTheSoundAndRigPanelIsUsedAtOnce) {
    if (!remap_monitor_as_input())
        GTEST_SKIP() << "the sound server refused to remap the sink's monitor";
    ASSERT_TRUE(input_listed());

    quavel::QtAudioInput mic;
    write_file(dir.path(), "KEYSETUP.INI", "G4ABC NONE NONE");
    create_form();
    form->station().set_audio_input(&mic);
    form->set_sound_devices(&mic, nullptr);
    activate();
    ASSERT_TRUE(mic.is_running()) << mic.error();
    QString source;
    ASSERT_TRUE(wait_until([&] { return !(source = source_of_our_capture()).isEmpty(); }, 5000));
    EXPECT_NE(source, mic_name);

    form->SoundRig1->trigger();
    RigPanel* panel = form->rig_panel();
    ASSERT_NE(panel, nullptr);
    const int item = panel->InputDevice->findData(mic_name);
    ASSERT_GT(item, 0);
    panel->InputDevice->setCurrentIndex(item);
    panel->Buttons->button(QDialogButtonBox::Ok)->click();

    EXPECT_TRUE(mic.is_running()) << mic.error();
    EXPECT_TRUE(wait_until([&] { return source_of_our_capture() == mic_name; }, 5000))
        << source_of_our_capture().toStdString();
    EXPECT_EQ(settings->input_device(), mic_name);
    EXPECT_TRUE(messages.messages().empty());
    form.reset(); // before the input it captures from
}

} // namespace
