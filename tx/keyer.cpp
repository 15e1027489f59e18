#include "tx/keyer.h"

#include <utility>

namespace quavel {

Keyer::Keyer(KeyerTiming timing) : timing_(timing), worker_([this] { work(); }) {}

Keyer::~Keyer() {
    {
        const std::lock_guard lock(mutex_);
        status_.wanted = false;
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void Keyer::open(Ptt* ptt, std::string device) {
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back({Request::Kind::Open, ptt, std::move(device), {}});
        status_.pending = true;
    }
    wake_.notify_all();
}

void Keyer::close() {
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back({Request::Kind::Close, nullptr, {}, {}});
        status_.pending = true;
    }
    wake_.notify_all();
}

void Keyer::key(bool on) {
    {
        const std::lock_guard lock(mutex_);
        if (status_.wanted == on && status_.keyed == on) return;
        status_.wanted = on;
        // Work only for an open device; one that is not open yet keys once it opens.
        if (status_.open) status_.pending = true;
    }
    wake_.notify_all();
}

void Keyer::run(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back({Request::Kind::Task, nullptr, {}, std::move(task)});
        status_.pending = true;
    }
    wake_.notify_all();
}

void Keyer::run_when_settled(std::function<void(bool keying)> task) {
    {
        const std::lock_guard lock(mutex_);
        settled_tasks_.push_back(std::move(task));
        status_.pending = true;
    }
    wake_.notify_all();
}

KeyingStatus Keyer::status() const {
    const std::lock_guard lock(mutex_);
    return status_;
}

std::vector<KeyingEvent> Keyer::take_events() {
    std::vector<KeyingEvent> taken;
    const std::lock_guard lock(mutex_);
    taken.swap(events_);
    return taken;
}

bool Keyer::wait_idle(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, timeout, [this] { return !status_.pending; });
}

void Keyer::report(KeyingEventKind kind, std::string detail) {
    events_.push_back({kind, status_.wanted || status_.keyed, std::move(detail)});
}

void Keyer::unlock_for_call(std::unique_lock<std::mutex>& lock) {
    status_.in_call = true;
    status_.call_started = Clock::now();
    lock.unlock();
}

void Keyer::relock_after_call(std::unique_lock<std::mutex>& lock) {
    lock.lock();
    status_.in_call = false;
}

Keyer::Clock::time_point Keyer::next_due() const {
    // Nothing to check: wake now and then all the same (a far time point could overflow the
    // wait's conversion and turn it into a busy loop).
    if (ptt_ == nullptr || !status_.configured) return Clock::now() + std::chrono::hours(1);
    return status_.open ? next_check_ : next_retry_;
}

