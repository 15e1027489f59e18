#include "company.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <numeric>
#include <string>

#include "texts.h"

namespace quavel::perf {

namespace {

constexpr double kLowestHz = 250.0; // tone 5 within the stretch, with the tones inside too
constexpr double kHighestHz = 2750.0;

std::vector<PairCurve> sweep_each_speed(const BenchContext& ctx, const SweepPlan& plan,
                                        const char* name,
                                        MeasuredScene (*make)(uint32_t, double, int, uint64_t),
                                        std::string& error) {
    std::vector<PairCurve> curves;
    for (const uint32_t speed : plan.speeds) {
        std::fprintf(stderr, "%s, speed %u\n", name, speed);
        curves.push_back(sweep_pair(
            ctx, speed, expected_weak_5pct_db(speed), plan,
            [&](double snr_db, int repeat) { return make(speed, snr_db, repeat, plan.seed); },
            error));
        if (!error.empty()) return {};
    }
    return curves;
}

// The neighbour's text over and over, cut to last at least `seconds` at `speed`.
std::string covering_text(double seconds, uint32_t speed) {
    const auto chars = static_cast<std::size_t>(seconds * speed) + 1;
    std::string text;
    while (text.size() < chars)
        text += std::string(kNeighbourText) + " ";
    return text.substr(0, chars);
}

} // namespace

MeasuredScene crowd_scene(uint32_t speed, double snr_db, int repeat, uint64_t seed) {
    const uint64_t key = seed * 1000 + 500 + speed * 100 + static_cast<uint64_t>(repeat);
    // Gaps of 150..275 Hz, the whole row placed at random inside the stretch.
    std::array<double, kCrowdStations> freq{};
    for (int i = 1; i < kCrowdStations; ++i)
        freq[i] = freq[i - 1] + draw(key, static_cast<uint64_t>(i), 150.0, 275.0);
    const double room = kHighestHz - kLowestHz - freq.back();
    const double first = kLowestHz + draw(key, 20, 0.0, std::max(room, 0.0));
    // Which place each station takes: a shuffle of the ten.
    std::array<int, kCrowdStations> place{};
    std::iota(place.begin(), place.end(), 0);
    for (int i = kCrowdStations - 1; i > 0; --i)
        std::swap(place[i], place[static_cast<int>(draw(key, 30 + i, 0.0, i + 1.0))]);

    static constexpr std::array<uint32_t, 7> kOtherSpeeds{1, 2, 4, 1, 2, 4, 2};
    static constexpr std::array<double, 7> kOtherSnrDb{-10, -6, -2, 2, 5, 8, 10};
    // The others are on the air for as long as the measured overs and no longer: a slow
    // station's whole over would make the recording of a fast one's four times as long.
    const double measured_s = make_over(speed, 1000.0, kOverText).samples.size() / 8000.0;
    MeasuredScene m;
    m.scene.seed = key;
    for (int i = 0; i < kCrowdStations; ++i) {
        const bool measured = i < kCrowdMeasured;
        SceneStation s;
        const uint32_t station_speed = measured ? speed : kOtherSpeeds[i - kCrowdMeasured];
        const std::string text =
            measured ? std::string(kOverText) : covering_text(measured_s + 10.0, station_speed);
        s.over = make_over(station_speed, first + freq[place[i]], text);
        s.snr_db = measured ? snr_db : kOtherSnrDb[i - kCrowdMeasured];
        s.start_sample = static_cast<std::size_t>(draw(key, 50 + i, 1.0, 8.0) * 8000.0);
        m.scene.stations.push_back(std::move(s));
        m.measured.push_back(measured);
    }
    m.scene.length_samples = length_after_overs(m.scene, 4.0);
    return m;
}

MeasuredScene neighbour_scene(uint32_t speed, double snr_db, int repeat, uint64_t seed) {
    const uint64_t key = seed * 1000 + 700 + speed * 100 + static_cast<uint64_t>(repeat);
    const double weak_hz =
        draw(key, 1, kLowestHz + kNeighbourApartHz, kHighestHz - kNeighbourApartHz);
    const double strong_hz = weak_hz + (repeat % 2 == 0 ? kNeighbourApartHz : -kNeighbourApartHz);
    MeasuredScene m;
    m.scene.seed = key;
    SceneStation weak;
    weak.over = make_over(speed, weak_hz, kOverText);
    weak.snr_db = snr_db;
    weak.start_sample = static_cast<std::size_t>(draw(key, 2, 2.0, 4.0) * 8000.0);
    SceneStation strong;
    strong.over = make_over(speed, strong_hz, kNeighbourText);
    strong.snr_db = snr_db + kNeighbourOverDb;
    strong.start_sample = static_cast<std::size_t>(draw(key, 3, 0.3, 1.0) * 8000.0);
    m.scene.stations = {std::move(weak), std::move(strong)};
    m.measured = {true, false};
    m.scene.length_samples = length_after_overs(m.scene, 4.0);
    return m;
}

std::vector<PairCurve> measure_crowd(const BenchContext& ctx, const SweepPlan& plan,
                                     std::string& error) {
    return sweep_each_speed(ctx, plan, "ten stations", &crowd_scene, error);
}

std::vector<PairCurve> measure_neighbour(const BenchContext& ctx, const SweepPlan& plan,
                                         std::string& error) {
    return sweep_each_speed(ctx, plan, "strong neighbour", &neighbour_scene, error);
}

} // namespace quavel::perf
