#include "gatewayharness.h"
#include "smpptestclient.h"
#include "testdatabase.h"

#include "api/tokenstore.h"
#include "smppreceipt.h"
#include "smppserver.h"
#include "smpptext.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTest>

using namespace Smpp;

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QByteArray ucs2(const QString &text)
{
    return SmppText::encode(text).first == SmppText::Ucs2 ? SmppText::encode(text).second
                                                          : QByteArray();
}

QByteArray idOf(const Pdu &resp)
{
    return resp.body.left(resp.body.indexOf('\0'));
}

QByteArray udh(quint8 ref, quint8 total, quint8 number)
{
    return QByteArray("\x05\x00\x03", 3) + char(ref) + char(total) + char(number);
}

} // namespace

// The SMPP server on the real engine and a real SQLite database, with scripted modem
// controls, driven by a bare client that can misbehave as clients do.
class TestSmpp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void bindingFollowsTokensRolesAndLimits();
    void sessionCommandsAndBrokenStreams();
    void submitsBecomeRowsAnsweredWithTheirSysNo();
    void clientPartsMakeOneRowAcrossARestart();
    void pastItsRateATokenIsThrottled();
    void receiptsWaitUntilAcknowledgedAcrossRestarts();
    void receiptsFollowRegisteredDelivery();
    void receivedMessagesGoToEveryReaderToken();
    void killedSessionLosesNoAnsweredRowAndDoublesNone();
    void idleSessionIsClosed();
    void servesTlsWithACertificateAndKey();

private:
    void startServer();
    QByteArray addToken(const QString &name, TokenStore::Role role)
    {
        QString error;
        const QString t =
                TokenStore(TokenStore::fileIn(m_gw->programDir())).add(name, role, &error);
        if (t.isEmpty())
            qWarning("%s", qPrintable(error));
        return t.toLatin1();
    }
    std::unique_ptr<SmppTestClient> bound(quint32 command, const QByteArray &name,
                                          const QByteArray &token)
    {
        auto c = std::make_unique<SmppTestClient>();
        if (!c->connectTo(m_port))
            return nullptr;
        if (c->status(c->send(command, SmppTestClient::bindBody(name, token))) != Status::Ok)
            return nullptr;
        return c;
    }
    QStringList rows()
    {
        return m_db->rows(QStringLiteral("select SysNo, CellNumber, SMSContent from SMS order by "
                                         "SysNo"));
    }
    void emitSent(qint64 id)
    {
        Q_EMIT(*m_gw)->events().messageSent(id, QStringLiteral("13800138000"),
                                            DeviceRef{QStringLiteral("Com1"), {}},
                                            m_gw->clock.now());
    }

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<GatewayHarness> m_gw;
    std::unique_ptr<SmppServer> m_server;
    quint16 m_port = 0;
};

void TestSmpp::init()
{
    m_db = std::make_unique<TestDatabase>(QStringLiteral("sqlite"));
    QString error;
    QVERIFY2(m_db->create(QStringLiteral("smpp"), &error), qPrintable(error));
    m_gw = std::make_unique<GatewayHarness>(m_db->connectionString());
    m_port = freePort();
    m_gw->setConfig(QStringLiteral("Smpp"), QStringLiteral("Port"), QString::number(m_port));
    m_gw->start();
}

void TestSmpp::cleanup()
{
    m_server.reset();
    m_gw.reset();
    m_db.reset();
}

void TestSmpp::startServer()
{
    m_server.reset();
    m_server = std::make_unique<SmppServer>(**m_gw, (*m_gw)->events(), m_gw->clock);
    QCOMPARE(m_server->port(), m_port);
}

