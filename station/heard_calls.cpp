#include "station/heard_calls.h"

#include "station/callsign.h"

namespace quavel {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

std::string capitals(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

} // namespace

HeardCalls::HeardCalls(std::string own_call) {
    set_own_call(own_call);
}

void HeardCalls::set_own_call(std::string_view call) {
    own_ = capitals(call);
    if (own_ == "NOCALL") own_.clear();
}

void HeardCalls::clear() {
    word_.clear();
    word_too_long_ = false;
    words_.fill({});
    count_ = 0;
}

const std::string& HeardCalls::back(std::size_t n) const {
    static const std::string none;
    if (n >= count_ || n >= kWindowWords) return none;
    return words_[(count_ - 1 - n) % kWindowWords];
}

std::vector<std::string> HeardCalls::feed(std::string_view text) {
    std::vector<std::string> heard;
    for (const char c : text) {
        if (is_blank(c)) {
            end_word(heard);
        } else if (word_.size() < kLongestWord) {
            word_ += c;
        } else {
            word_too_long_ = true;
        }
    }
    return heard;
}

void HeardCalls::end_word(std::vector<std::string>& heard) {
    if (word_.empty() && !word_too_long_) return;
    const std::string word = word_too_long_ ? std::string() : capitals(word_);
    word_.clear();
    word_too_long_ = false;

    // The rules look at the words before this one, then it joins them.
    bool is_heard = false;
    if (looks_like_callsign(word) && word != own_ &&
        (own_.empty() || base_callsign(word) != base_callsign(own_))) {
        if (back(0) == "DE") {
            // "CALLED DE CALL": a callsign before DE.
            is_heard = looks_like_callsign(back(1));
            // "DE CALL" given before within the window.
            for (std::size_t n = 1; !is_heard && n + 1 < kWindowWords; ++n)
                is_heard = back(n) == word && back(n + 1) == "DE";
        } else if (back(0) == word && back(1) == "DE") {
            // "DE CALL CALL".
            is_heard = true;
        }
    }
    words_[count_ % kWindowWords] = word;
    ++count_;
    if (is_heard) heard.push_back(word);
}

} // namespace quavel
