// The band benchmark's own instruments: the reading of the tool's JSON lines, the recordings it
// mixes, the matching of lines to stations and the weak receiver's copy beside them. A fault
// here would make every figure of the benchmark wrong without the receiver being at fault.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "band/band_lines.h"
#include "band/band_tables.h"
#include "band/company.h"
#include "band/over.h"
#include "band/scene.h"
#include "band/score.h"
#include "band/weak_copy.h"
#include "channel/white_noise.h"

namespace quavel::perf {
namespace {

struct LineCase {
    const char* name;
    const char* json;
    bool valid;
    double time_s;
    std::optional<double> snr_db;
    const char* text;
};

TEST(BandLines, ReadsTheToolsObjectsAndRefusesTheRest) {
    const LineCase cases[] = {
        {"whole",
         R"({"time_s":12.34,"station":3,"freq_hz":1234.5,"speed":2,"snr_db":-12.3,)"
         R"("text":"CQ CQ DE G4ABC"})",
         true, 12.34, -12.3, "CQ CQ DE G4ABC"},
        {"any order, unknown keys, spaces",
         R"( { "text" : "K" , "extra" : true, "speed":4,"freq_hz":2000,"station":1,)"
         R"("snr_db":null,"time_s":1e1 } )",
         true, 10.0, std::nullopt, "K"},
        {"escapes",
         R"({"time_s":0,"station":1,"freq_hz":1,"speed":1,"snr_db":null,)"
         R"("text":"A\"B\\C\u0044"})",
         true, 0.0, std::nullopt, "A\"B\\CD"},
        {"no text", R"({"time_s":0,"station":1,"freq_hz":1,"speed":1,"snr_db":null})", false, 0,
         std::nullopt, ""},
        {"no speed", R"({"time_s":0,"station":1,"freq_hz":1,"snr_db":1,"text":""})", false, 0,
         std::nullopt, ""},
        {"text unterminated", R"({"time_s":0,"station":1,"freq_hz":1,"speed":1,"text":"AB})", false,
         0, std::nullopt, ""},
        {"something after it", R"({"time_s":0,"station":1,"freq_hz":1,"speed":1,"text":""} x)",
         false, 0, std::nullopt, ""},
        {"not an object", "quavel-modem rx: 3 stations", false, 0, std::nullopt, ""},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto line = parse_band_line(c.json);
        ASSERT_EQ(line.has_value(), c.valid);
        if (!c.valid) continue;
        EXPECT_DOUBLE_EQ(line->time_s, c.time_s);
        EXPECT_EQ(line->snr_db, c.snr_db);
        EXPECT_EQ(line->text, c.text);
    }
    std::size_t bad = 0;
    const auto lines = parse_band_output(
        "{\"time_s\":1,\"station\":2,\"freq_hz\":500.5,\"speed\":4,\"snr_db\":3,\"text\":\"A\"}\n"
        "\n"
        "garbage\n"
        "{\"time_s\":2,\"station\":2,\"freq_hz\":500.5,\"speed\":4,\"snr_db\":3,\"text\":\"B\"}",
        bad);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(bad, 1u);
    EXPECT_EQ(lines[1].station, 2u);
    EXPECT_EQ(lines[1].speed, 4u);
    EXPECT_DOUBLE_EQ(lines[1].freq_hz, 500.5);
}

