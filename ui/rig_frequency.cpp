#include "ui/rig_frequency.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/hamlib/hamlib_ptt.h"
#include "station/station.h"

std::string format_dial_hz(double hz) {
    if (!std::isfinite(hz) || hz < 0 || hz >= 999.5e9) return {};
    const auto whole = static_cast<unsigned long long>(std::llround(hz));
    std::string digits = std::to_string(whole);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back('.');
        out.push_back(digits[i]);
    }
    return out;
}

std::optional<Sideband> sideband_of_mode(std::string_view mode) {
    // hamlib's names: USB, LSB, PKTUSB, PKTLSB, ECSSUSB, ECSSLSB, SAL/SAH (synchronous AM),
    // and some rigs' DIGU/DIGL as the operator may type them.
    const auto has = [mode](std::string_view part) {
        return mode.find(part) != std::string_view::npos;
    };
    if (has("USB") || mode == "DIGU") return Sideband::Upper;
    if (has("LSB") || mode == "DIGL") return Sideband::Lower;
    return std::nullopt;
}

// What the keying thread hands back. `generation` tells an answer to the present source from a
// late one to a source since replaced.
struct RigFrequency::Shared {
    std::mutex mutex;
    bool outstanding = false;
    std::optional<Reading> answer;
    uint64_t generation = 0;
};

RigFrequency::RigFrequency(quavel::Station& station)
    : station_(station), shared_(std::make_shared<Shared>()) {}

RigFrequency::~RigFrequency() = default;

void RigFrequency::set_reading(Reading reading) {
    const Reading& r = reading_;
    if (reading.source != r.source || reading.known != r.known ||
        reading.no_answer != r.no_answer || reading.dial_hz != r.dial_hz ||
        reading.mode != r.mode || reading.error != r.error)
        changed_ = true;
    reading_ = std::move(reading);
}

void RigFrequency::use_cat(quavel::HamlibPtt* cat) {
    {
        const std::lock_guard lock(shared_->mutex);
        ++shared_->generation;
        shared_->answer.reset();
    }
    cat_ = cat;
    outstanding_ticks_ = 0;
    Reading r;
    r.source = cat != nullptr ? Source::Cat : Source::None;
    set_reading(std::move(r));
}

void RigFrequency::use_typed(double dial_hz, Sideband sideband) {
    use_cat(nullptr);
    Reading r;
    r.source = Source::Typed;
    r.known = dial_hz > 0;
    r.dial_hz = r.known ? dial_hz : 0;
    r.mode = sideband == Sideband::Upper ? "USB" : "LSB";
    set_reading(std::move(r));
}

void RigFrequency::use_none() {
    use_cat(nullptr);
}

bool RigFrequency::read_outstanding() const {
    const std::lock_guard lock(shared_->mutex);
    return shared_->outstanding;
}

bool RigFrequency::tick() {
    if (reading_.source == Source::Cat && cat_ != nullptr) {
        std::optional<Reading> answer;
        bool outstanding = false;
        uint64_t generation = 0;
        {
            const std::lock_guard lock(shared_->mutex);
            answer = std::exchange(shared_->answer, std::nullopt);
            outstanding = shared_->outstanding;
            generation = shared_->generation;
        }
        if (answer) set_reading(std::move(*answer));
        if (outstanding) {
            // A rig held in a call that has not returned: say so rather than show the past.
            if (++outstanding_ticks_ >= kOverdueTicks && !reading_.no_answer) {
                Reading r = reading_;
                r.no_answer = true;
                r.known = false;
                r.error = "the rig has not answered for several seconds";
                set_reading(std::move(r));
            }
        } else if (!station_.transmitting()) {
            outstanding_ticks_ = 0;
            {
                const std::lock_guard lock(shared_->mutex);
                shared_->outstanding = true;
            }
            station_.run_when_keying_settled(
                [shared = shared_, cat = cat_, generation](bool keying) {
                    std::optional<Reading> read;
                    if (!keying) {
                        Reading r;
                        r.source = Source::Cat;
                        if (!cat->is_open()) {
                            r.no_answer = true;
                            r.error = cat->error().empty() ? "the rig is not open" : cat->error();
                        } else if (const auto dial = cat->dial()) {
                            r.known = true;
                            r.dial_hz = dial->frequency_hz;
                            r.mode = dial->mode;
                        } else {
                            r.no_answer = true;
                            r.error = cat->error();
                        }
                        read = std::move(r);
                    }
                    const std::lock_guard lock(shared->mutex);
                    if (read && shared->generation == generation) shared->answer = std::move(read);
                    shared->outstanding = false;
                });
        }
    }
    return std::exchange(changed_, false);
}

std::optional<double> RigFrequency::rf_frequency_hz() const {
    if (!reading_.known) return std::nullopt;
    const std::optional<Sideband> sideband = sideband_of_mode(reading_.mode);
    if (!sideband) return std::nullopt;
    return rf_hz(reading_.dial_hz, *sideband, static_cast<double>(station_.centre_hz()));
}
