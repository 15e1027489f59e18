// The console driven by a program through the control API, over a real socket on the loopback,
// with the test form's recording devices: what it is told, and that every command goes through
// the window's own rules.
#include <QAction>
#include <QFile>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "support/api_client.h"
#include "ui/console_api.h"
#include "ui/memo.h"
#include "ui/radio_group.h"
#include "ui_support.h"

namespace {

using quavel::test::ApiClient;
using quavel::test::wait_until;

class ConsoleApiTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        write_file(dir.path(), "KEYSETUP.INI", "G4ABC COM1 NONE");
        ConsoleOptions options;
        options.contact_log = path("contacts.adi").toStdString();
        create_form(options);
        activate();
        messages.clear();
        // Any free port: the tests run side by side with other consoles.
        start_on_free_port();
        ASSERT_TRUE(client.connect_to(port));
    }
    void TearDown() override {
        api.reset();
        FormTest::TearDown();
    }
    // A ConsoleApi on a port the system picks, through the setting the operator would change.
    void start_on_free_port() {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
        probe.close();
        settings->set_api_port(port);
        api = std::make_unique<ConsoleApi>(*form, *settings);
        ASSERT_TRUE(api->listening()) << api->error().toStdString();
    }
    // The answer to `command`: its "ok" or its "error".
    QJsonObject ask(QJsonObject command) {
        static int next_id = 0;
        const int id = ++next_id;
        command.insert("id", id);
        client.send(command);
        std::optional<QJsonObject> answer;
        wait_until([&] {
            for (const QJsonObject& e : client.events())
                if (e.value("id").toInt() == id) answer = e;
            return answer.has_value();
        });
        return answer.value_or(QJsonObject{{"type", "none"}});
    }
    void play(int buffers) {
        for (int i = 0; i < buffers; ++i) {
            output.play_one();
            form->Timer2Timer();
        }
    }

    std::unique_ptr<ConsoleApi> api;
    quint16 port = 0;
    ApiClient client;
};

TEST_F(ConsoleApiTest, StatusComesFirstAndAgainOnEveryChange) {
    const auto first = client.next("status");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->value("callsign").toString(), "G4ABC");
    EXPECT_EQ(first->value("centre_hz").toInt(), 1000);
    EXPECT_FALSE(first->value("transmitting").toBool());
    EXPECT_TRUE(first->value("rf_hz").isNull()); // no dial known
    form->Button4Click();                        // AFC, by the operator
    const auto changed = client.next("status");
    ASSERT_TRUE(changed);
    EXPECT_NE(changed->value("afc").toBool(), first->value("afc").toBool());
}

TEST_F(ConsoleApiTest, TuneSpeedAndOtherGoThroughTheWindow) {
    EXPECT_EQ(ask({{"type", "tune"}, {"hz", 1200}}).value("type"), "ok");
    EXPECT_EQ(form->station().centre_hz(), 1200u);
    EXPECT_EQ(ask({{"type", "tune"}, {"hz", 50}}).value("type"), "error");
    EXPECT_EQ(ask({{"type", "speed"}, {"speed", 4}}).value("type"), "ok");
    EXPECT_EQ(form->RadioGroup3->itemIndex(), 2);
    EXPECT_EQ(ask({{"type", "other.set"}, {"call", "dl1xyz"}}).value("type"), "ok");
    EXPECT_EQ(form->Memo6->toPlainText(), "DL1XYZ");
    EXPECT_EQ(ask({{"type", "other.set"}, {"call", "A B"}}).value("type"), "error");
    const QJsonObject status = ask({{"type", "status.get"}});
    EXPECT_EQ(status.value("type"), "status");
    EXPECT_EQ(status.value("speed").toInt(), 4);
    EXPECT_EQ(status.value("other").toString(), "DL1XYZ");
}

TEST_F(ConsoleApiTest, TransmitsOnlyOnceAllowedAndStopsAtOnce) {
    EXPECT_EQ(ask({{"type", "tx.text"}, {"text", "cq de g4abc"}}).value("type"), "ok");
    EXPECT_EQ(form->Memo4->toPlainText(), "CQ DE G4ABC");
    const QJsonObject refused = ask({{"type", "tx.start"}});
    EXPECT_EQ(refused.value("type"), "error");
    EXPECT_TRUE(refused.value("error").toString().contains("Allow Programs to Transmit"));
    EXPECT_FALSE(form->station().transmitting());

    api->AllowTransmit1->trigger();
    EXPECT_TRUE(settings->api_allow_transmit());
    EXPECT_EQ(ask({{"type", "tx.start"}}).value("type"), "ok");
    EXPECT_EQ(form->Button1->text(), "Tx OFF");
    EXPECT_EQ(client.next("tx.start")->value("reason").toString(), "api");
    // The speed stays while transmitting, as for the operator.
    EXPECT_EQ(ask({{"type", "speed"}, {"speed", 1}}).value("type"), "error");
    play(6);
    const auto sent = client.next("tx.text");
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->value("text").toString(), "C");

    // Stopping needs no permission.
    api->AllowTransmit1->trigger();
    EXPECT_EQ(ask({{"type", "tx.stop"}}).value("type"), "ok");
    EXPECT_FALSE(form->station().transmitting());
    EXPECT_EQ(form->Button1->text(), "Tx ON");
    EXPECT_EQ(client.next("tx.end")->value("reason").toString(), "api");
}

