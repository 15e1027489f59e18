// The link to loggers over UDP: the messages as a logger decodes them, the console's datagrams
// caught by a real socket on 127.0.0.1, and what a logger sends back.
#include <QDataStream>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimeZone>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include "link/wsjtx_message.h"
#include "support/qt_wait.h"
#include "ui/console_options.h"
#include "ui/logger_link.h"
#include "ui/memo.h"
#include "ui_support.h"

namespace {

using quavel::test::wait_until;
namespace wsjtx = quavel::wsjtx;

// A logger's side of a datagram: the header read, then the fields one by one.
struct Decoded {
    explicit Decoded(const QByteArray& datagram) : bytes(datagram), in(bytes) {
        in.setByteOrder(QDataStream::BigEndian);
        in.setVersion(QDataStream::Qt_5_4);
        in >> magic >> schema >> type;
        id = text();
    }
    QString text() {
        QByteArray utf8;
        in >> utf8;
        return QString::fromUtf8(utf8);
    }
    template <typename T> T get() {
        T value{};
        in >> value;
        return value;
    }
    bool whole() const { return in.status() == QDataStream::Ok && in.atEnd(); }
    QByteArray bytes;
    QDataStream in;
    quint32 magic = 0, schema = 0, type = 0;
    QString id;
};

// A logger listening on a port of its own on 127.0.0.1.
struct Logger {
    Logger() { EXPECT_TRUE(socket.bind(QHostAddress::LocalHost, 0)); }
    quint16 port() const { return socket.localPort(); }
    // The next datagram; its sender is kept for replies.
    QByteArray next() {
        if (!wait_until([this] { return socket.hasPendingDatagrams(); })) return {};
        QByteArray datagram(static_cast<qsizetype>(socket.pendingDatagramSize()), '\0');
        socket.readDatagram(datagram.data(), datagram.size(), &from, &from_port);
        return datagram;
    }
    // The type of the next datagram of ours, skipping heartbeats and status.
    QByteArray next_not(std::initializer_list<wsjtx::Type> skipped) {
        for (;;) {
            QByteArray d = next();
            if (d.isEmpty()) return d;
            const quint32 type = Decoded(d).type;
            bool skip = false;
            for (wsjtx::Type s : skipped)
                skip = skip || type == static_cast<quint32>(s);
            if (!skip) return d;
        }
    }
    void reply(const QByteArray& datagram) { socket.writeDatagram(datagram, from, from_port); }
    QUdpSocket socket;
    QHostAddress from;
    quint16 from_port = 0;
};

QByteArray halt_tx(const QString& id, bool auto_only = false) {
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setVersion(QDataStream::Qt_5_4);
    s << wsjtx::kMagic << wsjtx::kSchema << quint32(8) << id.toUtf8() << auto_only;
    return out;
}

quavel::QsoRecord contact() {
    quavel::QsoRecord r;
    r.call = "G4ABC";
    r.start_utc = 1796000000;
    r.end_utc = 1796000300;
    r.freq_mhz = 14.0715;
    r.band = "20m";
    r.rst_sent = "579";
    r.rst_rcvd = "589";
    r.station_callsign = "G3XYZ";
    r.name = "Zoë";
    r.gridsquare = "IO91";
    r.comment = "first";
    return r;
}

TEST(WsjtxMessage, EveryMessageStartsWithTheHeaderAndCarriesAllItsFields) {
    const struct {
        QByteArray datagram;
        wsjtx::Type type;
        int texts_after; // utf8 fields that follow the id (for the simple ones)
    } cases[] = {
        {wsjtx::heartbeat_message("Quavel", "0.1.0", "r1"), wsjtx::Type::Heartbeat, 2},
        {wsjtx::close_message("Quavel"), wsjtx::Type::Close, 0},
        {wsjtx::logged_adif_message("Quavel", "<EOH>\n<CALL:2>K1<EOR>\n"), wsjtx::Type::LoggedAdif,
         1},
    };
    for (const auto& c : cases) {
        Decoded d(c.datagram);
        EXPECT_EQ(d.magic, 0xadbccbdau);
        EXPECT_EQ(d.schema, 3u);
        EXPECT_EQ(d.type, static_cast<quint32>(c.type));
        EXPECT_EQ(d.id, "Quavel");
        if (c.type == wsjtx::Type::Heartbeat) {
            EXPECT_EQ(d.get<quint32>(), 3u);
            EXPECT_EQ(d.text(), "0.1.0");
            EXPECT_EQ(d.text(), "r1");
        } else if (c.type == wsjtx::Type::LoggedAdif) {
            EXPECT_EQ(d.text(), "<EOH>\n<CALL:2>K1<EOR>\n");
        }
        EXPECT_TRUE(d.whole()) << static_cast<int>(c.type);
    }
}

TEST(WsjtxMessage, StatusFieldsInTheirOrder) {
    wsjtx::Status s;
    s.dial_hz = 14070000;
    s.mode = s.tx_mode = "MFSK";
    s.submode = "QUAVEL";
    s.dx_call = "G4ABC";
    s.tx_enabled = true;
    s.transmitting = false;
    s.rx_df_hz = s.tx_df_hz = 1500;
    s.de_call = "G3XYZ";
    Decoded d(wsjtx::status_message("Quavel", s));
    EXPECT_EQ(d.type, 1u);
    EXPECT_EQ(d.get<quint64>(), 14070000u);
    EXPECT_EQ(d.text(), "MFSK");
    EXPECT_EQ(d.text(), "G4ABC");
    EXPECT_EQ(d.text(), "");
    EXPECT_EQ(d.text(), "MFSK");
    EXPECT_EQ(d.get<bool>(), true);
    EXPECT_EQ(d.get<bool>(), false);
    EXPECT_EQ(d.get<bool>(), false);
    EXPECT_EQ(d.get<quint32>(), 1500u);
    EXPECT_EQ(d.get<quint32>(), 1500u);
    EXPECT_EQ(d.text(), "G3XYZ");
    EXPECT_EQ(d.text(), "");
    EXPECT_EQ(d.text(), "");
    EXPECT_EQ(d.get<bool>(), false);
    EXPECT_EQ(d.text(), "QUAVEL");
    EXPECT_EQ(d.get<bool>(), false);
    EXPECT_EQ(d.get<quint8>(), 0u);
    EXPECT_EQ(d.get<quint32>(), 0xffffffffu);
    EXPECT_EQ(d.get<quint32>(), 0xffffffffu);
    EXPECT_EQ(d.text(), "");
    EXPECT_EQ(d.text(), "");
    EXPECT_TRUE(d.whole());
}

// The fields of a QSO Logged message as a logger reads them, after the header.
void expect_qso_logged(Decoded& d, const quavel::QsoRecord& r) {
    EXPECT_EQ(d.type, 5u);
    const QDateTime off = d.get<QDateTime>();
    EXPECT_EQ(off, QDateTime::fromSecsSinceEpoch(r.end_utc, QTimeZone::utc()));
    EXPECT_EQ(off.timeSpec(), Qt::UTC);
    EXPECT_EQ(d.text(), QString::fromStdString(r.call));
    EXPECT_EQ(d.text(), QString::fromStdString(r.gridsquare));
    EXPECT_EQ(d.get<quint64>(), 14071500u);
    EXPECT_EQ(d.text(), "MFSK");
    EXPECT_EQ(d.text(), QString::fromStdString(r.rst_sent));
    EXPECT_EQ(d.text(), QString::fromStdString(r.rst_rcvd));
    EXPECT_EQ(d.text(), "");
    EXPECT_EQ(d.text(), QString::fromStdString(r.comment));
    EXPECT_EQ(d.text(), QString::fromStdString(r.name));
    const QDateTime on = d.get<QDateTime>();
    EXPECT_EQ(on, QDateTime::fromSecsSinceEpoch(r.start_utc, QTimeZone::utc()));
    EXPECT_EQ(on.timeSpec(), Qt::UTC);
    EXPECT_EQ(d.text(), "");
    EXPECT_EQ(d.text(), QString::fromStdString(r.station_callsign));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(d.text(), "");
    EXPECT_TRUE(d.whole());
}

TEST(WsjtxMessage, AContactAsQsoLoggedAndAsAnAdifFileOfOneRecord) {
    const quavel::QsoRecord r = contact();
    Decoded d(wsjtx::qso_logged_message("Quavel", wsjtx::qso_logged_of(r)));
    expect_qso_logged(d, r);
    const quavel::AdifRead adif = quavel::read_adif(wsjtx::logged_adif_text(r, "0.1.0"));
    ASSERT_EQ(adif.records.size(), 1u);
    EXPECT_EQ(*adif.records[0].field("CALL"), "G4ABC");
    EXPECT_EQ(*adif.records[0].field("SUBMODE"), "QUAVEL");
    ASSERT_FALSE(adif.header.empty());
    EXPECT_EQ(adif.header[0].name, "ADIF_VER");
}

TEST(WsjtxMessage, ACommandIsReadOnlyWhenWhole) {
    QByteArray long_id = halt_tx("Quavel");
    long_id[15] = '\x7f'; // the id's count claims far more than there is
    QByteArray null_id;
    {
        QDataStream s(&null_id, QIODevice::WriteOnly);
        s << wsjtx::kMagic << quint32(2) << quint32(7) << quint32(0xffffffff);
    }
    QByteArray bad_magic = halt_tx("Quavel");
    bad_magic[0] = 0;
    const struct {
        QByteArray datagram;
        bool read;
        quint32 type;
        const char* id;
        bool auto_only;
    } cases[] = {
        {halt_tx("Quavel"), true, 8, "Quavel", false},
        {halt_tx("Quavel", true), true, 8, "Quavel", true},
        {null_id, true, 7, "", false},
        {halt_tx("Quavel").chopped(1), false, 0, "", false}, // HaltTx without its flag
        {halt_tx("Quavel").left(14), false, 0, "", false},   // the id cut short
        {long_id, false, 0, "", false},
        {bad_magic, false, 0, "", false},
        {QByteArray(), false, 0, "", false},
        {QByteArray(7, '\xff'), false, 0, "", false},
        {QByteArray("\xad\xbc\xcb\xda\0\0\0\1\0\0\0\x08", 12), false, 0, "", false}, // schema 1
    };
    for (const auto& c : cases) {
        const std::optional<wsjtx::Command> got = wsjtx::parse_command(c.datagram);
        ASSERT_EQ(got.has_value(), c.read) << c.datagram.toHex().toStdString();
        if (!got) continue;
        EXPECT_EQ(got->type, c.type);
        EXPECT_EQ(got->id, c.id);
        EXPECT_EQ(got->auto_tx_only, c.auto_only);
    }
    // Every cut of a whole HaltTx is refused, and any byte of its id's count set to anything
    // reads inside the datagram or not at all.
    const QByteArray whole = halt_tx("Quavel");
    for (qsizetype n = 0; n < whole.size(); ++n)
        EXPECT_FALSE(wsjtx::parse_command(whole.left(n))) << n;
    for (int at = 12; at < 16; ++at)
        for (int value = 0; value < 256; ++value) {
            QByteArray changed = whole;
            changed[at] = static_cast<char>(value);
            const auto got = wsjtx::parse_command(changed);
            if (got) {
                EXPECT_LE(got->id.toUtf8().size(), whole.size() - 17);
            }
        }
}

TEST(LoggerEndpoint, NumericAddressesAndPortsOnly) {
    const struct {
        const char* text;
        const char* canonical; // null: refused
    } cases[] = {
        {"127.0.0.1:2237", "127.0.0.1:2237"},
        {" localhost:2238 ", "127.0.0.1:2238"},
        {"[::1]:2237", "[::1]:2237"},
        {"224.0.0.73:2237", "224.0.0.73:2237"},
        {"[ff02::1]:9", "[ff02::1]:9"},
        {"127.0.0.1", nullptr},
        {"127.0.0.1:0", nullptr},
        {"127.0.0.1:65536", nullptr},
        {"::1:2237", nullptr},
        {"[127.0.0.1]:2237", nullptr},
        {"logger.lan:2237", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        const auto got = parse_logger_endpoint(c.text);
        ASSERT_EQ(got.has_value(), c.canonical != nullptr) << c.text;
        if (got) {
            EXPECT_EQ(logger_endpoint_text(*got), c.canonical) << c.text;
        }
    }
    AppSettings settings(QTemporaryDir().path() + "/none/q.ini");
    EXPECT_EQ(settings.loggers_destination(), "127.0.0.1:2237");
    settings.set_loggers_destination("nonsense");
    EXPECT_EQ(settings.loggers_destination(), "127.0.0.1:2237");
    EXPECT_TRUE(settings.loggers_enabled());
    EXPECT_FALSE(settings.loggers_raw_adif());
    EXPECT_EQ(settings.loggers_raw_adif_port(), 2333);
}

TEST(LoggerEndpoint, OnTheCommandLine) {
    for (const auto& [arg, ok] : {std::pair{"127.0.0.1:2237", true},
                                  {"[ff02::1]:2237", true},
                                  {"logger:2237", false},
                                  {"127.0.0.1", false}}) {
        const ParsedCommandLine p = parse_console_options({"quavel", "--logger-udp", arg});
        EXPECT_EQ(p.ok(), ok) << arg << " " << p.error;
        if (ok) {
            EXPECT_EQ(p.options.logger_udp, arg);
        }
    }
}

// Only a whole HaltTx for this console asks for a halt; datagrams come in order, so those sent
// before it have been read (and dropped) by the time it is taken.
TEST(LoggerLinkSocket, OnlyAWholeHaltTxForThisConsoleIsTaken) {
    test_application();
    Logger logger;
    LoggerLink link("0.1.0");
    QSignalSpy halts(&link, &LoggerLink::halt_requested);
    LoggerLink::Config config;
    config.enabled = true;
    config.destination.port = logger.port();
    link.configure(config);
    ASSERT_EQ(Decoded(logger.next()).type, 0u);
    for (const QByteArray& ignored :
         {halt_tx("Quavel").chopped(1), halt_tx("Other"), QByteArray(70000, 'x'), QByteArray(),
          wsjtx::close_message("Quavel"), QByteArray::fromHex("adbccbda00000003000000ffffff")})
        logger.reply(ignored);
    logger.reply(halt_tx("Quavel", true));
    ASSERT_TRUE(wait_until([&] { return halts.count() > 0; }));
    EXPECT_EQ(halts.count(), 1);
    EXPECT_EQ(link.failed(), 0) << link.last_error().toStdString();
}

// Several loggers on one machine share a group: the datagrams loop back to this host's members.
// A machine without a multicast route cannot take part, and says so.
TEST(LoggerLinkSocket, AMulticastGroupHearsTheLinkOnThisMachine) {
    test_application();
    QUdpSocket member;
    const QHostAddress group("224.0.0.73");
    if (!member.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::ShareAddress) ||
        !member.joinMulticastGroup(group))
        GTEST_SKIP() << "no multicast here: " << member.errorString().toStdString();
    LoggerLink link("0.1.0");
    LoggerLink::Config config;
    config.enabled = true;
    config.destination = {group, member.localPort()};
    link.configure(config);
    ASSERT_TRUE(wait_until([&] { return member.hasPendingDatagrams(); }))
        << link.last_error().toStdString();
    QByteArray datagram(static_cast<qsizetype>(member.pendingDatagramSize()), '\0');
    member.readDatagram(datagram.data(), datagram.size());
    EXPECT_EQ(Decoded(datagram).type, 0u);
}

class Loggers : public FormTest {
protected:
    void start(bool raw = false) {
        {
            AppSettings chosen(path("quavel.ini"));
            chosen.set_contact_log(path("log.adi"));
            chosen.set_loggers_destination(QStringLiteral("127.0.0.1:%1").arg(logger.port()));
            chosen.set_loggers_raw_adif(raw);
            chosen.set_loggers_raw_adif_port(raw_logger.port());
        }
        create_form();
        form->station().settings().callsign = "G3XYZ";
        activate();
    }
    Logger logger;
    Logger raw_logger;
};

TEST_F(Loggers, AHeartbeatThenTheStatusOnStartAndACloseAtTheEnd) {
    start();
    Decoded heartbeat(logger.next());
    EXPECT_EQ(heartbeat.type, 0u);
    EXPECT_EQ(heartbeat.id, "Quavel");
    EXPECT_EQ(heartbeat.get<quint32>(), 3u);
    Decoded status(logger.next());
    ASSERT_EQ(status.type, 1u);
    status.get<quint64>();
    EXPECT_EQ(status.text(), "MFSK");
    // The other station typed in: a status with its call.
    form->Memo6->setPlainText("g4abc");
    for (;;) {
        Decoded d(logger.next_not({wsjtx::Type::Heartbeat}));
        ASSERT_EQ(d.type, 1u);
        d.get<quint64>();
        d.text();
        if (d.text() == "G4ABC") break;
    }
    form.reset();
    EXPECT_EQ(Decoded(logger.next_not({wsjtx::Type::Heartbeat, wsjtx::Type::Status})).type, 6u);
}

TEST_F(Loggers, AContactLoggedGoesOutAsQsoLoggedAndLoggedAdif) {
    start();
    const quavel::QsoRecord r = contact();
    ASSERT_EQ(form->log_contact(r), "");
    Decoded qso(logger.next_not({wsjtx::Type::Heartbeat, wsjtx::Type::Status}));
    expect_qso_logged(qso, r);
    Decoded adif(logger.next_not({wsjtx::Type::Heartbeat, wsjtx::Type::Status}));
    ASSERT_EQ(adif.type, 12u);
    const std::string text = adif.text().toStdString();
    EXPECT_EQ(text.find("<programid:6>Quavel"), text.find("<programid"));
    const quavel::AdifRead read = quavel::read_adif(text);
    ASSERT_EQ(read.records.size(), 1u);
    EXPECT_EQ(*read.records[0].field("NAME"), "Zoë");
    EXPECT_EQ(*read.records[0].field("STATION_CALLSIGN"), "G3XYZ");
}

TEST_F(Loggers, TheRawAdifRecordWhenSwitchedOn) {
    start(true);
    ASSERT_EQ(form->log_contact(contact()), "");
    const QByteArray raw = raw_logger.next();
    EXPECT_EQ(raw.toStdString(), quavel::adif_record(contact()));
}

// Switched off it says goodbye and sends nothing: switched on again, a heartbeat comes first.
TEST_F(Loggers, TheOffSwitchSendsNothingAndIsRemembered) {
    start(true);
    form->SendToLoggers1->setChecked(false);
    EXPECT_EQ(Decoded(logger.next_not({wsjtx::Type::Heartbeat, wsjtx::Type::Status})).type, 6u);
    EXPECT_FALSE(AppSettings(path("quavel.ini")).loggers_enabled());
    ASSERT_EQ(form->log_contact(contact()), "");
    form->SendRawAdif1->setChecked(false);
    form->SendToLoggers1->setChecked(true);
    EXPECT_EQ(Decoded(logger.next()).type, 0u);
    EXPECT_FALSE(raw_logger.socket.hasPendingDatagrams());
}

TEST_F(Loggers, HaltTxStopsATransmissionAsTxOffDoes) {
    start();
    ASSERT_EQ(Decoded(logger.next()).type, 0u);
    form->Button1->click();
    ASSERT_TRUE(form->station().transmitting());
    logger.reply(halt_tx("Quavel"));
    ASSERT_TRUE(wait_until([&] { return !form->station().transmitting(); }));
    EXPECT_EQ(form->Button1->text(), "Tx ON");
    form->station().settle_keying();
    EXPECT_FALSE(form->station().keyed());
}

TEST_F(Loggers, TheAddressWindowTakesOnlyAnAddress) {
    start();
    form->LoggerAddress1->trigger();
    QDialog* dialog = form->logger_dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->isModal());
    auto* destination = dialog->findChild<QLineEdit*>("LoggerDestination");
    destination->setText("somewhere");
    QMetaObject::invokeMethod(dialog->findChild<QDialogButtonBox*>(), "accepted");
    EXPECT_TRUE(dialog->isVisible());
    destination->setText("127.0.0.1:2240");
    QMetaObject::invokeMethod(dialog->findChild<QDialogButtonBox*>(), "accepted");
    EXPECT_EQ(AppSettings(path("quavel.ini")).loggers_destination(), "127.0.0.1:2240");
    EXPECT_EQ(form->logger_link().config().destination.port, 2240);
}

} // namespace