TEST(BandLines, TheToolsLinesAreTheLibrarysUpToItsBlock) {
    const BandLine a{.time_s = 10.004,
                     .station = 1,
                     .freq_hz = 700.04,
                     .speed = 2,
                     .snr_db = -3.0,
                     .text = "CQ DE G4ABC"};
    const BandLine b{
        .time_s = 10.5, .station = 2, .freq_hz = 1400.0, .speed = 4, .snr_db = {}, .text = "QRZ"};
    struct Case {
        const char* name;
        BandLine tool_a;    // the tool's line of station 1
        double library_b_s; // station 2's line, by the library and by the tool
        double tool_b_s;
        bool same;
    };
    const auto with = [&](auto change) {
        BandLine l = a;
        change(l);
        return l;
    };
    const Case cases[] = {
        {"the same", a, 10.5, 10.5, true},
        {"a block later", with([](BandLine& l) { l.time_s += 0.256; }), 10.5, 10.7, true},
        {"later than a block", with([](BandLine& l) { l.time_s += 0.3; }), 10.5, 10.5, false},
        {"earlier", with([](BandLine& l) { l.time_s -= 0.02; }), 10.5, 10.5, false},
        // Later by a block, it now ends after station 2's line: held by station, not time.
        {"passing another station's", with([](BandLine& l) { l.time_s += 0.25; }), 10.1, 10.2,
         true},
        {"another text", with([](BandLine& l) { l.text += "K"; }), 10.5, 10.5, false},
        {"another speed", with([](BandLine& l) { l.speed = 1; }), 10.5, 10.5, false},
        {"another frequency", with([](BandLine& l) { l.freq_hz += 0.2; }), 10.5, 10.5, false},
        {"no SNR", with([](BandLine& l) { l.snr_db.reset(); }), 10.5, 10.5, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BandLine tool_b = b;
        tool_b.time_s = c.tool_b_s;
        BandLine library_b = b;
        library_b.time_s = c.library_b_s;
        // The tool prints in time order, the library's lines come per station.
        const auto tool = as_printed({tool_b, c.tool_a});
        const auto library = as_printed({a, library_b});
        EXPECT_EQ(same_lines(tool, library, 0.256), c.same);
    }
    EXPECT_FALSE(same_lines(as_printed({a}), as_printed({a, b}), 0.256));
}

TEST(BandOver, TimesEachCharacterByItsLastSymbol) {
    // '#' is not in the code and is not sent; '?' goes as an escape and its pair.
    const Over over = make_over(4, 2345.5, "A#?B");
    const std::size_t N = 2048;
    EXPECT_EQ(over.symbol_samples, N);
    EXPECT_EQ(over.text, "A?B");
    EXPECT_EQ(over.char_end_samples,
              (std::vector<std::size_t>{(kLeadIdleSymbols + 1) * N, (kLeadIdleSymbols + 3) * N,
                                        (kLeadIdleSymbols + 4) * N}));
    EXPECT_EQ(over.samples.size(), (kLeadIdleSymbols + 4 + kTailIdleSymbols) * N);
}

double mean_square(const std::vector<int16_t>& s) {
    double sum = 0.0;
    for (const int16_t v : s)
        sum += double(v) * v;
    return sum / double(s.size());
}

TEST(BandScene, SetsEachStationAgainstTheSameNoise) {
    for (const double snr_db : {-20.0, 0.0, 10.0}) {
        SCOPED_TRACE(snr_db);
        Scene scene;
        SceneStation s;
        s.over = make_over(2, 700.0, "CQ CQ DE G4ABC");
        s.snr_db = snr_db;
        scene.stations.push_back(s);
        scene.noise = false;
        const double signal = mean_square(render(scene).samples);
        // The station's own span is all of this recording: its power is the mean square.
        const double expected =
            kNoiseRms * kNoiseRms / channel::noise_variance_for_snr(1.0, snr_db);
        EXPECT_NEAR(10.0 * std::log10(signal / expected), 0.0, 0.05);
    }
    Scene noise;
    noise.length_samples = 400000;
    EXPECT_NEAR(mean_square(render(noise).samples) / (kNoiseRms * kNoiseRms), 1.0, 0.01);
}

TEST(BandScore, GivesEachLineToTheNearestStationWithinReach) {
    Scene scene;
    for (const double hz : {500.0, 650.0}) {
        SceneStation s;
        s.over = make_over(4, hz, "CQ DE G4ABC");
        scene.stations.push_back(s);
    }
    const std::vector<BandLine> lines{
        {.time_s = 9.0, .station = 2, .freq_hz = 503.0, .speed = 4, .snr_db = {}, .text = "G4ABC"},
        {.time_s = 5.0, .station = 1, .freq_hz = 497.0, .speed = 4, .snr_db = {}, .text = "CQ DE "},
        {.time_s = 6.0,
         .station = 3,
         .freq_hz = 640.0,
         .speed = 2,
         .snr_db = {},
         .text = "CQ DE G4ABC"},
        {.time_s = 7.0, .station = 4, .freq_hz = 575.0, .speed = 4, .snr_db = {}, .text = "EEE"},
    };
    const SceneScore score = score_scene(scene, lines);
    ASSERT_EQ(score.stations.size(), 2u);
    EXPECT_EQ(score.stations[0].text, "CQ DE G4ABC"); // in time order, not output order
    EXPECT_EQ(score.stations[0].errors, 0u);
    EXPECT_EQ(score.stations[0].ids, 2u);
    EXPECT_EQ(score.stations[0].first_line_s, 5.0);
    EXPECT_EQ(score.stations[0].line_ends,
              (std::vector<std::pair<std::size_t, double>>{{6, 5.0}, {11, 9.0}}));
    EXPECT_EQ(score.stations[1].wrong_speed, 1u);
    ASSERT_EQ(score.false_lines.size(), 1u); // 75 Hz from both: nobody's
    EXPECT_EQ(score.false_lines[0].station, 4u);
    EXPECT_EQ(score_scene(scene, {}).stations[1].errors, scene.stations[1].over.text.size());
}

TEST(BandWeakCopy, CopiesAStationAnywhereInTheStretch) {
    // Above the weak receiver's tuning range it copies the scene's twin, sent lower.
    for (const double hz : {812.3, 2612.7}) {
        SCOPED_TRACE(hz);
        Scene scene;
        SceneStation s;
        s.over = make_over(4, hz, "CQ CQ DE G4ABC G4ABC K");
        s.snr_db = 5.0;
        s.start_sample = 12345;
        scene.stations.push_back(s);
        scene.length_samples = length_after_overs(scene, 2.0);
        const WeakCopy copy = copy_weak(scene, 0, render(scene).samples);
        EXPECT_EQ(copy.text, s.over.text);
        ASSERT_TRUE(copy.lock_s.has_value());
        EXPECT_GT(*copy.lock_s, scene.stations[0].start_s());
    }
}

TEST(BandWeakCopy, TheTwinMovesEverythingAlikeAndKeepsTheNoise) {
    Scene scene;
    for (const double hz : {1700.0, 2600.25, 400.0}) {
        SceneStation s;
        s.over = make_over(2, hz, "CQ");
        s.snr_db = hz / 1000.0;
        scene.stations.push_back(s);
    }
    scene.carriers.push_back({2700.0, 10.0});
    scene.carriers.push_back({300.0, 10.0});
    EXPECT_FALSE(weak_twin(scene, 0).has_value()); // within the range: the recording itself
    const auto twin = weak_twin(scene, 1);
    ASSERT_TRUE(twin.has_value());
    ASSERT_EQ(twin->stations.size(), 2u); // 400 Hz would go below 150 Hz
    EXPECT_DOUBLE_EQ(twin->stations[0].over.tone5_hz, 1800.25);
    EXPECT_DOUBLE_EQ(twin->stations[0].snr_db, scene.stations[1].snr_db);
    EXPECT_DOUBLE_EQ(twin->stations[1].over.tone5_hz, 900.0);
    ASSERT_EQ(twin->carriers.size(), 1u);
    EXPECT_DOUBLE_EQ(twin->carriers[0].freq_hz, 1900.0);
    EXPECT_EQ(twin->seed, scene.seed);
    EXPECT_EQ(twin->length_samples, length_after_overs(scene, 0.0));
}

TEST(BandTables, PercentileByNearestRank) {
    const std::vector<double> v{5, 1, 4, 2, 3};
    EXPECT_EQ(percentile(v, 0.5), 3.0);
    EXPECT_EQ(percentile(v, 0.95), 5.0);
    EXPECT_EQ(percentile(v, 0.0), 1.0);
    EXPECT_EQ(percentile({}, 0.5), std::nullopt);
}

TEST(BandScenes, ACrowdKeepsItsSpacingAndItsLevels) {
    for (const uint32_t speed : {1u, 2u, 4u}) {
        for (int repeat = 0; repeat < 2; ++repeat) {
            SCOPED_TRACE(::testing::Message() << "speed " << speed << " repeat " << repeat);
            const MeasuredScene m = crowd_scene(speed, -17.5, repeat, 3);
            ASSERT_EQ(m.scene.stations.size(), static_cast<std::size_t>(kCrowdStations));
            std::vector<double> freqs;
            int measured = 0;
            for (std::size_t i = 0; i < m.scene.stations.size(); ++i) {
                const SceneStation& s = m.scene.stations[i];
                freqs.push_back(s.over.tone5_hz);
                if (m.measured[i]) {
                    ++measured;
                    EXPECT_EQ(s.over.speed, speed);
                    EXPECT_EQ(s.snr_db, -17.5);
                } else {
                    EXPECT_GE(s.snr_db, -10.0);
                    EXPECT_LE(s.snr_db, 10.0);
                }
            }
            EXPECT_EQ(measured, kCrowdMeasured);
            // The others are on the air while the measured ones send, and not much longer (their
            // later start, 10 s and the idle symbols at speed 1).
            double measured_end_s = 0.0;
            for (std::size_t i = 0; i < m.scene.stations.size(); ++i) {
                if (m.measured[i])
                    measured_end_s = std::max(measured_end_s, m.scene.stations[i].end_s());
            }
            for (std::size_t i = 0; i < m.scene.stations.size(); ++i) {
                if (m.measured[i]) continue;
                EXPECT_GE(m.scene.stations[i].end_s(), measured_end_s);
                EXPECT_LE(m.scene.stations[i].end_s(), measured_end_s + 35.0);
            }
            std::sort(freqs.begin(), freqs.end());
            EXPECT_GE(freqs.front(), 250.0);
            EXPECT_LE(freqs.back(), 2750.0);
            for (std::size_t i = 1; i < freqs.size(); ++i)
                EXPECT_GE(freqs[i] - freqs[i - 1], 150.0);
        }
    }
}

TEST(BandScenes, AStrongNeighbourCoversTheWeakerOver) {
    for (const uint32_t speed : {1u, 2u, 4u}) {
        for (int repeat = 0; repeat < 4; ++repeat) {
            SCOPED_TRACE(::testing::Message() << "speed " << speed << " repeat " << repeat);
            const MeasuredScene m = neighbour_scene(speed, -15.0, repeat, 1);
            ASSERT_EQ(m.scene.stations.size(), 2u);
            const SceneStation& weak = m.scene.stations[0];
            const SceneStation& strong = m.scene.stations[1];
            EXPECT_TRUE(m.measured[0]);
            EXPECT_FALSE(m.measured[1]);
            EXPECT_EQ(strong.over.speed, speed);
            EXPECT_DOUBLE_EQ(strong.snr_db - weak.snr_db, kNeighbourOverDb);
            EXPECT_NEAR(std::abs(strong.over.tone5_hz - weak.over.tone5_hz), kNeighbourApartHz,
                        1e-9);
            EXPECT_LE(strong.start_s(), weak.start_s());
            EXPECT_GE(strong.end_s(), weak.end_s());
        }
    }
}

TEST(BandScenes, ARepeatKeepsItsPlaceAtEverySnr) {
    const Scene a = lone_station_scene(2, -20.0, 1, 5);
    const Scene b = lone_station_scene(2, -15.0, 1, 5);
    const Scene other = lone_station_scene(2, -20.0, 2, 5);
    EXPECT_EQ(a.seed, b.seed);
    EXPECT_EQ(a.stations[0].over.tone5_hz, b.stations[0].over.tone5_hz);
    EXPECT_EQ(a.stations[0].start_sample, b.stations[0].start_sample);
    EXPECT_NE(a.seed, other.seed);
    EXPECT_NE(a.stations[0].over.tone5_hz, other.stations[0].over.tone5_hz);
}

TEST(BandTables, JudgesTheBandReceiverAgainstTheWeakOnesPoint) {
    // 5% crossed a third of a decade down from 10%: 0.301 dB past the point above it.
    const auto point = [](double snr, double band, double weak) {
        PairPoint p;
        p.snr_db = snr;
        p.overs = 1;
        p.chars = 10000;
        p.band_errors = static_cast<std::size_t>(band * 10000);
        p.weak_errors = static_cast<std::size_t>(weak * 10000);
        return p;
    };
    struct Case {
        const char* name;
        double band_shift_db;
        const char* row;
    };
    const Case cases[] = {
        {"1 dB worse", 1.0, "| 2 | -18.7 | -17.7 | 1.0 dB | no (by 0.5) |"},
        {"as good", 0.0, "| 2 | -18.7 | -18.7 | 0.0 dB | yes |"},
        {"half a dB worse", 0.5, "| 2 | -18.7 | -18.2 | 0.5 dB | yes |"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BandResults r;
        PairCurve curve;
        curve.speed = 2;
        // The weak receiver's curve, and the band receiver's the same moved up.
        for (int k = 0; k < 4; ++k) {
            const double snr = -20.0 + k;
            const double weak = std::pow(10.0, -(k + 0.0)) * 0.9;
            const double band = std::pow(10.0, -(k - c.band_shift_db)) * 0.9;
            curve.points.push_back(point(snr, std::min(band, 1.0), weak));
        }
        r.alone.emplace({curve});
        const auto blocks = band_document_blocks(r, BandRunInfo{});
        const auto found = std::find_if(blocks.begin(), blocks.end(), [](const auto& b) {
            return b.first == "band-sensitivity";
        });
        ASSERT_NE(found, blocks.end());
        EXPECT_NE(found->second.find(c.row), std::string::npos) << found->second;
    }
}

TEST(BandTables, EveryBlockHasItsPlaceInTheDocument) {
    std::ifstream in(std::string(QUAVEL_SOURCE_DIR) + "/docs/PERFORMANCE.md");
    std::stringstream doc;
    doc << in.rdbuf();
    BandResults r;
    r.alone.emplace();
    r.crowd.emplace();
    r.neighbour.emplace();
    r.calls.emplace();
    r.noise.emplace();
    r.carriers.emplace();
    r.cost.emplace();
    const auto blocks = band_document_blocks(r, BandRunInfo{});
    EXPECT_EQ(blocks.size(), 9u);
    for (const auto& [name, content] : blocks) {
        SCOPED_TRACE(name);
        EXPECT_NE(doc.str().find("<!-- generated:" + name + " -->"), std::string::npos);
        EXPECT_NE(doc.str().find("<!-- /generated:" + name + " -->"), std::string::npos);
    }
}

} // namespace
} // namespace quavel::perf
