#include "platform/qt/pulse_stream_restore.h"

#if QUAVEL_HAVE_PULSE
#include <pulse/context.h>
#include <pulse/ext-stream-restore.h>
#include <pulse/mainloop.h>
#include <pulse/operation.h>

#include <chrono>
#endif

namespace quavel {

#if QUAVEL_HAVE_PULSE

namespace {

struct Lookup {
    std::string key;
    std::string device;
    bool done = false;
};

extern "C" void on_entry(pa_context*, const pa_ext_stream_restore_info* info, int eol,
                         void* userdata) {
    auto* lookup = static_cast<Lookup*>(userdata);
    if (eol != 0) {
        lookup->done = true;
        return;
    }
    if (info != nullptr && info->name != nullptr && info->device != nullptr &&
        lookup->key == info->name)
        lookup->device = info->device;
}

// One connection to the server on a main loop of its own, torn down on every path.
class Connection {
public:
    Connection() : loop_(pa_mainloop_new()) {
        if (loop_ != nullptr)
            context_ = pa_context_new(pa_mainloop_get_api(loop_), "Quavel device lookup");
    }
    ~Connection() {
        if (context_ != nullptr) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        if (loop_ != nullptr) pa_mainloop_free(loop_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    pa_context* context() const { return context_; }

    // Runs the loop until `done()` or the deadline; false at the deadline or on a loop error.
    template <typename Done>
    bool run_until(Done done, std::chrono::steady_clock::time_point deadline) {
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            if (pa_mainloop_prepare(loop_, static_cast<int>(left.count())) < 0 ||
                pa_mainloop_poll(loop_) < 0 || pa_mainloop_dispatch(loop_) < 0)
                return false;
        }
        return true;
    }

private:
    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};

} // namespace

std::string remembered_stream_device(AudioDirection direction, const std::string& application_id,
                                     int timeout_ms) {
    if (application_id.empty()) return {};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    Connection c;
    if (c.context() == nullptr ||
        pa_context_connect(c.context(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return {};
    bool failed = false;
    const bool ready = c.run_until(
        [&] {
            const pa_context_state_t state = pa_context_get_state(c.context());
            failed = !PA_CONTEXT_IS_GOOD(state);
            return state == PA_CONTEXT_READY || failed;
        },
        deadline);
    if (!ready || failed) return {};

    // The names module-stream-restore gives streams that carry an application id.
    Lookup lookup;
    lookup.key = std::string(direction == AudioDirection::Output ? "sink-input" : "source-output") +
                 "-by-application-id:" + application_id;
    pa_operation* op = pa_ext_stream_restore_read(c.context(), on_entry, &lookup);
    if (op == nullptr) return {}; // no stream-restore on this server
    const bool answered = c.run_until(
        [&] { return lookup.done || pa_operation_get_state(op) != PA_OPERATION_RUNNING; },
        deadline);
    pa_operation_cancel(op);
    pa_operation_unref(op);
    return answered && lookup.done ? lookup.device : std::string();
}

#else

std::string remembered_stream_device(AudioDirection, const std::string&, int) {
    return {};
}

#endif

} // namespace quavel
