// Reporting stations heard: the console with Options > Report Stations Heard sends what its
// panes copy to a collector on 127.0.0.1 (a real UDP socket), and nothing while it is off.
#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUdpSocket>
#include <functional>
#include <gtest/gtest.h>

#include "station/pskreporter_packet.h"
#include "support/ipfix_reader.h"
#include "support/qt_wait.h"
#include "ui/quavel25_spots.h"
#include "ui_support.h"

namespace {

using quavel::test::read_ipfix;
using quavel::test::wait_until;

class Spots : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        ASSERT_TRUE(collector.bind(QHostAddress::LocalHost, 0));
        write_file(dir.path(), "KEYSETUP.INI", "G3OWN NONE NONE");
        configure([&](AppSettings& s) {
            s.set_spots_host("127.0.0.1");
            s.set_spots_port(collector.localPort());
            s.set_dial_frequency_hz(14'080'000);
            s.set_station_locator("IO91wm");
        });
    }
    // The settings file the window will read, written before it is created.
    void configure(const std::function<void(AppSettings&)>& change) {
        form.reset();
        settings.reset();
        AppSettings s(path("quavel.ini"));
        change(s);
        ASSERT_TRUE(s.sync());
    }
    // The next datagram the collector gets, read.
    quavel::test::IpfixMessage next_datagram() {
        if (!wait_until([&] { return collector.hasPendingDatagrams(); })) return {};
        QByteArray bytes(static_cast<int>(collector.pendingDatagramSize()), '\0');
        collector.readDatagram(bytes.data(), bytes.size());
        return read_ipfix(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    QUdpSocket collector;
};

TEST_F(Spots, ACallCopiedGoesToTheCollectorWithTheRfFrequency) {
    create_form();
    activate();
    form->ReportSpots1->setChecked(true);
    EXPECT_EQ(form->locator_dialog(), nullptr); // a locator is known: nothing to ask
    emit form->text_received(0, "CQ CQ DE G4A");
    emit form->text_received(0, "BC G4ABC K\n");
    // The second pane copies the same station: one spot.
    emit form->text_received(1, "CQ CQ DE G4ABC G4ABC K\n");
    ASSERT_EQ(form->spot_reporter()->waiting(), 1u);
    form->spot_reporter()->send_now();
    const auto m = next_datagram();
    ASSERT_EQ(m.error, "");
    ASSERT_EQ(m.version, 10);
    const auto& receiver = m.records.at(quavel::kReceiverTemplateId).at(0);
    EXPECT_EQ(receiver.text.at(2), "G3OWN");
    EXPECT_EQ(receiver.text.at(4), "IO91wm");
    EXPECT_EQ(receiver.text.at(8).rfind("Quavel ", 0), 0u);
    const auto& senders = m.records.at(quavel::kSenderTemplateId);
    ASSERT_EQ(senders.size(), 1u);
    EXPECT_EQ(senders[0].text.at(1), "G4ABC");
    // The dial plus the centre frequency on the upper sideband.
    ASSERT_TRUE(form->rf_frequency_hz());
    EXPECT_EQ(senders[0].number.at(5), static_cast<uint64_t>(*form->rf_frequency_hz()));
    EXPECT_EQ(senders[0].text.at(10), "QUAVEL");
    EXPECT_TRUE(settings->report_spots());
}

// Off, nothing is queued: the first datagram the collector sees is the one sent once it is on.
TEST_F(Spots, NothingIsReportedWhileOff) {
    create_form();
    activate();
    emit form->text_received(0, "DE G4AAA G4AAA ");
    form->spot_reporter()->send_now();
    EXPECT_EQ(form->spot_reporter()->waiting(), 0u);

    form->ReportSpots1->setChecked(true);
    emit form->text_received(0, "DE G4CCC G4CCC ");
    form->ReportSpots1->setChecked(false); // what waits goes as it ends
    const auto m = next_datagram();
    ASSERT_EQ(m.error, "");
    const auto& senders = m.records.at(quavel::kSenderTemplateId);
    ASSERT_EQ(senders.size(), 1u);
    EXPECT_EQ(senders[0].text.at(1), "G4CCC");
    EXPECT_FALSE(settings->report_spots());
}

// A spot needs our callsign and the RF frequency: without either nothing is queued (rather
// than a spot on a wrong frequency).
TEST_F(Spots, WithoutTheDialOrOurCallNothingIsQueued) {
    configure([](AppSettings& s) { s.set_dial_frequency_hz(0); });
    create_form();
    activate();
    form->ReportSpots1->setChecked(true);
    emit form->text_received(0, "DE G4BBB G4BBB ");
    EXPECT_EQ(form->spot_reporter()->waiting(), 0u);
    EXPECT_TRUE(form->ReportSpots1->toolTip().contains("dial"));

    configure([](AppSettings& s) { s.set_dial_frequency_hz(14'080'000); });
    write_file(dir.path(), "KEYSETUP.INI", "NOCALL NONE NONE");
    create_form();
    activate();
    ASSERT_TRUE(form->ReportSpots1->isChecked()); // remembered
    emit form->text_received(0, "DE G4BBB G4BBB ");
    EXPECT_EQ(form->spot_reporter()->waiting(), 0u);
    EXPECT_FALSE(form->spot_reporter()->not_ready().isEmpty());
}

// The SNR the receiver measured goes with the spot, in whole dB; a spot without one goes by
// the template without it.
TEST_F(Spots, TheMeasuredSnrGoesWithTheSpot) {
    AppSettings s(path("quavel.ini"));
    std::optional<double> snr = -12.4;
    SpotReporter reporter(s, {[] { return std::string("G3OWN"); },
                              [] { return std::optional<double>(14'081'000.0); },
                              [&] { return snr; }});
    reporter.set_enabled(true);
    reporter.hear(0, "DE G4ABC G4ABC ");
    snr.reset();
    reporter.hear(0, "DE K1XYZ K1XYZ ");
    reporter.send_now();
    const auto m = next_datagram();
    ASSERT_EQ(m.error, "");
    const auto& measured = m.records.at(quavel::kSenderSnrTemplateId);
    ASSERT_EQ(measured.size(), 1u);
    EXPECT_EQ(measured[0].text.at(1), "G4ABC");
    EXPECT_EQ(static_cast<int8_t>(measured[0].number.at(34)), -12);
    EXPECT_EQ(m.records.at(quavel::kSenderTemplateId).at(0).text.at(1), "K1XYZ");
}

// A station of the band-activity list is reported at its own RF frequency; our own call never.
TEST_F(Spots, ABandActivityStationIsReportedAtItsOwnFrequency) {
    AppSettings s(path("quavel.ini"));
    SpotReporter reporter(s, {[] { return std::string("G3OWN"); },
                              [] { return std::optional<double>(14'081'000.0); },
                              [] { return std::optional<double>(); }});
    reporter.set_enabled(true);
    reporter.hear_station("G3OWN", 14'071'500.0, -3.0);
    reporter.hear_station("DL1XYZ", 14'071'500.0, -7.4);
    reporter.hear_station("K1ABC", std::nullopt, -7.4); // the dial not known
    EXPECT_EQ(reporter.waiting(), 1u);
    reporter.send_now();
    const auto m = next_datagram();
    ASSERT_EQ(m.error, "");
    const auto& spots = m.records.at(quavel::kSenderSnrTemplateId);
    ASSERT_EQ(spots.size(), 1u);
    EXPECT_EQ(spots[0].text.at(1), "DL1XYZ");
    EXPECT_EQ(spots[0].number.at(5), 14'071'500u);
    EXPECT_EQ(static_cast<int8_t>(spots[0].number.at(34)), -7);
}

TEST_F(Spots, WithoutALocatorTheSmallWindowAsksForOneAndRefusesJunk) {
    configure([](AppSettings& s) { s.set_station_locator(""); });
    create_form();
    activate();
    form->ReportSpots1->setChecked(true);
    QDialog* dialog = form->locator_dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->isModal());
    EXPECT_FALSE(form->spot_reporter()->not_ready().isEmpty());
    auto* edit = dialog->findChild<QLineEdit*>("LocatorEdit");
    auto* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    edit->setText("XX99");
    ok->click();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->findChild<QLabel*>("LocatorProblem")->text().isEmpty());
    EXPECT_TRUE(settings->station_locator().isEmpty());
    edit->setText("jo01ab");
    ok->click();
    EXPECT_EQ(settings->station_locator(), "jo01ab");
    EXPECT_TRUE(form->spot_reporter()->not_ready().isEmpty());
}

} // namespace