TEST_F(ConsoleApiTest, TheOperatorsTxOffAndTheWatchdogRealTimeAreTold) {
    form->Button1->click();
    EXPECT_EQ(client.next("tx.start")->value("reason").toString(), "operator");
    form->Button1->click();
    EXPECT_EQ(client.next("tx.end")->value("reason").toString(), "operator");

    form->station().set_watchdog(std::chrono::milliseconds(200));
    form->Button1->click();
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    form->Timer2Timer();
    EXPECT_EQ(client.next("tx.end")->value("reason").toString(), "watchdog");

    form->station().set_watchdog(std::chrono::minutes(10));
    form->BackToReceive->setChecked(true);
    QTest::keyClicks(form->Memo4, "k");
    form->Button1->click();
    play(40);
    EXPECT_EQ(client.next("tx.end")->value("reason").toString(), "back-to-receive");

    form->BackToReceive->setChecked(false);
    form->Button1->click();
    output.gone = true;
    form->Timer2Timer();
    EXPECT_EQ(client.next("tx.end")->value("reason").toString(), "lost-playback");
}

TEST_F(ConsoleApiTest, LogsAContactFilledInFromTheStation) {
    form->Memo6->setPlainText("DL1XYZ");
    const QJsonObject refused = ask({{"type", "log.qso"}, {"fields", QJsonObject{}}});
    EXPECT_TRUE(refused.value("error").toString().contains("FREQ")); // no dial known
    EXPECT_EQ(ask({{"type", "log.qso"}, {"fields", QJsonObject{{"WHATEVER", "x"}}}}).value("type"),
              "error");
    const QJsonObject done =
        ask({{"type", "log.qso"}, {"fields", QJsonObject{{"freq", 14.0712}, {"name", "Hans"}}}});
    ASSERT_EQ(done.value("type"), "ok") << done.value("error").toString().toStdString();
    const auto logged = client.next("log.qso");
    ASSERT_TRUE(logged);
    const QString adif = logged->value("adif").toString();
    EXPECT_TRUE(adif.contains("<CALL:6>DL1XYZ")) << adif.toStdString();
    EXPECT_TRUE(adif.contains("<STATION_CALLSIGN:5>G4ABC"));
    EXPECT_TRUE(adif.contains("<BAND:3>20m"));
    EXPECT_TRUE(adif.contains("<NAME:4>Hans"));
    EXPECT_TRUE(read_file(dir.path(), "contacts.adi").find("DL1XYZ") != std::string::npos);
    EXPECT_FALSE(form->contact_start()); // the next contact starts afresh, as from the window
}

TEST_F(ConsoleApiTest, ReceivedTextAndThePanesReachTheClient) {
    emit form->text_received(0, "CQ CQ");
    const auto text = client.next("rx.text");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->value("text").toString(), "CQ CQ");
    EXPECT_EQ(text->value("receiver").toString(), "classic");
    form->Memo1->setPlainText("HELLO");
    client.send({{"type", "rx.get"}});
    EXPECT_EQ(client.next("rx.panes")->value("primary").toString(), "HELLO");
}

// Each line the Band Activity window lists; the RF frequency, not known, goes as null.
TEST_F(ConsoleApiTest, EachBandLineGoesOutAsABandStationEvent) {
    emit form->band_line({1'800'000'000, 1500.26, 4, -12.4, "G4ABC", "CQ DE G4ABC K"});
    const auto heard = client.next("band.station");
    ASSERT_TRUE(heard);
    EXPECT_EQ(heard->value("time").toString(), "2027-01-15T08:00:00Z");
    EXPECT_DOUBLE_EQ(heard->value("freq_hz").toDouble(), 1500.3);
    EXPECT_TRUE(heard->value("rf_hz").isNull()); // no dial known
    EXPECT_EQ(heard->value("speed").toInt(), 4);
    EXPECT_EQ(heard->value("snr_db").toInt(), -12);
    EXPECT_EQ(heard->value("call").toString(), "G4ABC");
    EXPECT_EQ(heard->value("text").toString(), "CQ DE G4ABC K");
}

TEST_F(ConsoleApiTest, ClosingIsToldAndABusyPortLeavesTheConsoleRunning) {
    ConsoleApi second(*form, *settings); // the same port, taken
    EXPECT_FALSE(second.listening());
    EXPECT_FALSE(second.error().isEmpty());
    // Told through the station's messages once the event loop runs, not from the constructor.
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_TRUE(wait_until([&] { return !messages.messages().empty(); }));
    api->close();
    EXPECT_TRUE(client.next("closing"));
    EXPECT_TRUE(client.closed_by_peer());
}

TEST_F(ConsoleApiTest, OffForTheRunListensNowhere) {
    const ConsoleApi off(*form, *settings, 0);
    EXPECT_FALSE(off.listening());
    EXPECT_TRUE(off.error().isEmpty());
}

} // namespace