void TestSmpp::bindingFollowsTokensRolesAndLimits()
{
    m_gw->setConfig(QStringLiteral("Smpp"), QStringLiteral("SessionsPerToken"),
                    QStringLiteral("2"));
    startServer();
    const QByteArray shop = addToken(QStringLiteral("shop"), TokenStore::Role::Send);
    const QByteArray reader = addToken(QStringLiteral("reader"), TokenStore::Role::Read);
    const QByteArray ops = addToken(QStringLiteral("ops"), TokenStore::Role::Operator);

    struct Case
    {
        quint32 command;
        QByteArray name;
        QByteArray password;
        quint32 status;
    };
    const QList<Case> refused{
            {Command::BindTransceiver, "shop", "vm_wrong", Status::InvalidPassword},
            {Command::BindTransceiver, "nobody", shop, Status::InvalidPassword},
            // A real token under another token's name.
            {Command::BindTransmitter, "shop", ops, Status::InvalidPassword},
            {Command::BindTransmitter, "reader", reader, Status::BindFailed},
            {Command::BindTransceiver, "reader", reader, Status::BindFailed},
    };
    for (const Case &c : refused) {
        SmppTestClient client;
        QVERIFY(client.connectTo(m_port));
        const quint32 seq = client.send(c.command, SmppTestClient::bindBody(c.name, c.password));
        const auto resp = client.answer(seq);
        QVERIFY(resp);
        QCOMPARE(resp->command, c.command | Command::Response);
        QCOMPARE(resp->status, c.status);
        // Nothing else: the connection ends and submits never reach the table.
        client.send(Command::SubmitSm, SmppTestClient::submitBody("13800138000", 0, "x"));
        QVERIFY(client.closedByServer());
        QVERIFY(client.pending.isEmpty());
    }
    QVERIFY(bound(Command::BindReceiver, "reader", reader));
    auto first = bound(Command::BindTransmitter, "shop", shop);
    auto second = bound(Command::BindReceiver, "shop", shop);
    QVERIFY(first && second);
    SmppTestClient third;
    QVERIFY(third.connectTo(m_port));
    QCOMPARE(third.status(third.send(Command::BindTransceiver,
                                     SmppTestClient::bindBody("shop", shop))),
             Status::BindFailed);
    // A session that ends makes room for another.
    QCOMPARE(first->status(first->send(Command::Unbind)), Status::Ok);
    QVERIFY(first->closedByServer());
    QVERIFY(bound(Command::BindTransceiver, "shop", shop));
    QCOMPARE(rows(), QStringList());
}

void TestSmpp::sessionCommandsAndBrokenStreams()
{
    startServer();
    const QByteArray shop = addToken(QStringLiteral("shop"), TokenStore::Role::Send);
    SmppTestClient client;
    QVERIFY(client.connectTo(m_port));
    QCOMPARE(client.status(client.send(Command::EnquireLink)), Status::Ok);
    QCOMPARE(client.status(client.send(Command::SubmitSm, SmppTestClient::submitBody(
                                                                  "13800138000", 0, "x"))),
             Status::InvalidBindStatus);
    QCOMPARE(client.status(client.send(Command::BindTransmitter,
                                       SmppTestClient::bindBody("shop", shop))),
             Status::Ok);
    QCOMPARE(client.status(client.send(Command::BindTransmitter,
                                       SmppTestClient::bindBody("shop", shop))),
             Status::AlreadyBound);
    // What the server does not serve is refused with generic_nack, and the session goes on.
    for (quint32 command : {Command::QuerySm, Command::DataSm, 0x00001234u}) {
        const quint32 seq = client.send(command, QByteArray(8, '\0'));
        const auto nack = client.next();
        QVERIFY(nack);
        QCOMPARE(nack->command, Command::GenericNack);
        QCOMPARE(nack->status, Status::InvalidCommandId);
        QCOMPARE(nack->sequence, seq);
    }
    QCOMPARE(client.status(client.send(Command::SubmitSm, QByteArray("\0\0", 2))),
             Status::InvalidCommandLength);
    QCOMPARE(client.status(client.send(Command::EnquireLink)), Status::Ok);

    // A length no PDU can have: the stream cannot be followed, the session ends.
    client.socket.write(QByteArray("\x00\x00\x00\x08\x00\x00\x00\x15", 8));
    const auto nack = client.next();
    QVERIFY(nack);
    QCOMPARE(nack->command, Command::GenericNack);
    QCOMPARE(nack->status, Status::InvalidCommandLength);
    QVERIFY(client.closedByServer());
    QCOMPARE(rows(), QStringList());
}

