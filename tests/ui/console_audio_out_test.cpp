// The console transmitting into its --audio-out file in real time, with the event loop running
// and the operator's keys and clicks: every transmission of the run lands in the one file, in
// order, and decodes with 'quavel-modem rx'; "CW I/D" leaves exactly the Morse identification and
// "Tune Up" exactly six seconds of carrier; a stop signal in the middle of a transmission still
// leaves a complete file and the transmitter released.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>

#include "platform/wav/wav_file.h"
#include "platform/wav/wav_output.h"
#include "support/full_disk.h"
#include "tx/morse_id.h"
#include "tx/tune.h"
#include "ui/console_devices.h"
#include "ui/memo.h"
#include "ui/quavel_application.h"
#include "ui/quit_on_signal.h"
#include "ui/radio_group.h"
#include "ui_support.h"

namespace {

// An unfinished temporary file left in `dir`.
bool partial_file_in(const QString& dir) {
    return !QDir(dir).entryList({"*.part"}, QDir::Files | QDir::Hidden).isEmpty();
}

constexpr uint32_t kSpeed = 4;
constexpr uint32_t kN = 2048; // samples per symbol at speed 4
constexpr int kSymbolMs = 256;

// Runs the event loop until `done` holds or `timeout_ms` has passed; returns `done()`.
bool wait_until(const std::function<bool()>& done, int timeout_ms) {
    for (int waited = 0; !done() && waited < timeout_ms; waited += 20)
        QTest::qWait(20);
    return done();
}

// What 'quavel-modem rx' prints for the recording at `path`.
std::string decode(const QString& path) {
    QProcess rx;
    rx.start(QUAVEL_MODEM_TOOL, {"rx", "--speed", QString::number(kSpeed), path});
    if (!rx.waitForFinished(60000)) return "(rx did not finish)";
    return rx.readAllStandardOutput().toStdString();
}

// The first buffer-aligned place where `want` lies in `samples`, if any.
std::optional<size_t> find_buffers(const std::vector<int16_t>& samples,
                                   std::span<const int16_t> want) {
    for (size_t at = 0; at + want.size() <= samples.size(); at += kN)
        if (std::equal(want.begin(), want.end(), samples.begin() + static_cast<ptrdiff_t>(at)))
            return at;
    return std::nullopt;
}

// The file output the console uses, driven by hand: transmissions append until the run ends.
TEST(RealTimeRunLongFileOutput, AppendsEveryTransmissionUntilFinished) {
    QTemporaryDir dir;
    const std::string file = QDir(dir.path()).filePath("run.wav").toStdString();
    quavel::WavOutput out(file, quavel::WavOutput::Pacing::Fast, quavel::WavOutput::FileSpan::Run);
    std::vector<int> done;
    const auto record = [&](int index) { done.push_back(index); };
    const std::vector<int16_t> a = {1, 2}, b = {3}, dropped = {9, 9};
    ASSERT_TRUE(out.open(record));
    out.queue(0, a);
    out.pump();
    out.close();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(file)));
    ASSERT_TRUE(out.open(record));
    out.queue(1, b);
    out.queue(0, dropped);
    out.pump();
    out.close(); // the buffer not yet played is cut off, as a sound card's would be
    EXPECT_EQ(done, (std::vector<int>{0, 1}));
    out.finish();
    EXPECT_TRUE(out.committed());
    EXPECT_EQ(quavel::read_wav(file).samples, (std::vector<int16_t>{1, 2, 3}));

    // A new run after the finish starts a new file; abandoning it keeps the old one.
    ASSERT_TRUE(out.open(record));
    out.queue(0, dropped);
    out.pump();
    out.close();
    out.abandon();
    EXPECT_EQ(quavel::read_wav(file).samples, (std::vector<int16_t>{1, 2, 3}));
    EXPECT_FALSE(partial_file_in(dir.path()));
}

