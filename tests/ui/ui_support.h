// What every console test needs: one QuavelApplication on the offscreen platform (created before
// the first test, destroyed after the last), devices that record what the station does with
// them, and a main window over a temporary working folder.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "interfaces/audio_device.h"
#include "support/recording_messages.h"
#include "support/recording_ptt.h"
#include "ui/app_settings.h"
#include "ui/quavel25.h"

class QuavelApplication;

QuavelApplication& test_application();

// Writes `text` as the file `name` in `dir`.
void write_file(const QString& dir, const QString& name, const std::string& text);
// The whole content of the file `name` in `dir` (empty when it does not exist).
std::string read_file(const QString& dir, const QString& name);

// Capture that opens and never delivers; counts its opens.
class SilentInput : public quavel::AudioInput {
public:
    bool open(std::span<int16_t>, Done) override {
        ++opens;
        is_open = true;
        return true;
    }
    void requeue(int) override {}
    void stop() override {}
    void restart() override {}
    void close() override { is_open = false; }
    int opens = 0;
    bool is_open = false;
};

// Playback that plays only when the test says so: play_one() reports the oldest queued buffer
// done, as a sound card would once it has played it. Keeps every sample queued.
class SteppedOutput : public quavel::AudioOutput {
public:
    bool open(Done done) override {
        done_ = std::move(done);
        is_open = true;
        return true;
    }
    void queue(int index, std::span<const int16_t> buffer) override {
        queued.push_back(index);
        samples.insert(samples.end(), buffer.begin(), buffer.end());
    }
    void close() override {
        is_open = false;
        queued.clear();
    }
    bool play_one() {
        if (queued.empty()) return false;
        const int index = queued.front();
        queued.erase(queued.begin());
        done_(index);
        return true;
    }
    bool lost() const override { return gone; }
    bool is_open = false;
    bool gone = false; // the device stopped on its own
    std::vector<int> queued;
    std::vector<int16_t> samples;

private:
    Done done_;
};

using RecordingPtt = quavel::test::RecordingPtt;

// A main window over a fresh working folder with the recording devices above.
class FormTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Creates the window (files the test wants at start-up must be written before).
    void create_form(ConsoleOptions options = {});
    // The first activation, as the window system raises it.
    void activate();
    QString path(const QString& name) const;

    QTemporaryDir dir;
    quavel::RecordingMessages messages;
    SilentInput input;
    SteppedOutput output;
    RecordingPtt ptt;
    std::unique_ptr<AppSettings> settings; // the window's, in `dir`
    std::unique_ptr<TForm1> form;
};