void TestSmpp::submitsBecomeRowsAnsweredWithTheirSysNo()
{
    startServer();
    const QByteArray shop = addToken(QStringLiteral("shop"), TokenStore::Role::Send);
    auto c = bound(Command::BindTransceiver, "shop", shop);
    QVERIFY(c);
    const QString longText = QString(200, QLatin1Char('y'));
    struct Submit
    {
        QByteArray body;
        QString number;
        QString text;
    };
    const QList<Submit> good{
            {SmppTestClient::submitBody("8613800138000", 0, QByteArray("Hi \0 \x1B\x65", 7)),
             QStringLiteral("8613800138000"), QStringLiteral("Hi @ €")},
            {SmppTestClient::submitBody("+86 138-0013-8001", 8, ucs2(QStringLiteral("你好"))),
             QStringLiteral("+8613800138001"), QStringLiteral("你好")},
            {SmppTestClient::submitBody("13800138002", 3, "caf\xE9"),
             QStringLiteral("13800138002"), QStringLiteral("café")},
            {SmppTestClient::submitBody(
                     "13800138003", 0, {}, 1, 0,
                     PduWriter().tlv(Tag::MessagePayload, longText.toLatin1()).data()),
             QStringLiteral("13800138003"), longText},
    };
    QStringList expected;
    // All in one write: the window arrives at once and is answered after one commit.
    QList<quint32> seqs;
    for (const Submit &s : good)
        seqs << c->send(Command::SubmitSm, s.body);
    for (qsizetype i = 0; i < good.size(); ++i) {
        const auto resp = c->answer(seqs.at(i));
        QVERIFY(resp);
        QCOMPARE(resp->status, Status::Ok);
        expected << QStringLiteral("%1|%2|%3")
                            .arg(QString::fromLatin1(idOf(*resp)), good.at(i).number,
                                 good.at(i).text);
    }
    QCOMPARE(rows(), expected);

    QCOMPARE(c->status(c->send(Command::SubmitSm, SmppTestClient::submitBody("1380013800a", 0,
                                                                             "x"))),
             Status::InvalidDestination);
    QCOMPARE(c->status(c->send(Command::SubmitSm, SmppTestClient::submitBody("13800138000", 8,
                                                                             QByteArray(1, 'A')))),
             Status::SubmitFailed);

    // submit_multi: a row per destination, the first row's SysNo as message_id.
    PduWriter multi;
    multi.cstring("").u8(0).u8(0).cstring("Shop").u8(2);
    multi.u8(1).u8(1).u8(1).cstring("8613900000001").u8(1).u8(0).u8(0).cstring("13900000002");
    multi.u8(0).u8(0).u8(0).cstring("").cstring("").u8(0).u8(0).u8(0).u8(0).u8(2).bytes("hi");
    const auto resp = c->call(Command::SubmitMulti, multi.data());
    QVERIFY(resp);
    QCOMPARE(resp->status, Status::Ok);
    const qint64 first = idOf(*resp).toLongLong();
    expected << QStringLiteral("%1|8613900000001|hi").arg(first)
             << QStringLiteral("%1|13900000002|hi").arg(first + 1);
    QCOMPARE(rows(), expected);
    // Handed to the modem without a poll of the queue.
    QTRY_VERIFY(!m_gw->fake(0).sent.isEmpty());
}

void TestSmpp::clientPartsMakeOneRowAcrossARestart()
{
    startServer();
    const QByteArray shop = addToken(QStringLiteral("shop"), TokenStore::Role::Send);
    const QString parts[] = {QStringLiteral("第一部分，"), QStringLiteral("第二部分，"),
                             QStringLiteral("第三部分。")};
    {
        auto c = bound(Command::BindTransmitter, "shop", shop);
        QVERIFY(c);
        for (int n : {3, 1}) {
            const auto resp = c->call(Command::SubmitSm,
                                      SmppTestClient::submitBody("13800138000", 8,
                                                                 udh(77, 3, quint8(n))
                                                                         + ucs2(parts[n - 1]),
                                                                 1, 0x40));
            QVERIFY(resp);
            QCOMPARE(resp->status, Status::Ok);
            // Answered once held; only the message's last part carries the row's SysNo.
            QCOMPARE(idOf(*resp), QByteArray());
        }
    }
    QCOMPARE(rows(), QStringList());
    startServer(); // as after a kill: the held parts are on the disk
    auto c = bound(Command::BindTransmitter, "shop", shop);
    QVERIFY(c);
    const auto resp = c->call(
            Command::SubmitSm,
            SmppTestClient::submitBody("13800138000", 8, udh(77, 3, 2) + ucs2(parts[1]), 1, 0x40));
    QVERIFY(resp);
    QCOMPARE(resp->status, Status::Ok);
    QCOMPARE(rows(), QStringList{QStringLiteral("%1|13800138000|%2")
                                         .arg(QString::fromLatin1(idOf(*resp)),
                                              parts[0] + parts[1] + parts[2])});
    QVERIFY(QDir(SmppServer::folder(m_gw->programDir()) + QStringLiteral("/parts")).isEmpty());

    // A last part sent twice in one window, its first answer lost as the client thought:
    // one row, and both answers carry its SysNo.
    QCOMPARE(c->status(c->send(Command::SubmitSm,
                               SmppTestClient::submitBody("13800138000", 0, udh(78, 2, 1) + "ab",
                                                          1, 0x40))),
             Status::Ok);
    const QByteArray last =
            SmppTestClient::submitBody("13800138000", 0, udh(78, 2, 2) + "cd", 1, 0x40);
    const quint32 once = c->send(Command::SubmitSm, last);
    const quint32 twice = c->send(Command::SubmitSm, last);
    const auto a = c->answer(once);
    const auto b = c->answer(twice);
    QVERIFY(a && b);
    QCOMPARE(a->status, Status::Ok);
    QCOMPARE(idOf(*b), idOf(*a));
    QCOMPARE(m_db->rows(QStringLiteral("select SMSContent from SMS where SysNo = ")
                        + QString::fromLatin1(idOf(*a))),
             QStringList{QStringLiteral("abcd")});
    QCOMPARE(rows().size(), 2);
}

