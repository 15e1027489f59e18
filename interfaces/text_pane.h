// Text panes as the modem sees them. The console's edit controls implement these; tests and the
// headless tools use plain strings.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quavel {

// A pane the modem writes into (the receive panes, the sent-text pane): the text goes in at the
// caret, replacing any selection, as if typed there.
class TextSink {
public:
    virtual ~TextSink() = default;
    virtual void insert(std::string_view text) = 0;
};

// The transmit pane the type-ahead pull takes from: removes and returns its first character
// (nullopt when empty) and leaves the caret at the end of what remains.
class TextSource {
public:
    virtual ~TextSource() = default;
    virtual std::optional<char> take_first() = 0;
    // The character take_first() would return next, left in place (nullopt when empty). A pane
    // that cannot look ahead may keep this default; a CR LF pair in it then goes as two breaks.
    virtual std::optional<char> peek_first() const { return std::nullopt; }
};

// A string that is both: what tests and the headless tools use.
class StringPane : public TextSink, public TextSource {
public:
    void insert(std::string_view text) override { text_.append(text); }
    std::optional<char> take_first() override {
        if (text_.empty()) return std::nullopt;
        const char c = text_.front();
        text_.erase(0, 1);
        return c;
    }
    std::optional<char> peek_first() const override {
        if (text_.empty()) return std::nullopt;
        return text_.front();
    }
    const std::string& text() const { return text_; }
    void set_text(std::string t) { text_ = std::move(t); }
    void clear() { text_.clear(); }

private:
    std::string text_;
};

// A pane nobody reads: what is inserted is dropped.
class NullPane : public TextSink {
public:
    void insert(std::string_view) override {}
};

} // namespace quavel