void Keyer::work() {
    std::unique_lock lock(mutex_);
    while (true) {
        const bool keying_differs = status_.open && status_.wanted != status_.keyed;
        if (requests_.empty() && !keying_differs && settled_tasks_.empty() && !stopping_) {
            status_.pending = false;
            idle_.notify_all();
            wake_.wait_until(lock, next_due(), [this] {
                return stopping_ || !requests_.empty() || !settled_tasks_.empty() ||
                       (status_.open && status_.wanted != status_.keyed);
            });
        }
        if (stopping_) {
            shut(lock);
            status_.pending = false;
            idle_.notify_all();
            return;
        }
        if (!requests_.empty()) {
            Request request = std::move(requests_.front());
            requests_.pop_front();
            handle(request, lock);
            continue;
        }
        if (status_.open && status_.wanted != status_.keyed) {
            reconcile(lock);
            continue;
        }
        if (!settled_tasks_.empty()) {
            std::function<void(bool)> task = std::move(settled_tasks_.front());
            settled_tasks_.pop_front();
            const bool keying = status_.wanted || status_.keyed;
            lock.unlock();
            task(keying);
            lock.lock();
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (ptt_ != nullptr && status_.configured) {
            if (status_.open && now >= next_check_)
                check(lock);
            else if (!status_.open && now >= next_retry_)
                try_open(false, lock);
        }
    }
}

void Keyer::handle(Request& request, std::unique_lock<std::mutex>& lock) {
    switch (request.kind) {
    case Request::Kind::Task: {
        lock.unlock();
        request.task();
        lock.lock();
        return;
    }
    case Request::Kind::Close:
        shut(lock);
        status_.configured = false;
        status_.failed = false;
        status_.error.clear();
        return;
    case Request::Kind::Open:
        shut(lock);
        ptt_ = request.ptt;
        status_.device = std::move(request.device);
        status_.configured = ptt_ != nullptr && !status_.device.empty();
        status_.failed = false;
        status_.error.clear();
        if (status_.configured) try_open(true, lock);
        return;
    }
}

void Keyer::try_open(bool first, std::unique_lock<std::mutex>& lock) {
    Ptt* ptt = ptt_;
    const std::string device = status_.device;
    unlock_for_call(lock);
    const bool opened = ptt->open(device);
    const std::string why = opened ? std::string() : ptt->error();
    relock_after_call(lock);
    if (ptt != ptt_) return; // replaced meanwhile: not possible, requests run in order
    const bool had_failed = status_.failed;
    status_.open = opened;
    status_.keyed = false;
    status_.error = why;
    status_.failed = !opened;
    next_retry_ = Clock::now() + timing_.retry;
    next_check_ = Clock::now() + timing_.idle_check;
    if (first)
        report(opened ? KeyingEventKind::Opened : KeyingEventKind::OpenFailed, why);
    else if (opened && had_failed)
        report(KeyingEventKind::Recovered, {});
}

void Keyer::shut(std::unique_lock<std::mutex>& lock) {
    Ptt* ptt = ptt_;
    if (ptt == nullptr) return;
    const bool was_keyed = status_.keyed;
    const bool was_open = status_.open;
    status_.keyed = false;
    status_.open = false;
    unlock_for_call(lock);
    // The release first, so that a device whose close does not release (a fake) is released too.
    const bool released = !was_open || ptt->key(false);
    const std::string why = released ? std::string() : ptt->error();
    if (ptt->is_open()) ptt->close();
    relock_after_call(lock);
    if (!released && was_keyed) {
        events_.push_back({KeyingEventKind::ReleaseFailed, true, why});
    }
    ptt_ = nullptr;
}

void Keyer::reconcile(std::unique_lock<std::mutex>& lock) {
    Ptt* ptt = ptt_;
    const bool on = status_.wanted;
    unlock_for_call(lock);
    bool done = ptt->key(on);
    std::string why = done ? std::string() : ptt->error();
    if (!done) {
        // Whatever the driver did, nothing may stay half keyed: release, and close (a serial
        // driver drops its lines on the last close).
        ptt->key(false);
        ptt->close();
    }
    relock_after_call(lock);
    next_check_ = Clock::now() + (on ? timing_.keyed_check : timing_.idle_check);
    if (done) {
        status_.keyed = on;
        return;
    }
    const bool was_keyed = status_.keyed;
    status_.keyed = false;
    status_.open = false;
    status_.failed = true;
    status_.error = why;
    // A device that comes back is not keyed again until the owner asks anew.
    status_.wanted = false;
    next_retry_ = Clock::now() + timing_.retry;
    if (on) {
        events_.push_back({KeyingEventKind::KeyFailed, true, why});
    } else {
        events_.push_back({KeyingEventKind::ReleaseFailed, was_keyed, why});
    }
}

void Keyer::check(std::unique_lock<std::mutex>& lock) {
    Ptt* ptt = ptt_;
    unlock_for_call(lock);
    const PttCheck answer = ptt->check();
    const std::string why = answer == PttCheck::NoAnswer ? ptt->error() : std::string();
    relock_after_call(lock);
    next_check_ = Clock::now() + (status_.keyed ? timing_.keyed_check : timing_.idle_check);
    if (answer == PttCheck::NoAnswer) {
        lose(KeyingEventKind::Lost, why.empty() ? "the keying device does not answer" : why, lock);
    } else if (answer == PttCheck::Released && status_.keyed && status_.wanted) {
        lose(KeyingEventKind::Lost, status_.device + ": the rig reports its transmitter released",
             lock);
    }
}

void Keyer::lose(KeyingEventKind kind, std::string why, std::unique_lock<std::mutex>& lock) {
    report(kind, why);
    Ptt* ptt = ptt_;
    // A device that comes back is not keyed again until the owner asks anew.
    status_.wanted = false;
    status_.keyed = false;
    status_.open = false;
    status_.failed = true;
    status_.error = std::move(why);
    unlock_for_call(lock);
    // Closed at once: a serial driver drops its lines on the last close, a rig that answers
    // again is released.
    ptt->key(false);
    ptt->close();
    relock_after_call(lock);
    next_retry_ = Clock::now() + timing_.retry;
}

} // namespace quavel