void TestSmpp::pastItsRateATokenIsThrottled()
{
    m_gw->setConfig(QStringLiteral("Smpp"), QStringLiteral("Rate"), QStringLiteral("3"));
    startServer();
    const QByteArray shop = addToken(QStringLiteral("shop"), TokenStore::Role::Send);
    auto c = bound(Command::BindTransmitter, "shop", shop);
    QVERIFY(c);
    QList<quint32> seqs;
    for (int i = 0; i < 12; ++i)
        seqs << c->send(Command::SubmitSm,
                        SmppTestClient::submitBody("13800138000", 0, QByteArray::number(i)));
    int accepted = 0;
    int throttled = 0;
    for (quint32 seq : seqs) {
        const quint32 status = c->status(seq);
        accepted += status == Status::Ok;
        throttled += status == Status::Throttled;
    }
    QCOMPARE(accepted + throttled, 12);
    QVERIFY(throttled >= 8);
    QCOMPARE(rows().size(), accepted);
}

void TestSmpp::receiptsWaitUntilAcknowledgedAcrossRestarts()
{
    startServer();
    const QByteArray shop = addToken(QStringLiteral("shop"), TokenStore::Role::Send);
    qint64 id = 0;
    {
        auto tx = bound(Command::BindTransmitter, "shop", shop);
        QVERIFY(tx);
        const auto resp = tx->call(Command::SubmitSm,
                                   SmppTestClient::submitBody("8613800138000", 0, "Hello there"));
        QVERIFY(resp);
        id = idOf(*resp).toLongLong();
        QVERIFY(id > 0);
    }
    // The row owes a receipt across a restart before it is even sent.
    startServer();
    emitSent(id);
    const QString outbox = SmppServer::folder(m_gw->programDir()) + QStringLiteral("/outbox");
    QCOMPARE(QDir(outbox).entryList(QDir::Files).size(), 1);
    startServer();
    {
        auto rx = bound(Command::BindReceiver, "shop", shop);
        QVERIFY(rx);
        const auto receipt = rx->next();
        QVERIFY(receipt);
        QCOMPARE(receipt->command, Command::DeliverSm);
        auto d = decodeDeliver(receipt->body);
        QVERIFY(std::holds_alternative<DeliverSm>(d));
        const DeliverSm &r = std::get<DeliverSm>(d);
        QCOMPARE(r.esmClass, 0x04);
        QCOMPARE(r.source.address, QByteArray("8613800138000"));
        QCOMPARE(r.destination.address, QByteArray("Shop"));
        QVERIFY2(r.shortMessage.startsWith("id:" + QByteArray::number(id) + " sub:001 dlvrd:001"),
                 r.shortMessage.constData());
        QVERIFY(r.shortMessage.contains(" stat:DELIVRD err:000 text:Hello there"));
        QCOMPARE(r.tlvs.value(Tag::ReceiptedMessageId), QByteArray::number(id) + '\0');
        QCOMPARE(r.tlvs.value(Tag::MessageState), QByteArray(1, 2));
        // Never answered: the session dies with it.
        rx->socket.abort();
    }
    QTRY_COMPARE(m_server->counters().sessions, 0);
    auto rx = bound(Command::BindTransceiver, "shop", shop);
    QVERIFY(rx);
    auto again = rx->next();
    QVERIFY(again);
    QVERIFY(again->body.contains("id:" + QByteArray::number(id) + ' '));
    rx->reply(*again);
    QTRY_VERIFY(QDir(outbox).entryList(QDir::Files).isEmpty());
    // Acknowledged is gone for good, across a restart too.
    startServer();
    auto later = bound(Command::BindReceiver, "shop", shop);
    QVERIFY(later);
    QVERIFY(!later->next(500));
    // The row is settled: a second event makes no second receipt.
    emitSent(id);
    QVERIFY(!later->next(500));
    QCOMPARE(rows().size(), 1);
}

