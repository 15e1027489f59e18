// The window's thread per character against the length of the text already in a pane: one
// received character appended to a receive pane, one character taken from the transmit pane.
// Run: build/bench/quavel_pane_bench (offscreen; no display needed).
#include <QApplication>
#include <QPlainTextEdit>
#include <benchmark/benchmark.h>
#include <string>

#include "ui/text_panes.h"

namespace {

// Received copy: words of letters and blanks, no line break (the alphabet has none).
std::string copy_text(size_t length) {
    static const char kWords[] = "CQ CQ DE G4ABC G4ABC PSE K RST 599 QTH LONDON NAME JOHN ";
    std::string out;
    out.reserve(length);
    while (out.size() < length)
        out += kWords[out.size() % (sizeof kWords - 1)];
    return out;
}

// A receive pane (the console's Memo1 at its size) already holding `range(0)` characters.
void ReceivedCharacter(benchmark::State& state) {
    QPlainTextEdit pane;
    pane.resize(232, 97);
    configure_receive_pane(pane);
    PaneSink sink(pane, PaneSink::Where::End);
    sink.insert(copy_text(static_cast<size_t>(state.range(0))));
    const std::string next = copy_text(64);
    size_t i = 0;
    for (auto _ : state) {
        sink.insert(std::string_view(&next[i % next.size()], 1));
        ++i;
    }
    state.counters["chars"] = static_cast<double>(pane.document()->characterCount());
}

// The transmit pane (Memo4 at its size) holding a paste of `range(0)` characters.
void TakenCharacter(benchmark::State& state) {
    QPlainTextEdit pane;
    pane.resize(465, 49);
    paste_into_transmit_pane(pane,
                             QString::fromLatin1(copy_text(static_cast<size_t>(state.range(0)))));
    PaneSource source(pane);
    for (auto _ : state)
        benchmark::DoNotOptimize(source.take_first());
}

BENCHMARK(ReceivedCharacter)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(400000)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(50);
BENCHMARK(TakenCharacter)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(400000)
    ->Arg(1000000)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(20);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
