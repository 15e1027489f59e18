// What the band receiver prints where no station is: white noise alone over the whole stretch for
// a long time, and a steady carrier, alone and beside a station.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scene_run.h"

namespace quavel::perf {

struct NoiseRun {
    double audio_s = 0.0;
    std::vector<BandLine> lines; // every one of them false
    double cpu_s = 0.0;
    double lines_per_hour() const { return audio_s > 0 ? lines.size() * 3600.0 / audio_s : 0.0; }
};

NoiseRun measure_noise(const BenchContext& ctx, double seconds, uint64_t seed, std::string& error);

struct CarrierCase {
    std::string name;
    double carrier_hz = 0.0;
    double carrier_db = 0.0; // over the noise in 2500 Hz
    uint32_t speed = 0;      // of the station beside it; 0: none
    double station_hz = 0.0;
    double station_snr_db = 0.0;
    double audio_s = 0.0;
    // Results.
    std::size_t false_lines = 0; // near no station (the carrier's among them)
    bool station_listed = false;
    std::size_t station_errors = 0;
    std::size_t station_chars = 0;
    std::size_t wrong_speed_lines = 0;
};

std::vector<CarrierCase> measure_carriers(const BenchContext& ctx, uint64_t seed,
                                          std::string& error);

} // namespace quavel::perf
