#include "band_probe.h"

#include <algorithm>
#include <map>
#include <memory>

#include "rx/band_receiver.h"

namespace quavel::perf {

namespace {

class Recorder : public BandListener {
public:
    explicit Recorder(const BandReceiver& rx) : rx_(rx) {}

    void text(const BandStation& station, std::string_view text) override {
        ProbeStation& s = entry(station);
        if (s.text.empty() && s.printed_s.empty()) {
            s.found_s = rx_.time_s();
            s.held = text.size();
        }
        s.speed = station.speed;
        s.text += text;
        s.printed_s.insert(s.printed_s.end(), text.size(), rx_.time_s());
    }
    void line(const quavel::BandLine& line) override {
        ProbeStation& s = entry(line.station);
        s.lines.push_back({line.time_s, line.station.id, line.station.freq_hz, line.station.speed,
                           line.station.snr_db, std::string(line.text)});
    }

    std::vector<ProbeStation> stations() const {
        std::vector<ProbeStation> out;
        for (const auto& [id, s] : stations_)
            out.push_back(s);
        return out;
    }

private:
    ProbeStation& entry(const BandStation& station) {
        ProbeStation& s = stations_[station.id];
        s.id = station.id;
        s.freq_hz = station.freq_hz;
        return s;
    }

    const BandReceiver& rx_;
    std::map<uint32_t, ProbeStation> stations_;
};

} // namespace

std::vector<ProbeStation> probe_band(std::span<const int16_t> samples, BandRange range) {
    auto rx = std::make_unique<BandReceiver>();
    rx->reset({range.from_hz, range.to_hz, true});
    Recorder recorder(*rx);
    for (std::size_t at = 0; at < samples.size(); at += kProbeStepSamples)
        rx->push(samples.subspan(at, std::min(kProbeStepSamples, samples.size() - at)), recorder);
    rx->finish(recorder);
    return recorder.stations();
}

} // namespace quavel::perf
