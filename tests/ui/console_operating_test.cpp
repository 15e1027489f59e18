// The everyday operating items with the real devices and the event loop running: the receive
// log of the console program itself, fed a recording of two overs with a pause between them;
// and the transmit key with back to receive, transmitting into an --audio-out file that
// 'quavel-modem rx' must copy.
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/wav/wav_file.h"
#include "ui/console_devices.h"
#include "ui/memo.h"
#include "ui/radio_group.h"
#include "ui_support.h"

namespace {

// A recording of `text` at 2 Quavel/sec and 1000 Hz, made by the modem tool.
std::vector<int16_t> recording_of(const QString& dir, const QString& text) {
    const QString file = QDir(dir).filePath("part.wav");
    QProcess tx;
    tx.start(QUAVEL_MODEM_TOOL, {"tx", "-o", file, text});
    EXPECT_TRUE(tx.waitForFinished(30000));
    EXPECT_EQ(tx.exitCode(), 0) << tx.readAllStandardError().toStdString();
    return quavel::read_wav(file.toStdString()).samples;
}

TEST(RealTimeConsoleLog, HeaderThenEachOverOnALineOfItsOwn) {
    QTemporaryDir dir;
    // Two overs, and between them 4 s of the idle symbol (the tool's trailing idle repeated):
    // longer than the pause that ends a line.
    std::vector<int16_t> air = recording_of(dir.path(), "CQ CQ");
    const std::vector<int16_t> second = recording_of(dir.path(), "DE G4ABC K");
    const size_t symbol = 4096;
    const std::vector<int16_t> idle(air.end() - symbol, air.end());
    for (int i = 0; i < 8; ++i)
        air.insert(air.end(), idle.begin(), idle.end());
    air.insert(air.end(), second.begin(), second.end());
    for (int i = 0; i < 8; ++i)
        air.insert(air.end(), idle.begin(), idle.end());
    std::string error;
    ASSERT_TRUE(quavel::write_wav(QDir(dir.path()).filePath("in.wav").toStdString(), air, error));
    write_file(dir.path(), "KEYSETUP.INI", "G4XYZ NONE NONE");
    QTemporaryDir config;

    QProcess console;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", config.path());
    console.setProcessEnvironment(env);
    console.setWorkingDirectory(dir.path());
    console.start(QUAVEL_CONSOLE, {"--audio-in", "in.wav", "--rx-log", "rx.log", "--api", "off"});
    ASSERT_TRUE(console.waitForStarted(10000));
    QElapsedTimer clock;
    clock.start();
    std::string log;
    const std::string want = "CQ CQ\nDE G4ABC K\n";
    while (clock.elapsed() < 60000 && console.state() == QProcess::Running) {
        console.waitForFinished(250);
        log = read_file(dir.path(), "rx.log");
        if (log.find(want) != std::string::npos) break;
    }
    console.terminate();
    ASSERT_TRUE(console.waitForFinished(10000));
    EXPECT_EQ(console.exitCode(), 0) << console.readAllStandardError().toStdString();
    ASSERT_EQ(log.rfind("--- ", 0), 0u) << log;
    EXPECT_NE(log.find(" UTC  receiving  2 Quavel/sec  1000 Hz ---\n"), std::string::npos) << log;
    // The copy may open with a stray character decoded before the first over.
    EXPECT_NE(log.find(want), std::string::npos) << log;
}

// Runs the event loop until `done` holds or `timeout_ms` has passed; returns `done()`.
bool wait_until(const std::function<bool()>& done, int timeout_ms) {
    for (int waited = 0; !done() && waited < timeout_ms; waited += 20)
        QTest::qWait(20);
    return done();
}

class RealTimeTransmitKey : public FormTest {};

TEST_F(RealTimeTransmitKey, SendsTheTextAndBackToReceiveEndsIt) {
    write_file(dir.path(), "KEYSETUP.INI", "G4ABC NONE NONE");
    ConsoleOptions options;
    options.audio_out = path("out.wav").toStdString();
    ConsoleDevices devices = make_console_devices(options);
    create_form();
    form->station().set_audio_output(devices.output.get());
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->RadioGroup3->button(2)->click(); // 4 Quavel/sec
    form->BackToReceive->setChecked(true);

    QTest::keyClicks(form->Memo4, "cq de g4abc k");
    QTest::keyClick(form->Memo4, TForm1::kTransmitKey);
    EXPECT_EQ(form->Button1->text(), "Tx OFF");
    EXPECT_EQ(form->Memo4->toPlainText().right(1), "K"); // the key typed nothing
    // Ends by itself: text, then the idle tail, then receiving again.
    EXPECT_TRUE(wait_until([&] { return !form->station().transmitting(); }, 30000));
    EXPECT_EQ(form->Button1->text(), "Tx ON");
    EXPECT_TRUE(form->Memo4->toPlainText().isEmpty());
    form.reset();
    ASSERT_EQ(devices.finish_output(), "");
    devices = {};

    QProcess rx;
    rx.start(QUAVEL_MODEM_TOOL, {"rx", "--speed", "4", path("out.wav")});
    ASSERT_TRUE(rx.waitForFinished(60000));
    // The last character is on the air whole: the tail let the receiver decode it.
    EXPECT_NE(rx.readAllStandardOutput().indexOf("CQ DE G4ABC K"), -1);
}

} // namespace
