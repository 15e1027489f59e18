// The control API's server on real sockets over the loopback: what every client gets, and that
// no client can hurt the server or the others.
#include <QTcpServer>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "link/api_server.h"
#include "support/api_client.h"

namespace {

using quavel::link::ApiServer;
using quavel::link::Command;
using quavel::test::ApiClient;
using quavel::test::wait_until;

class ApiServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.set_greeting("status", [] { return QJsonObject{{"speed", 2}}; });
        server.set_command_handler([this](int client, const Command& c) {
            ++handled;
            server.send(client, "ok", {{"command", quavel::link::command_name(c.type)}});
        });
        ASSERT_EQ(server.listen(QHostAddress::LocalHost, 0), QString());
    }
    std::unique_ptr<ApiClient> client() {
        auto c = std::make_unique<ApiClient>();
        EXPECT_TRUE(c->connect_to(server.port()));
        return c;
    }

    ApiServer server;
    int handled = 0;
};

TEST_F(ApiServerTest, GreetsEachClientThenAnswersAndBroadcasts) {
    auto a = client();
    auto b = client();
    ASSERT_TRUE(a->next("status"));
    ASSERT_TRUE(b->next("status"));
    a->send({{"type", "status.get"}});
    EXPECT_EQ(a->next("ok")->value("command").toString(), "status.get");
    server.broadcast("rx.text", {{"text", "CQ"}});
    EXPECT_EQ(a->next("rx.text")->value("text").toString(), "CQ");
    EXPECT_EQ(b->next("rx.text")->value("text").toString(), "CQ");
}

TEST_F(ApiServerTest, APortInUseIsRefusedWithAReason) {
    ApiServer second;
    const QString why = second.listen(QHostAddress::LocalHost, server.port());
    EXPECT_TRUE(why.contains(QString::number(server.port()))) << why.toStdString();
    EXPECT_FALSE(second.listening());
}

// Each bad client, and a good one beside it that must go on being served.
struct BadClient {
    const char* name;
    QByteArray sent;
    const char* error_part; // in the error event; empty: none expected
    bool dropped;
};

class ApiServerBadClient : public ApiServerTest, public ::testing::WithParamInterface<BadClient> {};

TEST_P(ApiServerBadClient, IsAnsweredOrDroppedAndTheOthersGoOn) {
    const BadClient& bad = GetParam();
    auto good = client();
    auto c = client();
    ASSERT_TRUE(c->next("status"));
    c->send_raw(bad.sent);
    if (*bad.error_part) {
        const auto error = c->next("error");
        ASSERT_TRUE(error);
        EXPECT_TRUE(error->value("error").toString().contains(bad.error_part))
            << error->value("error").toString().toStdString();
    }
    if (bad.dropped) {
        EXPECT_TRUE(c->closed_by_peer());
        EXPECT_TRUE(wait_until([&] { return server.client_count() == 1; }));
    } else {
        c->send({{"type", "status.get"}, {"id", 7}});
        EXPECT_TRUE(c->next("ok"));
    }
    good->send({{"type", "rx.get"}});
    EXPECT_TRUE(good->next("ok"));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ApiServerBadClient,
    ::testing::Values(BadClient{"Malformed", "{\"type\":\n", "not JSON", false},
                      BadClient{"Binary", QByteArray("\x00\xff\xfe\n", 4), "not JSON", false},
                      BadClient{"Unknown", "{\"type\":\"erase\",\"id\":3}\n", "unknown", false},
                      BadClient{"BadField", "{\"type\":\"speed\",\"speed\":\"fast\"}\n",
                                "1, 2 or 4", false},
                      BadClient{"Oversized", QByteArray(quavel::link::kMaxLineBytes + 10, 'x'),
                                "line over", true}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(ApiServerTest, TheIdOfARefusedCommandComesBack) {
    auto c = client();
    c->send_raw("{\"type\":\"tune\",\"hz\":\"x\",\"id\":\"q1\"}\n");
    const auto error = c->next("error");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->value("id").toString(), "q1");
    EXPECT_EQ(error->value("command").toString(), "tune");
}

TEST_F(ApiServerTest, AFloodIsServedInTurnsAndWhollyInOrder) {
    auto c = client();
    QByteArray flood;
    constexpr int kCommands = 2000;
    for (int i = 0; i < kCommands; ++i)
        flood += "{\"type\":\"status.get\"}\n";
    c->send_raw(flood);
    auto other = client();
    // The other client is greeted while the flood is still being worked through.
    EXPECT_TRUE(other->next("status"));
    EXPECT_TRUE(wait_until([&] { return handled == kCommands; }));
}

TEST_F(ApiServerTest, AClientThatNeverReadsIsDroppedNotBufferedWithoutBound) {
    QTcpSocket silent;
    silent.setReadBufferSize(1); // takes next to nothing, so the kernel's buffers fill up
    silent.connectToHost(QHostAddress::LocalHost, server.port());
    ASSERT_TRUE(wait_until([&] { return server.client_count() == 1; }));
    auto reader = client();
    const QJsonObject big{{"text", QString(8000, 'x')}};
    // Far more than the cap and the kernel's buffers together.
    for (int i = 0; i < 2000 && server.client_count() == 2; ++i) {
        server.broadcast("rx.text", big);
        QCoreApplication::processEvents();
        reader->events();
    }
    EXPECT_TRUE(wait_until([&] { return server.client_count() == 1; }));
    reader->send({{"type", "status.get"}});
    EXPECT_TRUE(reader->next("ok"));
}

TEST_F(ApiServerTest, VanishedClientsAreForgottenAndTheCapHolds) {
    {
        auto gone = client();
        ASSERT_TRUE(wait_until([&] { return server.client_count() == 1; }));
    }
    EXPECT_TRUE(wait_until([&] { return server.client_count() == 0; }));
    std::vector<std::unique_ptr<ApiClient>> many;
    for (int i = 0; i < quavel::link::kMaxClients; ++i)
        many.push_back(client());
    ASSERT_TRUE(wait_until([&] { return server.client_count() == quavel::link::kMaxClients; }));
    ApiClient one_too_many;
    ASSERT_TRUE(one_too_many.connect_to(server.port()));
    const auto error = one_too_many.next("error");
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->value("error").toString().contains("too many"));
    EXPECT_TRUE(one_too_many.closed_by_peer());
    EXPECT_EQ(server.client_count(), quavel::link::kMaxClients);
}

TEST_F(ApiServerTest, CloseSendsWhatWasWrittenThenEndsEveryConnection) {
    auto c = client();
    ASSERT_TRUE(wait_until([&] { return server.client_count() == 1; }));
    server.broadcast("closing");
    server.close();
    EXPECT_TRUE(c->next("closing"));
    EXPECT_TRUE(c->closed_by_peer());
    EXPECT_FALSE(server.listening());
}

} // namespace
