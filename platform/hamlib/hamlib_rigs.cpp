#include "platform/hamlib/hamlib_rigs.h"

#include <hamlib/rig.h>

#include "platform/hamlib/hamlib_calls.h"
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/hamlib/rig_lock.h"

namespace quavel {
namespace {

using hamlib::effective_port;
using hamlib::kRetries;
using hamlib::kTimeoutMs;
using hamlib::open_failure;
using hamlib::set_conf;
using hamlib::why;

std::string trimmed(const char* text) {
    if (text == nullptr) return {};
    std::string s = text;
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!s.empty() && blank(static_cast<unsigned char>(s.back())))
        s.pop_back();
    std::size_t first = 0;
    while (first < s.size() && blank(static_cast<unsigned char>(s[first])))
        ++first;
    return s.substr(first);
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

int collect(const rig_caps* caps, rig_ptr_t data) {
    auto& rigs = *static_cast<std::vector<RigModelInfo>*>(data);
    if (caps != nullptr)
        rigs.push_back({static_cast<int>(caps->rig_model), trimmed(caps->mfg_name),
                        trimmed(caps->model_name)});
    return 1; // go on
}

std::vector<RigModelInfo> load_rigs() {
    // hamlib reports on standard error unless told otherwise; the console says what it needs.
    rig_set_debug(RIG_DEBUG_NONE);
    rig_load_all_backends();
    std::vector<RigModelInfo> rigs;
    rig_list_foreach(collect, &rigs);
    std::sort(rigs.begin(), rigs.end(), [](const RigModelInfo& a, const RigModelInfo& b) {
        const std::string am = lower(a.maker), bm = lower(b.maker);
        if (am != bm) return am < bm;
        const std::string an = lower(a.name), bn = lower(b.name);
        if (an != bn) return an < bn;
        return a.model < b.model;
    });
    // A backend listed twice would show one rig twice.
    rigs.erase(std::unique(
                   rigs.begin(), rigs.end(),
                   [](const RigModelInfo& a, const RigModelInfo& b) { return a.model == b.model; }),
               rigs.end());
    return rigs;
}

} // namespace

const std::vector<RigModelInfo>& hamlib_rigs() {
    static const std::vector<RigModelInfo> rigs = load_rigs();
    return rigs;
}

std::optional<RigModelInfo> hamlib_rig(int model) {
    for (const RigModelInfo& rig : hamlib_rigs())
        if (rig.model == model) return rig;
    return std::nullopt;
}

std::string rig_label(int model) {
    std::string label = "rig model " + std::to_string(model);
    if (const auto rig = hamlib_rig(model)) {
        const std::string name = rig->maker.empty() ? rig->name : rig->maker + " " + rig->name;
        if (!name.empty()) label += " (" + name + ")";
    }
    return label;
}

std::string format_frequency(double hz) {
    std::array<char, 48> text{};
    std::snprintf(text.data(), text.size(), "%.6f MHz", hz / 1e6);
    return text.data();
}

RigProbe rig_probe(int model, const std::string& port, int speed_baud) {
    RigProbe probe;
    const std::string label = rig_label(model);
    RIG* rig = rig_init(static_cast<rig_model_t>(model));
    if (rig == nullptr) {
        probe.report = label + ": hamlib knows no such rig model";
        return probe;
    }
    bool configured = (port.empty() || set_conf(rig, "rig_pathname", port)) &&
                      set_conf(rig, "timeout", kTimeoutMs) && set_conf(rig, "retry", kRetries);
    if (configured && speed_baud > 0)
        configured = set_conf(rig, "serial_speed", std::to_string(speed_baud));
    const std::string where = effective_port(rig, port);
    const std::string named = label + (where.empty() ? "" : " on " + where);
    if (!configured) {
        probe.report = named + ": hamlib refused the port or speed";
        rig_cleanup(rig);
        return probe;
    }
    RigLock lock;
    switch (lock.acquire(model, where)) {
    case RigLockResult::Taken:
        break;
    case RigLockResult::InUse: {
        const long pid = lock.holder_pid();
        probe.report = named + (pid == static_cast<long>(::getpid())
                                    ? ": held by this console's keying, so not opened a second time"
                                    : " is in use by another Quavel program" +
                                          (pid > 0 ? " (process " + std::to_string(pid) + ")"
                                                   : std::string()));
        rig_cleanup(rig);
        return probe;
    }
    case RigLockResult::Failed:
        probe.report = named + ": cannot lock the rig for this program (" + lock.error() + ")";
        rig_cleanup(rig);
        return probe;
    }
    errno = 0;
    if (const int code = rig_open(rig); code != RIG_OK) {
        probe.report = named + ": " + open_failure(code, errno);
        rig_cleanup(rig);
        return probe;
    }

    const hamlib::DialAnswer dial = hamlib::read_dial(rig);
    probe.has_frequency = dial.has_frequency;
    probe.frequency_hz = dial.frequency_hz;
    probe.mode = dial.mode;
    std::string failure = dial.failure;
    ptt_t ptt = RIG_PTT_OFF;
    if (const int code = rig_get_ptt(rig, RIG_VFO_CURR, &ptt); code == RIG_OK) {
        probe.ptt = ptt != RIG_PTT_OFF ? "on" : "off";
    } else if (failure.empty()) {
        failure = why(code);
    }
    rig_close(rig);
    rig_cleanup(rig);

    std::string said;
    if (probe.has_frequency) said = format_frequency(probe.frequency_hz);
    if (!probe.mode.empty()) said += (said.empty() ? "" : " ") + probe.mode;
    if (!probe.ptt.empty()) said += (said.empty() ? "PTT " : ", PTT ") + probe.ptt;
    probe.answered = !said.empty();
    probe.report = probe.answered ? named + " answers: " + said
                                  : named + " opened but does not answer (" + failure + ")";
    return probe;
}

} // namespace quavel
