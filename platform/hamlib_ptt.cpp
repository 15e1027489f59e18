#include "platform/hamlib_ptt.h"

#include <hamlib/rig.h>

#include <clocale>

namespace quavel {
namespace {

constexpr const char* kTimeoutMs = "1000";

// hamlib switches the numeric locale to "C" around its work and back again by the name it read
// first; once glibc has freed that name in the switch, the way back reads freed memory. With "C"
// already in force there is nothing to free, so every call into hamlib runs under "C" and the
// program's own numeric locale comes back afterwards from a copy of ours.
class CNumericLocale {
public:
    CNumericLocale() {
        if (const char* current = std::setlocale(LC_NUMERIC, nullptr)) saved_ = current;
        if (saved_ != "C") std::setlocale(LC_NUMERIC, "C");
    }
    ~CNumericLocale() {
        if (!saved_.empty() && saved_ != "C") std::setlocale(LC_NUMERIC, saved_.c_str());
    }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    std::string saved_;
};
constexpr const char* kRetries = "0";

bool set_conf(RIG* rig, const char* name, const std::string& value) {
    const token_t token = rig_token_lookup(rig, name);
    return token != RIG_CONF_END && rig_set_conf(rig, token, value.c_str()) == RIG_OK;
}

// hamlib's text for an error code, without the line break it ends with.
std::string why(int code) {
    std::string text = rigerror2(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
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

bool HamlibPtt::open(const std::string& port) {
    close();
    const CNumericLocale c_numbers;
    port_ = port;
    error_.clear();
    lost_ = false;
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
    if (const int code = rig_open(rig); code != RIG_OK) {
        error_ = where() + ": " + why(code);
        rig_cleanup(rig);
        return false;
    }
    rig_ = rig;
    if (!key(false)) {
        const std::string why = error_;
        close();
        error_ = why;
        return false;
    }
    return true;
}

bool HamlibPtt::key(bool on) {
    if (rig_ == nullptr) {
        error_ = "no rig is open for keying";
        return false;
    }
    const CNumericLocale c_numbers;
    if (const int code = rig_set_ptt(rig_, RIG_VFO_CURR, on ? RIG_PTT_ON : RIG_PTT_OFF);
        code != RIG_OK) {
        error_ = where() + ": cannot " + (on ? "key" : "release") + " the transmitter (" +
                 why(code) + ")";
        lost_ = true;
        return false;
    }
    return true;
}

bool HamlibPtt::keyed() {
    if (rig_ == nullptr) {
        error_ = "no rig is open";
        return false;
    }
    const CNumericLocale c_numbers;
    ptt_t ptt = RIG_PTT_OFF;
    if (const int code = rig_get_ptt(rig_, RIG_VFO_CURR, &ptt); code != RIG_OK) {
        error_ = where() + ": " + why(code);
        return false;
    }
    return ptt != RIG_PTT_OFF;
}

void HamlibPtt::close() {
    if (rig_ == nullptr) return;
    const CNumericLocale c_numbers;
    rig_set_ptt(rig_, RIG_VFO_CURR, RIG_PTT_OFF);
    rig_close(rig_);
    rig_cleanup(rig_);
    rig_ = nullptr;
}

} // namespace quavel
