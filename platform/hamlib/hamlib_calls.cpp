#include "platform/hamlib/hamlib_calls.h"

#include <array>
#include <cctype>
#include <cstring>

namespace quavel::hamlib {

bool set_conf(RIG* rig, const char* name, const std::string& value) {
    const token_t token = rig_token_lookup(rig, name);
    return token != RIG_CONF_END && rig_set_conf(rig, token, value.c_str()) == RIG_OK;
}

std::string effective_port(RIG* rig, const std::string& given) {
    if (!given.empty()) return given;
    std::array<char, HAMLIB_FILPATHLEN> path{};
    const token_t token = rig_token_lookup(rig, "rig_pathname");
    if (token == RIG_CONF_END || rig_get_conf2(rig, token, path.data(), path.size()) != RIG_OK)
        return given;
    return std::string(path.data(), strnlen(path.data(), path.size()));
}

std::string why(int code) {
    const char* raw = rigerror2(code);
    std::string text = raw != nullptr ? raw : "";
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.back()))
        text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && blank(text[first]))
        ++first;
    text.erase(0, first);
    return text.empty() ? "error " + std::to_string(code) : text;
}

DialAnswer read_dial(RIG* rig) {
    // The rig's own answer, not hamlib's remembered one: the dial is asked about once a second
    // and must follow the knob. hamlib keeps one cache time for everything; it is put back.
    struct Uncached {
        RIG* rig;
        int ms = rig_get_cache_timeout_ms(rig, HAMLIB_CACHE_ALL);
        explicit Uncached(RIG* r) : rig(r) { rig_set_cache_timeout_ms(rig, HAMLIB_CACHE_ALL, 0); }
        ~Uncached() { rig_set_cache_timeout_ms(rig, HAMLIB_CACHE_ALL, ms); }
        Uncached(const Uncached&) = delete;
        Uncached& operator=(const Uncached&) = delete;
    } const uncached(rig);

    DialAnswer answer;
    freq_t frequency = 0;
    if (const int code = rig_get_freq(rig, RIG_VFO_CURR, &frequency); code != RIG_OK) {
        // A rig that gave no frequency is not kept waiting on a second question.
        answer.failure = why(code);
        return answer;
    }
    answer.frequency_hz = frequency;
    answer.has_frequency = true;
    rmode_t mode = RIG_MODE_NONE;
    pbwidth_t width = 0;
    if (const int code = rig_get_mode(rig, RIG_VFO_CURR, &mode, &width); code != RIG_OK) {
        answer.failure = why(code);
        answer.cut_off = code != -RIG_ENIMPL && code != -RIG_ENAVAIL;
    } else if (mode != RIG_MODE_NONE) {
        const char* name = rig_strrmode(mode);
        std::string text = name != nullptr ? name : "";
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
            text.pop_back();
        answer.mode = text;
    }
    return answer;
}

std::string open_failure(int code, int system_error) {
    if (code == -RIG_EIO && system_error != 0) {
        std::string text = std::strerror(system_error);
        if (!text.empty()) text[0] = static_cast<char>(std::tolower(text[0]));
        return text;
    }
    return why(code);
}

} // namespace quavel::hamlib
