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

#include "platform/audio_device.h"
#include "platform/recording_messages.h"
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

// Playback that takes buffers and never reports them played.
class SilentOutput : public quavel::AudioOutput {
public:
    bool open(Done) override {
        is_open = true;
        return true;
    }
    void queue(int, std::span<const int16_t>) override { ++queued; }
    void close() override { is_open = false; }
    bool is_open = false;
    int queued = 0;
};

// A keying line that remembers the ports opened and the RTS changes.
class RecordingPtt : public quavel::Ptt {
public:
    bool open(const std::string& port) override {
        opened.push_back(port);
        open_ = true;
        return true;
    }
    void set_rts(bool active) override { rts.push_back(active); }
    void close() override {
        ++closes;
        open_ = false;
    }
    bool is_open() const override { return open_; }
    std::vector<std::string> opened;
    std::vector<bool> rts;
    int closes = 0;

private:
    bool open_ = false;
};

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
    SilentOutput output;
    RecordingPtt ptt;
    std::unique_ptr<TForm1> form;
};