void TestSmpp::receiptsFollowRegisteredDelivery()
{
    startServer();
    const QByteArray shop = addToken(QStringLiteral("shop"), TokenStore::Role::Send);
    auto c = bound(Command::BindTransceiver, "shop", shop);
    QVERIFY(c);
    auto submit = [&](quint8 registered) {
        const auto r = c->call(Command::SubmitSm,
                               SmppTestClient::submitBody("13800138000", 0, "x", registered));
        return r ? idOf(*r).toLongLong() : 0;
    };
    const qint64 none = submit(0);
    const qint64 failureOnly = submit(2);
    const qint64 failureOnlyFails = submit(2);
    const qint64 always = submit(1);
    emitSent(none);
    emitSent(failureOnly);
    Q_EMIT(*m_gw)->events().messageFailed(failureOnlyFails, QStringLiteral("13800138000"), {},
                                          QStringLiteral("network refused"), m_gw->clock.now());
    Q_EMIT(*m_gw)->events().messageFailed(always, QStringLiteral("13800138000"), {},
                                          QStringLiteral("network refused"), m_gw->clock.now());
    QSet<QByteArray> seen;
    for (int i = 0; i < 2; ++i) {
        const auto d = c->next();
        QVERIFY(d);
        QCOMPARE(d->command, Command::DeliverSm);
        QVERIFY(d->body.contains("stat:UNDELIV"));
        seen << std::get<DeliverSm>(decodeDeliver(d->body)).tlvs.value(Tag::ReceiptedMessageId);
        c->reply(*d);
    }
    QCOMPARE(seen, (QSet<QByteArray>{QByteArray::number(failureOnlyFails) + '\0',
                                     QByteArray::number(always) + '\0'}));
    QVERIFY(!c->next(300));
}

void TestSmpp::receivedMessagesGoToEveryReaderToken()
{
    startServer();
    const QByteArray reader = addToken(QStringLiteral("reader"), TokenStore::Role::Read);
    const QByteArray ops = addToken(QStringLiteral("ops"), TokenStore::Role::Operator);
    const QByteArray shop = addToken(QStringLiteral("shop"), TokenStore::Role::Send);
    auto r1 = bound(Command::BindReceiver, "reader", reader);
    auto r2 = bound(Command::BindReceiver, "reader", reader);
    auto s = bound(Command::BindReceiver, "shop", shop);
    QVERIFY(r1 && r2 && s);
    Q_EMIT(*m_gw)->events().messageReceived(
            7, QStringLiteral("+8613812345678"), QStringLiteral("余额 12.5 元"),
            DeviceRef{QStringLiteral("Com1"), QStringLiteral("13900000000")}, m_gw->clock.now());
    // One of the token's sessions takes it; the other gets nothing, nor does a send token.
    std::optional<Pdu> got = r1->next(2000);
    SmppTestClient *taker = r1.get();
    if (!got) {
        got = r2->next(2000);
        taker = r2.get();
    }
    QVERIFY(got);
    const DeliverSm d = std::get<DeliverSm>(decodeDeliver(got->body));
    QCOMPARE(d.esmClass, 0);
    QCOMPARE(d.source.address, QByteArray("8613812345678"));
    QCOMPARE(d.source.ton, 1);
    QCOMPARE(d.destination.address, QByteArray("13900000000"));
    QCOMPARE(SmppText::decode(d.dataCoding, d.shortMessage), QStringLiteral("余额 12.5 元"));
    taker->reply(*got);
    QVERIFY(!(taker == r1.get() ? r2 : r1)->next(300));
    QVERIFY(!s->next(100));
    // The operator token was not bound: its copy waits for it.
    auto o = bound(Command::BindTransceiver, "ops", ops);
    QVERIFY(o);
    const auto late = o->next();
    QVERIFY(late);
    QCOMPARE(SmppText::decode(8, std::get<DeliverSm>(decodeDeliver(late->body)).shortMessage),
             QStringLiteral("余额 12.5 元"));
}

