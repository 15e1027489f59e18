// The datagrams for PSK Reporter, read back by an IPFIX reader of the test's own, and the rules
// of when they go, run on a clock the test sets.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "station/pskreporter_packet.h"
#include "station/pskreporter_queue.h"
#include "support/ipfix_reader.h"

namespace {

using namespace quavel;
using quavel::test::read_ipfix;

const SpotReceiver kReceiver{"G3OWN", "IO91wm", "Quavel 1.0"};

Spot spot(const std::string& call, uint32_t hz = 14'080'500, int64_t t = 1'700'000'000) {
    Spot s;
    s.callsign = call;
    s.frequency_hz = hz;
    s.time_s = t;
    return s;
}

TEST(PskReporterDatagram, TemplatesAndRecordsReadBackAsSent) {
    std::vector<Spot> spots{spot("G4ABC"), spot("DL/G4ABC/P", 7'040'100, 1'700'000'100),
                            spot("K1XYZ")};
    spots[2].snr_db = -7; // measured: the template with the SNR
    const auto d = pskreporter_datagram({1'700'000'200, 7, 0xA1B2C3D4}, kReceiver, spots, true);
    ASSERT_EQ(d.size(), pskreporter_datagram_size(kReceiver, spots, true));
    const auto m = read_ipfix(d);
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(m.version, 10);
    EXPECT_EQ(m.export_time, 1'700'000'200u);
    EXPECT_EQ(m.sequence, 7u);
    EXPECT_EQ(m.domain, 0xA1B2C3D4u);

    // Options template, templates, then the receiver's and the senders' data sets, those with
    // an SNR apart; each set a multiple of four bytes.
    ASSERT_EQ(m.sets.size(), 5u);
    EXPECT_EQ(m.sets[0].id, 3);
    EXPECT_EQ(m.sets[1].id, 2);
    EXPECT_EQ(m.sets[2].id, kReceiverTemplateId);
    EXPECT_EQ(m.sets[3].id, kSenderTemplateId);
    EXPECT_EQ(m.sets[4].id, kSenderSnrTemplateId);
    for (const auto& set : m.sets) {
        EXPECT_EQ(set.length % 4, 0u) << set.id;
        EXPECT_LT(set.padding, 4u) << set.id;
    }

    ASSERT_EQ(m.templates.size(), 3u);
    const auto& rx = m.templates[0];
    EXPECT_EQ(rx.id, kReceiverTemplateId);
    EXPECT_EQ(rx.scope_count, 1);
    const auto& tx = m.templates[1];
    EXPECT_EQ(tx.id, kSenderTemplateId);
    struct Expected {
        uint16_t id;
        uint16_t length;
        bool enterprise;
    };
    auto check = [](const quavel::test::IpfixTemplate& t, std::vector<Expected> want) {
        ASSERT_EQ(t.fields.size(), want.size()) << t.id;
        for (std::size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(t.fields[i].id, want[i].id) << t.id << " field " << i;
            EXPECT_EQ(t.fields[i].length, want[i].length) << t.id << " field " << i;
            EXPECT_EQ(t.fields[i].enterprise.value_or(0), want[i].enterprise ? 30351u : 0u)
                << t.id << " field " << i;
        }
    };
    // receiverCallsign (the scope), receiverLocator, decoderSoftware.
    check(rx, {{2, 0xFFFF, true}, {4, 0xFFFF, true}, {8, 0xFFFF, true}});
    // senderCallsign, frequency, mode, informationSource, flowStartSeconds.
    check(tx,
          {{1, 0xFFFF, true}, {5, 4, true}, {10, 0xFFFF, true}, {11, 1, true}, {150, 4, false}});
    // The same with sNR after the frequency.
    EXPECT_EQ(m.templates[2].id, kSenderSnrTemplateId);
    check(m.templates[2], {{1, 0xFFFF, true},
                           {5, 4, true},
                           {34, 1, true},
                           {10, 0xFFFF, true},
                           {11, 1, true},
                           {150, 4, false}});

    const auto& receivers = m.records.at(kReceiverTemplateId);
    ASSERT_EQ(receivers.size(), 1u);
    EXPECT_EQ(receivers[0].text.at(2), "G3OWN");
    EXPECT_EQ(receivers[0].text.at(4), "IO91wm");
    EXPECT_EQ(receivers[0].text.at(8), "Quavel 1.0");
    const auto& senders = m.records.at(kSenderTemplateId);
    ASSERT_EQ(senders.size(), 2u);
    EXPECT_EQ(senders[1].text.at(1), "DL/G4ABC/P");
    EXPECT_EQ(senders[1].number.at(5), 7'040'100u);
    EXPECT_EQ(senders[1].text.at(10), "QUAVEL");
    EXPECT_EQ(senders[1].number.at(11), 1u);
    EXPECT_EQ(senders[1].number.at(150), 1'700'000'100u);
    const auto& measured = m.records.at(kSenderSnrTemplateId);
    ASSERT_EQ(measured.size(), 1u);
    EXPECT_EQ(measured[0].text.at(1), "K1XYZ");
    EXPECT_EQ(static_cast<int8_t>(measured[0].number.at(34)), -7);
    EXPECT_EQ(measured[0].text.at(10), "QUAVEL");
}

TEST(PskReporterDatagram, OverlongStringsAreCutAndTimesOutOfRangeAreZero) {
    Spot s = spot(std::string(300, 'X'), 1, -5);
    s.snr_db = 300;
    const auto d = pskreporter_datagram({}, kReceiver, std::vector<Spot>{s}, true);
    const auto m = read_ipfix(d);
    ASSERT_EQ(m.error, "");
    const auto& r = m.records.at(kSenderSnrTemplateId).at(0);
    EXPECT_EQ(r.text.at(1).size(), 254u);
    EXPECT_EQ(r.number.at(150), 0u);
    EXPECT_EQ(r.number.at(34), 127u);
}

TEST(MaidenheadLocator, FourOrSixCharacters) {
    for (const char* good : {"JO01", "IO91wm", "io91WM", "AA00aa", "RR99xx"})
        EXPECT_TRUE(is_maidenhead_locator(good)) << good;
    for (const char* bad : {"", "JO0", "JO01a", "SS01", "JO0A", "JO01YZ", "JO01ab1", "J O01"})
        EXPECT_FALSE(is_maidenhead_locator(bad)) << bad;
}

// ---- The rules of sending.

class Rules : public ::testing::Test {
protected:
    static constexpr int64_t kStart = 1'700'000'000;
    std::mt19937 random{1};
    PskReporterQueue queue{
        kStart, [this] { return std::uniform_real_distribution<double>(0.0, 1.0)(random); }};
};

TEST_F(Rules, AStationIsReportedAtMostOnceInFiveMinutes) {
    EXPECT_TRUE(queue.add(spot("G4ABC", 14'080'500, kStart)));
    EXPECT_FALSE(queue.add(spot("G4ABC", 14'080'500, kStart + 299)));
    EXPECT_TRUE(queue.add(spot("DL1XYZ", 14'080'500, kStart + 299)));
    EXPECT_TRUE(queue.add(spot("G4ABC", 14'080'500, kStart + 300)));
    EXPECT_EQ(queue.waiting(), 3u);
}

TEST_F(Rules, OneDatagramAboutEveryFiveMinutesWithTemplatesFirstThreeThenHourly) {
    int64_t now = kStart;
    int64_t last_sent = kStart;
    std::vector<bool> templates;
    std::set<int64_t> intervals;
    uint32_t expected_sequence = 0;
    std::map<uint16_t, quavel::test::IpfixTemplate> known; // as a collector keeps them
    for (int minute = 0; minute < 3 * 60; ++minute) {
        queue.add(spot("G" + std::to_string(minute % 10) + "ABC", 14'080'500, now));
        for (int64_t s = 0; s < 60; s += 5, now += 5) {
            auto d = queue.take_due(now, kReceiver);
            if (!d) continue;
            const int64_t interval = now - last_sent;
            EXPECT_GE(interval, PskReporterQueue::kIntervalSeconds -
                                    PskReporterQueue::kIntervalSpreadSeconds);
            EXPECT_LE(interval, PskReporterQueue::kIntervalSeconds +
                                    PskReporterQueue::kIntervalSpreadSeconds + 5);
            intervals.insert(interval);
            last_sent = now;
            const auto m = read_ipfix(*d, known);
            ASSERT_EQ(m.error, "");
            for (const auto& t : m.templates)
                known[t.id] = t;
            EXPECT_LE(d->size(), PskReporterQueue::kMostBytes);
            EXPECT_EQ(m.domain, queue.domain_id());
            EXPECT_EQ(m.sequence, expected_sequence);
            expected_sequence += 1 + static_cast<uint32_t>(m.records.at(kSenderTemplateId).size());
            templates.push_back(!m.templates.empty());
        }
    }
    // Three hours: about 36 datagrams, the templates in the first three and once an hour.
    ASSERT_GE(templates.size(), 30u);
    EXPECT_TRUE(templates[0] && templates[1] && templates[2]);
    const auto with = std::count(templates.begin(), templates.end(), true);
    EXPECT_GE(with, 3 + 1);
    EXPECT_LE(with, 3 + 3);
    // The interval is drawn, not fixed.
    EXPECT_GT(intervals.size(), 1u);
}

TEST_F(Rules, NothingGoesWhileNothingWaits) {
    EXPECT_FALSE(queue.take_due(kStart + 3600, kReceiver));
    EXPECT_FALSE(queue.take_now(kStart + 3600, kReceiver));
    // The first spot after a quiet hour goes at once: the interval since the last one is over.
    queue.add(spot("G4ABC", 14'080'500, kStart + 3600));
    EXPECT_TRUE(queue.take_due(kStart + 3600, kReceiver));
}

TEST_F(Rules, ADatagramFullGoesAtOnceAndTheRestWaits) {
    int added = 0;
    for (; added < 200; ++added)
        queue.add(spot("G" + std::to_string(1000 + added) + "AB", 14'080'500, kStart + 10));
    auto d = queue.take_due(kStart + 10, kReceiver);
    ASSERT_TRUE(d);
    EXPECT_LE(d->size(), PskReporterQueue::kMostBytes);
    EXPECT_GT(d->size(), PskReporterQueue::kMostBytes - 40);
    const auto m = read_ipfix(*d);
    ASSERT_EQ(m.error, "");
    const std::size_t sent = m.records.at(kSenderTemplateId).size();
    EXPECT_EQ(sent + queue.waiting(), static_cast<std::size_t>(added));
    EXPECT_EQ(m.records.at(kSenderTemplateId).front().text.at(1), "G1000AB"); // oldest first
    // Still full: the next one goes at once too; take_now sends whatever is left.
    EXPECT_TRUE(queue.take_due(kStart + 11, kReceiver));
    while (queue.take_now(kStart + 12, kReceiver)) {
    }
    EXPECT_EQ(queue.waiting(), 0u);
}

TEST_F(Rules, AClockThatGoesBackNeitherStopsNorFloods) {
    queue.add(spot("G4ABC", 14'080'500, kStart));
    ASSERT_TRUE(queue.take_now(kStart, kReceiver));
    // Back an hour: the station may be reported again, and the templates go along.
    EXPECT_TRUE(queue.add(spot("G4ABC", 14'080'500, kStart - 3600)));
    auto d = queue.take_now(kStart - 3600, kReceiver);
    ASSERT_TRUE(d);
    EXPECT_FALSE(read_ipfix(*d).templates.empty());
}

} // namespace
