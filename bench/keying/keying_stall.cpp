// How long a rig that misbehaves holds up the thread that calls into the keying, and how soon
// its loss ends a transmission. A real rigctld (hamlib's dummy rig) is reached either directly or
// through a loopback proxy that can trickle its replies one byte every 0.6 s; the rig is then
// frozen (SIGSTOP), trickled, or killed in the middle of a transmission.
//
//   quavel_keying_stall [RUNS]     (default 3 runs of each case)
//
// "direct call" is one HamlibPtt::key() on the calling thread, as the window made it before the
// keying had a thread of its own; "longest station call" is the longest single call the window
// makes into the station (Tx ON, the Timer2 and Timer3 ticks, Tx OFF) over the same fault.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/hamlib/hamlib_ptt.h"
#include "platform/wav/wav_output.h"
#include "rx/memory_canvas.h"
#include "station/station.h"
#include "support/recording_messages.h"
#include "support/rigctld.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double ms_since(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// A loopback TCP proxy in front of the rig: passes everything through, or, once trickling,
// hands the rig's replies on one byte every 0.6 s.
class Proxy {
public:
    explicit Proxy(int rig_port) : rig_port_(rig_port) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const int yes = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof addr;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), size);
        ::listen(listener_, 4);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &size);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~Proxy() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    void trickle(bool on) { trickle_ = on; }

private:
    void serve() {
        int client = -1;
        int rig = -1;
        std::string pending; // from the rig, not yet handed on
        Clock::time_point next_byte = Clock::now();
        while (!stop_) {
            pollfd fds[3] = {{listener_, POLLIN, 0}, {client, POLLIN, 0}, {rig, POLLIN, 0}};
            ::poll(fds, 3, 20);
            if (fds[0].revents & POLLIN) {
                if (client >= 0) ::close(client);
                if (rig >= 0) ::close(rig);
                client = ::accept(listener_, nullptr, nullptr);
                rig = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in addr{};
                addr.sin_family = AF_INET;
                addr.sin_port = htons(static_cast<uint16_t>(rig_port_));
                addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                ::connect(rig, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
                pending.clear();
            }
            char buffer[4096];
            if (client >= 0 && (fds[1].revents & POLLIN)) {
                const ssize_t n = ::read(client, buffer, sizeof buffer);
                if (n > 0) [[maybe_unused]]
                    auto w = ::write(rig, buffer, static_cast<size_t>(n));
            }
            if (rig >= 0 && (fds[2].revents & POLLIN)) {
                const ssize_t n = ::read(rig, buffer, sizeof buffer);
                if (n > 0) pending.append(buffer, static_cast<size_t>(n));
            }
            if (client < 0 || pending.empty()) continue;
            if (!trickle_) {
                [[maybe_unused]] auto w = ::write(client, pending.data(), pending.size());
                pending.clear();
            } else if (Clock::now() >= next_byte) {
                [[maybe_unused]] auto w = ::write(client, pending.data(), 1);
                pending.erase(0, 1);
                next_byte = Clock::now() + 600ms;
            }
        }
        if (client >= 0) ::close(client);
        if (rig >= 0) ::close(rig);
    }

    int rig_port_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> trickle_{false};
    std::thread thread_;
};

int port_of(const std::string& address) {
    return std::atoi(address.substr(address.find(':') + 1).c_str());
}

enum class Fault { None, Freeze, Trickle, Kill };
const char* name(Fault f) {
    return f == Fault::None      ? "none (the rig answers)"
           : f == Fault::Freeze  ? "rig stopped (SIGSTOP)"
           : f == Fault::Trickle ? "rig trickling 1 byte / 0.6 s"
                                 : "rig killed";
}

// The old way: one key() on this thread while the rig misbehaves.
double direct_call_ms(Fault fault) {
    quavel::test::Rigctld rig;
    Proxy proxy(port_of(rig.address()));
    quavel::HamlibPtt cat(quavel::kHamlibNetModel);
    if (!cat.open(proxy.address())) return -1;
    if (fault == Fault::Freeze) rig.freeze();
    if (fault == Fault::Trickle) proxy.trickle(true);
    if (fault == Fault::Kill) rig.kill();
    const Clock::time_point t = Clock::now();
    cat.key(true);
    const double ms = ms_since(t);
    rig.thaw();
    proxy.trickle(false);
    return ms;
}