class RealTimeAudioOut : public FormTest {
protected:
    // The console as started with --audio-out, at 4 Quavel/sec.
    void start_console(const std::string& config) {
        write_file(dir.path(), "KEYSETUP.INI", config);
        ConsoleOptions options;
        options.audio_out = path("out.wav").toStdString();
        devices = make_console_devices(options);
        create_form();
        form->station().set_audio_output(devices.output.get());
        activate();
        form->RadioGroup3->button(2)->click();
        ASSERT_EQ(form->station().profile().N, kN);
        const std::span<const int16_t> idle = form->station().modem().transmit_bank.row(0);
        idle_.assign(idle.begin(), idle.begin() + kN);
    }
    // Types `text`, sends it and a few symbols more, and ends the transmission.
    void transmit(const QString& text) {
        QTest::keyClicks(form->Memo4, text);
        form->Button1->click();
        EXPECT_TRUE(wait_until([&] { return form->Memo4->toPlainText().isEmpty(); }, 30000));
        // The last character taken is heard about two symbols later.
        QTest::qWait(5 * kSymbolMs);
        form->Button1->click();
    }
    // Ends the program as main() does (window first, then the devices) and reads the file.
    std::vector<int16_t> end_program() {
        form.reset();
        EXPECT_EQ(devices.finish_output(), "");
        devices = {};
        EXPECT_FALSE(partial_file_in(path(".")));
        quavel::WavData wav = quavel::read_wav(path("out.wav").toStdString());
        EXPECT_TRUE(wav.ok()) << wav.error;
        EXPECT_EQ(wav.samples.size() % kN, 0u);
        return std::move(wav.samples);
    }
    bool is_idle(const std::vector<int16_t>& samples, size_t at) const {
        return at + kN <= samples.size() &&
               std::equal(idle_.begin(), idle_.end(), samples.begin() + static_cast<ptrdiff_t>(at));
    }

    ConsoleDevices devices;
    std::vector<int16_t> idle_;
};

TEST_F(RealTimeAudioOut, EveryTransmissionOfTheRunIsKeptInOrderAndDecodes) {
    start_console("G4ABC NONE NONE");
    transmit("cq de g4abc");
    transmit("test 2 k");
    const std::vector<int16_t> air = end_program();
    // Two transmissions: each at least its two primed buffers and one symbol per character.
    EXPECT_GE(air.size(), (2u + 11u + 2u + 8u) * kN);
    const std::string copy = decode(path("out.wav"));
    const size_t first = copy.find("CQ DE G4ABC");
    ASSERT_NE(first, std::string::npos) << copy;
    EXPECT_NE(copy.find("TEST 2 K", first), std::string::npos) << copy;
}

TEST_F(RealTimeAudioOut, AFileThatCannotBeFinishedIsReportedAtTheEnd) {
    start_console("G4ABC NONE NONE");
    form->Button1->click();
    QTest::qWait(kSymbolMs);
    form->Button1->click();
    form.reset();
    // The file cannot be put in place: its folder has gone.
    ASSERT_TRUE(dir.remove());
    const std::string error = devices.finish_output();
    EXPECT_NE(error.find("out.wav"), std::string::npos) << error;
}

TEST_F(RealTimeAudioOut, CwIdSendsTheMorseOfDeAndTheCallsignInPlaceOfData) {
    start_console("G4T NONE NONE");
    quavel::IdentificationAudio morse;
    morse.build(static_cast<float>(form->station().centre_hz()), "G4T",
                form->station().profile().keying_ramp);
    // D 5880 + E 2672 + space 3200 + G 6944 + 4 8024 + T 3736 samples.
    ASSERT_EQ(morse.length_samples(), 30456u);
    quavel::IdentificationPlayback playback;
    playback.start(morse);
    const uint32_t buffers = playback.buffers_to_send(kSpeed); // 30456 / 2048 + 1 + 1 = 16

    form->Button1->click();
    form->Button3->click();
    EXPECT_FALSE(form->Button3->isEnabled());
    EXPECT_TRUE(wait_until([&] { return form->Button3->isEnabled(); }, 30000));
    QTest::qWait(3 * kSymbolMs);
    form->Button1->click();
    const std::vector<int16_t> air = end_program();

    const auto at = find_buffers(air, morse.store().first(buffers * kN));
    ASSERT_TRUE(at.has_value());
    EXPECT_GE(*at, 2u * kN); // behind the two primed buffers
    EXPECT_TRUE(is_idle(air, *at - kN));
    EXPECT_TRUE(is_idle(air, *at + buffers * kN));
    // Heard as keyed: 13 elements (-.. . --. ....- -) between gaps, and silence after the last
    // element's gaps up to the end of the identification.
    const std::span<const int16_t> sent(air.data() + *at, buffers * kN);
    int elements = 0;
    size_t silent = 1000;
    size_t last_sound = 0;
    for (size_t i = 0; i < sent.size(); ++i) {
        if (sent[i] == 0) {
            ++silent;
            continue;
        }
        if (silent >= 100) ++elements;
        silent = 0;
        last_sound = i;
    }
    EXPECT_EQ(elements, 13);
    EXPECT_LT(last_sound, 30456u - 536u - 1600u);
    EXPECT_GT(last_sound, 30456u - 536u - 1600u - 100u);
}