void TestSmpp::killedSessionLosesNoAnsweredRowAndDoublesNone()
{
    startServer();
    const QByteArray shop = addToken(QStringLiteral("shop"), TokenStore::Role::Send);
    QHash<QByteArray, QString> answered; // SysNo -> text
    QSet<QString> sent;
    for (int round = 0; round < 3; ++round) {
        auto c = bound(Command::BindTransceiver, "shop", shop);
        QVERIFY(c);
        QList<QPair<quint32, QString>> seqs;
        for (int i = 0; i < 40; ++i) {
            const QString text = QStringLiteral("r%1 m%2").arg(round).arg(i);
            sent << text;
            seqs << qMakePair(c->send(Command::SubmitSm, SmppTestClient::submitBody(
                                                                 "13800138000", 0, text.toLatin1())),
                              text);
            // The window is cut at a different place each round.
            if (i == 10 + round * 10) {
                for (const auto &[seq, submitted] : std::as_const(seqs)) {
                    const auto r = c->answer(seq);
                    QVERIFY(r && r->status == Status::Ok);
                    answered.insert(idOf(*r), submitted);
                }
                seqs.clear();
            }
        }
        c->socket.abort();
    }
    QTRY_COMPARE(m_server->counters().sessions, 0);
    const QStringList all = rows();
    QSet<QString> texts;
    QHash<QByteArray, QString> byId;
    for (const QString &row : all) {
        const QStringList f = row.split(QLatin1Char('|'));
        QVERIFY2(!texts.contains(f.at(2)), qPrintable(f.at(2)));
        texts << f.at(2);
        byId.insert(f.at(0).toLatin1(), f.at(2));
    }
    QVERIFY(sent.contains(texts));
    for (auto it = answered.cbegin(); it != answered.cend(); ++it)
        QCOMPARE(byId.value(it.key()), it.value());
}

void TestSmpp::idleSessionIsClosed()
{
    m_gw->setConfig(QStringLiteral("Smpp"), QStringLiteral("IdleSeconds"), QStringLiteral("1"));
    startServer();
    const QByteArray shop = addToken(QStringLiteral("shop"), TokenStore::Role::Send);
    auto c = bound(Command::BindTransmitter, "shop", shop);
    QVERIFY(c);
    QVERIFY(c->closedByServer(10000));
    QTRY_COMPARE(m_server->counters().sessions, 0);
    // Unbound, enquire_link does not keep a connection.
    SmppTestClient idle;
    QVERIFY(idle.connectTo(m_port));
    QElapsedTimer waited;
    waited.start();
    while (idle.socket.state() == QAbstractSocket::ConnectedState && !waited.hasExpired(10000))
        idle.call(Command::EnquireLink, {});
    QVERIFY(idle.closedByServer(100));
}


void TestSmpp::servesTlsWithACertificateAndKey()
{
    const QString dir = m_gw->programDir();
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                   QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=localhost"), QStringLiteral("-keyout"),
                   dir + QStringLiteral("/smpp.key"), QStringLiteral("-out"),
                   dir + QStringLiteral("/smpp.crt")});
    QVERIFY(openssl.waitForFinished(30000) && openssl.exitCode() == 0);
    m_gw->setConfig(QStringLiteral("Smpp"), QStringLiteral("TlsCertificate"),
                    dir + QStringLiteral("/smpp.crt"));
    m_gw->setConfig(QStringLiteral("Smpp"), QStringLiteral("TlsKey"),
                    dir + QStringLiteral("/smpp.key"));
    startServer();
    const QByteArray shop = addToken(QStringLiteral("shop"), TokenStore::Role::Send);
    SmppTestClient tls;
    QVERIFY(tls.connectTo(m_port, true));
    QCOMPARE(tls.status(tls.send(Command::BindTransmitter, SmppTestClient::bindBody("shop", shop))),
             Status::Ok);
    const auto resp = tls.call(Command::SubmitSm,
                               SmppTestClient::submitBody("13800138000", 0, "over TLS"));
    QVERIFY(resp && resp->status == Status::Ok);
    QCOMPARE(rows(), QStringList{QStringLiteral("%1|13800138000|over TLS")
                                         .arg(QString::fromLatin1(idOf(*resp)))});
    // In the clear, a bind is no handshake: no answer, no session.
    SmppTestClient plain;
    QVERIFY(plain.connectTo(m_port));
    plain.send(Command::BindTransmitter, SmppTestClient::bindBody("shop", shop));
    QVERIFY(!plain.next(1000));
    QCOMPARE(m_server->counters().sessions, 1);
}

QTEST_GUILESS_MAIN(TestSmpp)
#include "tst_smpp.moc"