struct StationFigures {
    double longest_call_ms = 0; // the longest single tick or Tx ON into the station
    double tx_off_ms = 0;       // Tx OFF: cuts the sound, finishes the WAV file, asks a release
    double ended_after_ms = -1; // from the fault until the transmission had ended
};

StationFigures station_run(Fault fault) {
    quavel::test::Rigctld rig;
    Proxy proxy(port_of(rig.address()));
    const std::string wav = "/tmp/quavel-keying-stall-" + std::to_string(::getpid()) + ".wav";
    quavel::HamlibPtt cat(quavel::kHamlibNetModel);
    quavel::StringPane memo1, memo2, memo4, memo5;
    quavel::MemoryCanvas waterfall{320, 20}, scope{128, 64}, spectrum{80, 64};
    quavel::RecordingMessages messages;
    quavel::StationEvents events;
    StationFigures f;
    {
        quavel::WavOutput out(wav);
        quavel::Station station({memo1, memo2, memo4, memo5}, waterfall, scope, spectrum, messages,
                                events);
        station.set_audio_output(&out);
        station.set_ptt(&cat, proxy.address());
        station.set_keying_required(true);
        station.activate(quavel::Speed::Four, 2);
        station.settle_keying();
        const auto timed = [&](const std::function<void()>& call) {
            const Clock::time_point t = Clock::now();
            call();
            f.longest_call_ms = std::max(f.longest_call_ms, ms_since(t));
        };
        timed([&] { station.start_transmission(); });
        const auto tick = [&] {
            out.pump();
            timed([&] { station.transmit_tick(); });
            timed([&] { station.capture_tick(); });
            std::this_thread::sleep_for(10ms);
        };
        for (int i = 0; i < 50; ++i)
            tick();
        if (fault == Fault::Freeze) rig.freeze();
        if (fault == Fault::Trickle) proxy.trickle(true);
        if (fault == Fault::Kill) rig.kill();
        const Clock::time_point faulted = Clock::now();
        while (station.transmitting() && ms_since(faulted) < (fault == Fault::None ? 3000 : 10000))
            tick();
        if (!station.transmitting()) f.ended_after_ms = ms_since(faulted);
        // Tx ON again, refused or not, and Tx OFF: neither may wait on the rig either.
        timed([&] { station.start_transmission(); });
        for (int i = 0; i < 20; ++i)
            tick();
        const Clock::time_point off = Clock::now();
        station.stop_transmission();
        f.tx_off_ms = ms_since(off);
        rig.thaw();
        proxy.trickle(false);
    }
    std::remove(wav.c_str());
    return f;
}

struct Spread {
    double min, median, max;
};
Spread spread(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2], v.back()};
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    if (!quavel::test::Rigctld().skip_reason().empty()) {
        std::fprintf(stderr, "quavel_keying_stall: needs hamlib's rigctld (libhamlib-utils)\n");
        return 1;
    }
    std::printf(
        "| fault | direct call ms (min/median/max) | longest tick or Tx ON ms | Tx OFF ms | "
        "transmission ended after ms |\n|---|--:|--:|--:|--:|\n");
    for (const Fault fault : {Fault::None, Fault::Freeze, Fault::Trickle, Fault::Kill}) {
        std::vector<double> direct, longest, off, ended;
        for (int i = 0; i < runs; ++i) {
            direct.push_back(direct_call_ms(fault));
            const StationFigures f = station_run(fault);
            longest.push_back(f.longest_call_ms);
            off.push_back(f.tx_off_ms);
            ended.push_back(f.ended_after_ms);
        }
        const Spread d = spread(direct), l = spread(longest), o = spread(off), e = spread(ended);
        std::printf("| %s | %.0f / %.0f / %.0f | %.1f / %.1f / %.1f | %.1f / %.1f / %.1f | "
                    "%.0f / %.0f / %.0f |\n",
                    name(fault), d.min, d.median, d.max, l.min, l.median, l.max, o.min, o.median,
                    o.max, e.min, e.median, e.max);
    }
    std::printf("\n%d runs of each; -1: did not end (within 3 s without a fault, 10 s with one;\n"
                "a trickling rig still answers within its timeout and reports its PTT, so the\n"
                "transmission goes on while the window does not wait on it).\n",
                runs);
    return 0;
}
