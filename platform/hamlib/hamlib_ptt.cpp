#include "platform/hamlib/hamlib_ptt.h"

#include <hamlib/rig.h>

#include "platform/hamlib/hamlib_calls.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace quavel {
namespace {

using hamlib::effective_port;
using hamlib::kRetries;
using hamlib::kTimeoutMs;
using hamlib::open_failure;
using hamlib::set_conf;
using hamlib::why;

// "(Hamlib NET rigctl)": what hamlib calls the model, for messages about an open.
std::string model_name(int model) {
    const rig_caps* caps = rig_get_caps(static_cast<rig_model_t>(model));
    if (caps == nullptr || caps->model_name == nullptr) return {};
    const std::string maker = caps->mfg_name != nullptr ? caps->mfg_name : "";
    return " (" + (maker.empty() ? "" : maker + " ") + caps->model_name + ")";
}

} // namespace

HamlibPtt::HamlibPtt(int model, int speed_baud) : model_(model), speed_baud_(speed_baud) {
    // hamlib reports everything on standard error unless told otherwise; the adapter says what
    // went wrong through error().
    rig_set_debug(RIG_DEBUG_NONE);
}

HamlibPtt::~HamlibPtt() {
    close();
}

void HamlibPtt::configure(int model, int speed_baud) {
    model_ = model;
    speed_baud_ = speed_baud;
}

std::string HamlibPtt::where() const {
    return "rig model " + std::to_string(model_) + (port_.empty() ? "" : " on " + port_);
}

bool HamlibPtt::take_lock(RIG* rig) {
    const std::string port = effective_port(rig, port_);
    switch (lock_.acquire(model_, port)) {
    case RigLockResult::Taken:
        return true;
    case RigLockResult::InUse:
        in_use_by_ = lock_.holder_pid();
        error_ = "rig model " + std::to_string(model_) + (port.empty() ? "" : " on " + port) +
                 " is in use by another Quavel program" +
                 (*in_use_by_ > 0 ? " (process " + std::to_string(*in_use_by_) + ")" : "");
        return false;
    case RigLockResult::Failed:
        break;
    }
    error_ = where() + ": cannot lock the rig for this program (" + lock_.error() + ")";
    return false;
}

bool HamlibPtt::open(const std::string& port) {
    close();
    port_ = port;
    error_.clear();
    lost_ = false;
    in_use_by_.reset();
    RIG* rig = rig_init(static_cast<rig_model_t>(model_));
    if (rig == nullptr) {
        error_ = where() + ": hamlib knows no such rig model";
        return false;
    }
    bool configured = (port.empty() || set_conf(rig, "rig_pathname", port)) &&
                      set_conf(rig, "timeout", kTimeoutMs) && set_conf(rig, "retry", kRetries);
    if (configured && speed_baud_ > 0)
        configured = set_conf(rig, "serial_speed", std::to_string(speed_baud_));
    if (!configured) {
        error_ = where() + ": hamlib refused the port or speed";
        rig_cleanup(rig);
        return false;
    }
    // Before the rig is even opened: a second program must not disturb the first one's rig.
    if (!take_lock(rig)) {
        rig_cleanup(rig);
        return false;
    }
    errno = 0;
    if (const int code = rig_open(rig); code != RIG_OK) {
        const int system_error = errno;
        error_ = where() + model_name(model_) + ": " + open_failure(code, system_error);
        rig_cleanup(rig);
        lock_.release();
        return false;
    }
    rig_ = rig;
    if (!key(false)) {
        const std::string why = error_;
        close();
        error_ = why;
        return false;
    }
    // Released now; from here a death of the program releases the rig through the guardian.
    if (!rig_guardian_program().empty()) {
        std::string why;
        if (!guardian_.start(model_, port_, speed_baud_, why)) {
            close();
            error_ = where() + ": " + why;
            return false;
        }
    }
    return true;
}

bool HamlibPtt::key(bool on) {
    if (rig_ == nullptr) {
        error_ = "no rig is open for keying";
        return false;
    }
    // The guardian hears of a keying before the rig does: a death in the middle of the command
    // still leaves it releasing. One that has gone is started again, and without one the rig
    // is not keyed.
    if (on && !rig_guardian_program().empty() && !guardian_.tell_keyed(true)) {
        std::string why;
        if (!guardian_.start(model_, port_, speed_baud_, why) || !guardian_.tell_keyed(true)) {
            if (why.empty()) why = "the rig's guardian has gone";
            error_ = where() + ": cannot key the transmitter (" + why + ")";
            return false;
        }
    }
    if (const int code = rig_set_ptt(rig_, RIG_VFO_CURR, on ? RIG_PTT_ON : RIG_PTT_OFF);
        code != RIG_OK) {
        error_ = where() + ": cannot " + (on ? "key" : "release") + " the transmitter (" +
                 why(code) + ")";
        lost_ = true;
        return false;
    }
    if (!on) guardian_.tell_keyed(false);
    return true;
}

bool HamlibPtt::keyed() {
    if (rig_ == nullptr) {
        error_ = "no rig is open";
        return false;
    }
    ptt_t ptt = RIG_PTT_OFF;
    if (const int code = rig_get_ptt(rig_, RIG_VFO_CURR, &ptt); code != RIG_OK) {
        error_ = where() + ": " + why(code);
        return false;
    }
    return ptt != RIG_PTT_OFF;
}

std::optional<RigDial> HamlibPtt::dial() {
    if (rig_ == nullptr) {
        error_ = "no rig is open";
        return std::nullopt;
    }
    const hamlib::DialAnswer answer = hamlib::read_dial(rig_);
    if (!answer.has_frequency || answer.cut_off) {
        error_ = where() + ": does not answer (" + answer.failure + ")";
        return std::nullopt;
    }
    return RigDial{answer.frequency_hz, answer.mode};
}

PttCheck HamlibPtt::check() {
    if (rig_ == nullptr) {
        error_ = "no rig is open";
        return PttCheck::NoAnswer;
    }
    ptt_t ptt = RIG_PTT_OFF;
    if (const int code = rig_get_ptt(rig_, RIG_VFO_CURR, &ptt); code != RIG_OK) {
        error_ = where() + ": does not answer (" + why(code) + ")";
        lost_ = true;
        return PttCheck::NoAnswer;
    }
    return ptt != RIG_PTT_OFF ? PttCheck::Keyed : PttCheck::Released;
}

void HamlibPtt::close() {
    if (rig_ == nullptr) return;
    const bool released = rig_set_ptt(rig_, RIG_VFO_CURR, RIG_PTT_OFF) == RIG_OK;
    rig_close(rig_);
    rig_cleanup(rig_);
    rig_ = nullptr;
    // Unlocked first: a guardian left to release the rig takes the lock as it opens it.
    lock_.release();
    // A clean release sends the guardian away; one the rig did not take leaves it to try again
    // on a connection of its own.
    if (released) {
        guardian_.dismiss();
    } else {
        guardian_.abandon();
    }
}

} // namespace quavel