TEST_F(RealTimeAudioOut, TuneUpSendsSixSecondsOfCarrierAtTheCentre) {
    start_console("G4ABC NONE NONE");
    const uint32_t buffers = quavel::kTuneBuffersPerSpeed * kSpeed;
    std::vector<int16_t> carrier(buffers * kN);
    quavel::TuneCarrier tune;
    tune.start();
    for (uint32_t b = 0; b < buffers; ++b)
        tune.fill(std::span(carrier).subspan(b * kN, kN),
                  form->station().modem().tuning.tune_phase_step, kSpeed);

    form->Button1->click();
    form->Button9->click();
    EXPECT_TRUE(wait_until([&] { return form->Button9->isEnabled(); }, 30000));
    QTest::qWait(3 * kSymbolMs);
    form->Button1->click();
    const std::vector<int16_t> air = end_program();

    const auto at = find_buffers(air, carrier);
    ASSERT_TRUE(at.has_value());
    EXPECT_EQ(air[*at], 0); // sin 0
    EXPECT_TRUE(is_idle(air, *at - kN));
    EXPECT_TRUE(is_idle(air, *at + buffers * kN));
    // 6.144 s of a 1000 Hz tone: 6144 upward zero crossings, give or take the ends.
    int rises = 0;
    for (size_t i = *at + 1; i < *at + carrier.size(); ++i)
        if (air[i - 1] < 0 && air[i] >= 0) ++rises;
    EXPECT_NEAR(rises, 6144, 2);
}

TEST_F(RealTimeAudioOut, AStopSignalWhileTransmittingLeavesACompleteFileAndTheTransmitterReleased) {
    start_console("G4ABC COM1 NONE"); // COM1 is opened for keying at start-up
    ASSERT_EQ(ptt.opened, std::vector<std::string>{"COM1"});

    // As main() runs it: the signal ends the event loop; the window and then the devices go.
    QuavelApplication& app = test_application();
    quit_on_signal(app);
    QTest::keyClicks(form->Memo4, "test test test test test test");
    form->Button1->click();
    QTimer::singleShot(3000, [] { std::raise(SIGTERM); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &app, &QCoreApplication::quit);
    guard.start(30000);
    app.exec();
    guard.stop();
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, SIG_DFL);

    EXPECT_TRUE(form->station().transmitting());
    EXPECT_EQ(ptt.keys, std::vector<bool>{true});
    const std::vector<int16_t> air = end_program();
    EXPECT_EQ(ptt.keys, (std::vector<bool>{true, false}));
    // About three seconds were played before the signal: the primed idle symbols and the
    // first characters.
    EXPECT_GE(air.size(), 9u * kN);
    EXPECT_LE(air.size(), 15u * kN);
    EXPECT_NE(decode(path("out.wav")).find("TEST"), std::string::npos);
}

// The --audio-out file's disk fills in the middle of a transmission: the output shows itself
// lost (the station ends the transmission on that), and at the end the console says what is
// kept, a valid file of every sample written before.
TEST(RealTimeAudioOutFullDisk, IsLostAndTheEndSaysWhatIsKept) {
    quavel::test::FullDisk disk(16 * 1024); // the header and three 2048-sample buffers
    if (!disk.ready()) GTEST_SKIP() << disk.skip_reason;
    ConsoleOptions options;
    options.audio_out = disk.file("out.wav").string();
    ConsoleDevices devices = make_console_devices(options);
    ASSERT_NE(devices.file_output, nullptr);
    std::atomic<int> done{0}; // reported from the output's own thread
    ASSERT_TRUE(devices.output->open([&](int) { ++done; }));
    const std::vector<int16_t> symbol(kN, 1234);
    int queued = 0;
    for (; queued < 2; ++queued)
        devices.output->queue(queued, symbol);
    const bool lost = wait_until(
        [&] {
            for (; queued < done + 2 && queued < 40; ++queued)
                devices.output->queue(queued % 2, symbol);
            return devices.output->lost();
        },
        30000);
    ASSERT_TRUE(lost) << "the disk never filled";
    devices.output->close();
    const std::string said = devices.finish_output();
    EXPECT_NE(said.find("No space left on device"), std::string::npos) << said;
    EXPECT_NE(said.find("kept in " + options.audio_out), std::string::npos) << said;
    const quavel::WavData kept = quavel::read_wav(options.audio_out);
    ASSERT_TRUE(kept.ok()) << kept.error;
    EXPECT_EQ(kept.samples, std::vector<int16_t>(3 * kN, 1234));
    EXPECT_FALSE(partial_file_in(QString::fromStdString(disk.path().string())));
}

} // namespace
