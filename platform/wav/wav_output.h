// An audio output that "plays" into a WAV file (8000 Hz, 16-bit mono): the headless
// transmitter's output and the console's --audio-out. Buffers are written in the order queued,
// each one whole, and reported done once written.
//
// Two pacings:
// - Fast: nothing happens on its own; each pump() plays the oldest queued buffer at once and
//   reports it done on the caller's thread. A driver alternates pump() with the scheduler's
//   tick and gets the same sequence of buffers a sound card would, as fast as it can go.
// - RealTime: a worker thread plays the queued buffers back to back at 8000 samples per second
//   of wall clock and reports each done from that thread, as a sound card does. When nothing is
//   queued the clock stops; it restarts with the next buffer (nothing is written for the gap).
//
// The file is written under a temporary name and renamed into place when finished. A write that
// fails (a full disk) ends the file there: lost() turns true, nothing more goes into it (the
// buffers still queued are only reported done), and finishing keeps every sample written before
// the failure, a valid WAV under the target's name; where even that cannot be done, the
// temporary file is left as it is and kept() names it. A refused buffer (a caller's fault) and
// abandon() throw the file away instead. What one file holds is chosen at construction:
// - FileSpan::PerOpen: each open() starts the file afresh and close() finishes it (the headless
//   transmitter, which opens once).
// - FileSpan::Run: the first open() creates the file and every later one appends to it, so it
//   holds every transmission of the run in order, back to back (the console, which opens at
//   every "Tx ON" and closes at every "Tx OFF"). close() only stops the playback; finish() or
//   the destructor finishes the file.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>

#include "interfaces/audio_device.h"
#include "platform/wav/wav_file.h"

namespace quavel {

class WavOutput : public AudioOutput {
public:
    enum class Pacing { Fast, RealTime };
    enum class FileSpan { PerOpen, Run };
    // Buffers that can wait at once (a double-buffered player needs 2), each up to
    // kMaxBufferSamples (one symbol at the slowest speed).
    static constexpr int kSlots = 4;
    static constexpr uint32_t kMaxBufferSamples = 8192;

    explicit WavOutput(std::string path, Pacing pacing = Pacing::Fast,
                       FileSpan span = FileSpan::PerOpen);
    ~WavOutput() override; // finishes (and so keeps what was played)
    WavOutput(const WavOutput&) = delete;
    WavOutput& operator=(const WavOutput&) = delete;

    // PerOpen: starts the file afresh. Run: creates it at the first call and appends from then
    // on. False, with error() set, when it cannot be created or an earlier write failed (Run:
    // lost() then stays true until the file is finished).
    bool open(Done done) override;
    // Copies `samples` (at most kMaxBufferSamples) to play after what is queued. A buffer that
    // finds every slot taken, or is too long, is refused and error() says so.
    void queue(int index, std::span<const int16_t> samples) override;
    // Drops whatever is still queued; nothing is reported done after close() returns.
    // PerOpen: finishes the file as finish() does. Run: the file stays open for the next open().
    void close() override;
    // Closes and finishes the file with what was written: renamed into place, also after a
    // failed write; left under its temporary name when that cannot be done (see kept()); removed
    // after a refused buffer. Does nothing when no file is being written.
    void finish();
    // Closes without keeping anything: the file is removed (a stop the operator asked for).
    void abandon();
    // Fast pacing: plays the oldest queued buffer, if any, and reports it done. RealTime: no-op.
    void pump() override;

    bool is_open() const;
    int queued() const;
    // Samples in the file being written (Run: since the first open()).
    uint64_t samples_written() const;
    // Empty while everything went well; otherwise what went wrong first.
    std::string error() const;
    // A write failed since the file was started: the file ends before it (see error()).
    bool lost() const override;
    // The file is in place: the last finish renamed it successfully, with all that was written
    // (after a failed write, with all that was written before it).
    bool committed() const;
    // After a finish: the file that holds what was written, under the target's name when
    // committed(), else the temporary file left behind; empty when nothing was kept.
    std::string kept() const;

private:
    struct Slot {
        int index = 0;
        uint32_t length = 0;
    };
    std::span<int16_t> slot_samples(int slot);
    // Writes and drops the oldest queued buffer; returns its index. Needs the lock held.
    int play_oldest_locked();
    void run_paced();
    // Stops the worker and drops the queue; false when the output was not open.
    bool stop_playing();
    enum class Keep { Written, Nothing };
    void finish_file(Keep keep = Keep::Written);

    const std::string path_;
    const Pacing pacing_;
    const FileSpan span_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::unique_ptr<int16_t[]> samples_; // kSlots x kMaxBufferSamples, allocated once
    Slot slots_[kSlots];
    int head_ = 0;
    int count_ = 0;
    bool open_ = false;
    bool stopping_ = false;
    bool committed_ = false;
    bool write_failed_ = false;
    std::string kept_;
    uint64_t written_ = 0;
    std::string error_;
    Done done_;
    WavWriter writer_;
    std::thread worker_;
};

// After a finish: empty when the file holds everything played; otherwise error() and what is
// left, on one line ("...; the 12.3 s written before it are kept in out.wav").
std::string describe_unfinished(const WavOutput& output);

} // namespace quavel
