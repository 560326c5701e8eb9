#include "apiclient.h"
#include "gatewayharness.h"
#include "testdatabase.h"

#include "api/httplistener.h"
#include "api/idempotencystore.h"
#include "api/tokenstore.h"
#include "messaging/dbhelper.h"
#include "messaging/messagequeuer.h"
#include "messaging/statements.h"
#include "policy/policycolumns.h"
#include "status/gatewayapiengine.h"
#include "status/statusserver.h"

#include <QHttpServer>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QByteArray sendBody(const QString &to, const QString &text)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("to"), to}, {QStringLiteral("text"), text}})
            .toJson(QJsonDocument::Compact);
}

} // namespace

// The send API driven over real HTTP against the real engine on a real SQLite database, with
// scripted modem controls.
class TestApi : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void queuedMessageGoesToAFreeModemAndReadsBack();
    void listQueuesOneRowPerNumber();
    void badInputLeavesNothingInTheTable_data();
    void badInputLeavesNothingInTheTable();
    void badScheduleFieldsLeaveNothingInTheTable_data();
    void badScheduleFieldsLeaveNothingInTheTable() { badInputLeavesNothingInTheTable(); }
    void scheduleFieldsNeedTheirColumnsAndReasonReadsBack();
    void tokensAreCheckedAndChangesSeenWhileRunning();
    void idempotencyKeyAnswersTheFirstResultAcrossARestart();
    void inboxAndDevices();
    void ratePerTokenAnswers429();
    void pageNeedsATokenOffLoopbackOnly();
    void realClientsCurlAndPython();
    void connectionsAreCappedClosedWhenIdleAndOnRequest();
    void servesHttpsWithACertificateAndKey();
    void sysNoComesBackOnEveryEngine_data();
    void sysNoComesBackOnEveryEngine();

private:
    void startServer(const QString &address = QStringLiteral("127.0.0.1"));
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    int rows() { return m_db->scalar(QStringLiteral("select count(*) from SMS")).toInt(); }
    QByteArray addToken(const QString &name, TokenStore::Role role = TokenStore::Role::Send)
    {
        QString error;
        const QString t =
                TokenStore(TokenStore::fileIn(m_gw->programDir())).add(name, role, &error);
        if (t.isEmpty())
            qWarning("%s", qPrintable(error));
        return t.toLatin1();
    }

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<GatewayHarness> m_gw;
    std::unique_ptr<StatusServer> m_server;
    std::unique_ptr<ApiClient> m_client;
    quint16 m_port = 0;
};

void TestApi::init()
{
    m_db = std::make_unique<TestDatabase>(QStringLiteral("sqlite"));
    QString error;
    QVERIFY2(m_db->create(QStringLiteral("api"), &error), qPrintable(error));
    m_gw = std::make_unique<GatewayHarness>(m_db->connectionString());
    m_gw->start();
    startServer();
}

void TestApi::cleanup()
{
    m_client.reset();
    m_server.reset();
    m_gw.reset();
    m_db.reset();
}

void TestApi::startServer(const QString &address)
{
    m_client.reset();
    m_server.reset();
    m_port = freePort();
    m_gw->setConfig(QStringLiteral("Service"), QStringLiteral("HttpPort"), QString::number(m_port));
    m_gw->setConfig(QStringLiteral("Service"), QStringLiteral("HttpAddress"), address);
    m_server = std::make_unique<StatusServer>(**m_gw, (*m_gw)->events(),
                                              std::make_unique<GatewayApiEngine>(**m_gw));
    QCOMPARE(m_server->port(), m_port);
    m_client = std::make_unique<ApiClient>(base());
}

void TestApi::queuedMessageGoesToAFreeModemAndReadsBack()
{
    m_client->token = addToken(QStringLiteral("app"));
    const auto r =
            m_client->post(QStringLiteral("/api/v1/messages"),
                           sendBody(QStringLiteral("+86 138-0013.8000"), QStringLiteral("你好")));
    QCOMPARE(r.status, 202);
    QCOMPARE(r.headers.value("content-type"), QByteArray("application/json; charset=utf-8"));
    const qint64 id = r.json().object().value(QStringLiteral("id")).toInteger();
    QVERIFY(id > 0);
    QCOMPARE(r.json().object().value(QStringLiteral("status")).toString(),
             QStringLiteral("queued"));
    // Handed over without a poll of the queue.
    QTRY_COMPARE(m_gw->fake(0).sent.size(), 1);
    QCOMPARE(m_gw->fake(0).sent.first().number, QStringLiteral("+8613800138000"));
    QCOMPARE(m_db->rows(QStringLiteral("select SysNo, CellNumber, SMSContent from SMS")),
             QStringList{QStringLiteral("%1|+8613800138000|你好").arg(id)});

    auto read = m_client->get(QStringLiteral("/api/v1/messages/%1").arg(id));
    QCOMPARE(read.status, 200);
    QCOMPARE(read.json().object().value(QStringLiteral("status")).toString(),
             QStringLiteral("sending"));
    QCOMPARE(read.json().object().value(QStringLiteral("device")).toString(),
             QStringLiteral("Com1"));
    m_gw->finish(0, true);
    m_gw->gw->flow().store().flushStatuses();
    read = m_client->get(QStringLiteral("/api/v1/messages/%1").arg(id));
    QCOMPARE(read.json().object().value(QStringLiteral("status")).toString(),
             QStringLiteral("sent"));
    QCOMPARE(m_client->get(QStringLiteral("/api/v1/messages/%1").arg(id + 1)).status, 404);
    QCOMPARE(m_client->get(QStringLiteral("/api/v1/messages/abc")).status, 404);
}

void TestApi::listQueuesOneRowPerNumber()
{
    m_client->token = addToken(QStringLiteral("app"));
    const auto r =
            m_client->post(QStringLiteral("/api/v1/messages"),
                           R"({"to": ["13800138000", "13800138001", "+441234567"], "text": "x"})");
    QCOMPARE(r.status, 202);
    const QJsonArray items = r.json().array();
    QCOMPARE(items.size(), 3);
    QStringList expected;
    const QStringList numbers{"13800138000", "13800138001", "+441234567"};
    for (int i = 0; i < 3; ++i)
        expected << QStringLiteral("%1|%2")
                            .arg(items.at(i)[QStringLiteral("id")].toInteger())
                            .arg(numbers.at(i));
    QCOMPARE(m_db->rows(QStringLiteral("select SysNo, CellNumber from SMS order by SysNo")),
             expected);
}

void TestApi::badInputLeavesNothingInTheTable_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("code");
    const QByteArray json = "application/json";
    QTest::newRow("malformed") << QByteArray(R"({"to": "123",)") << json << 400
                               << QByteArray("malformed_json");
    QTest::newRow("not an object")
            << QByteArray(R"(["123"])") << json << 400 << QByteArray("malformed_json");
    QTest::newRow("bad utf-8") << QByteArray("{\"to\": \"13800138000\", \"text\": \"\xff\xfe\"}")
                               << json << 400 << QByteArray("invalid_utf8");
    QTest::newRow("number as number") << QByteArray(R"({"to": 13800138000, "text": "x"})") << json
                                      << 422 << QByteArray("invalid_type");
    QTest::newRow("text as number") << QByteArray(R"({"to": "13800138000", "text": 5})") << json
                                    << 422 << QByteArray("invalid_type");
    QTest::newRow("unknown field")
            << QByteArray(R"({"to": "13800138000", "text": "x", "from": "1"})") << json << 422
            << QByteArray("unknown_field");
    QTest::newRow("no text") << QByteArray(R"({"to": "13800138000"})") << json << 422
                             << QByteArray("missing_field");
    QTest::newRow("no to") << QByteArray(R"({"text": "x"})") << json << 422
                           << QByteArray("missing_field");
    QTest::newRow("empty text") << QByteArray(R"({"to": "13800138000", "text": ""})") << json << 422
                                << QByteArray("empty_text");
    QTest::newRow("letters") << QByteArray(R"({"to": "1380013800a", "text": "x"})") << json << 422
                             << QByteArray("invalid_number");
    QTest::newRow("too short") << QByteArray(R"({"to": "12", "text": "x"})") << json << 422
                               << QByteArray("invalid_number");
    QTest::newRow("too long") << QByteArray(R"({"to": "123456789012345678901", "text": "x"})")
                              << json << 422 << QByteArray("invalid_number");
    QTest::newRow("plus inside") << QByteArray(R"({"to": "138+00138000", "text": "x"})") << json
                                 << 422 << QByteArray("invalid_number");
    QTest::newRow("one bad in list") << QByteArray(R"({"to": ["13800138000", "x"], "text": "x"})")
                                     << json << 422 << QByteArray("invalid_number");
    QTest::newRow("empty list") << QByteArray(R"({"to": [], "text": "x"})") << json << 422
                                << QByteArray("invalid_count");
    QByteArray many = R"({"text": "x", "to": [)";
    for (int i = 0; i < 1001; ++i)
        many += (i ? ",\"" : "\"") + QByteArray::number(13800000000LL + i) + "\"";
    QTest::newRow("1001 numbers") << QByteArray(many + "]}") << json << 422
                                  << QByteArray("invalid_count");
    QTest::newRow("lone surrogate") << QByteArray(R"({"to": "13800138000", "text": "a\ud800'b"})")
                                    << json << 422 << QByteArray("invalid_text");
    QTest::newRow("nul") << QByteArray(R"({"to": "13800138000", "text": "a\u0000b"})") << json
                         << 422 << QByteArray("invalid_text");
    // 17085 UCS-2 characters fit in 255 parts; one more does not.
    QTest::newRow("256 parts") << sendBody(QStringLiteral("13800138000"),
                                           QString(17086, QChar(0x4e2d)))
                               << json << 422 << QByteArray("text_too_long");
    QTest::newRow("not json") << QByteArray(R"({"to": "13800138000", "text": "x"})")
                              << QByteArray("text/plain") << 415
                              << QByteArray("unsupported_media_type");
    QTest::newRow("over 64 KiB") << sendBody(QStringLiteral("13800138000"),
                                             QString(70000, QLatin1Char('a')))
                                 << json << 413 << QByteArray("body_too_large");
}

void TestApi::badInputLeavesNothingInTheTable()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, type);
    QFETCH(int, status);
    QFETCH(QByteArray, code);
    m_client->token = addToken(QStringLiteral("app"));
    const auto r = m_client->post(QStringLiteral("/api/v1/messages"), body, {}, type);
    QCOMPARE(r.status, status);
    QCOMPARE(r.errorCode(), code);
    QVERIFY(!r.json().object()
                     .value(QStringLiteral("error"))[QStringLiteral("message")]
                     .toString()
                     .isEmpty());
    QCOMPARE(rows(), 0);
    // The connection stays usable after a refusal made by the HTTP server itself.
    QCOMPARE(m_client->get(QStringLiteral("/api/v1/devices")).status, 200);
}

void TestApi::badScheduleFieldsLeaveNothingInTheTable_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("code");
    const QByteArray json = "application/json";
    QTest::newRow("priority too high")
            << QByteArray(R"({"to": "13800138000", "text": "x", "priority": 1001})") << json << 422
            << QByteArray("invalid_priority");
    QTest::newRow("priority not whole")
            << QByteArray(R"({"to": "13800138000", "text": "x", "priority": 1.5})") << json << 422
            << QByteArray("invalid_priority");
    QTest::newRow("priority as text")
            << QByteArray(R"({"to": "13800138000", "text": "x", "priority": "5"})") << json << 422
            << QByteArray("invalid_priority");
    QTest::newRow("time in words")
            << QByteArray(R"({"to": "13800138000", "text": "x", "sendAfter": "tomorrow"})") << json
            << 422 << QByteArray("invalid_time");
    QTest::newRow("no such day") << QByteArray(
            R"({"to": "13800138000", "text": "x", "validUntil": "2026-02-30T10:00:00"})")
                                 << json << 422 << QByteArray("invalid_time");
    QTest::newRow("date without time")
            << QByteArray(R"({"to": "13800138000", "text": "x", "sendAfter": "2026-12-06"})")
            << json << 422 << QByteArray("invalid_time");
    QTest::newRow("valid before due")
            << QByteArray(R"({"to": "13800138000", "text": "x", "sendAfter": "2026-12-06T06:00:00",
                              "validUntil": "2026-12-06T05:00:00"})")
            << json << 422 << QByteArray("invalid_time");
}

void TestApi::scheduleFieldsNeedTheirColumnsAndReasonReadsBack()
{
    m_client->token = addToken(QStringLiteral("app"));
    const QString path = QStringLiteral("/api/v1/messages");
    // Without its column the time would be dropped and the message sent at once.
    auto r = m_client->post(
            path, R"({"to": "13800138000", "text": "x", "sendAfter": "2026-12-06T05:00:00"})");
    QCOMPARE(r.status, 422);
    QCOMPARE(r.errorCode(), QByteArray("unsupported_field"));
    QCOMPARE(r.json().object().value(QStringLiteral("error"))[QStringLiteral("field")].toString(),
             QStringLiteral("sendAfter"));
    QCOMPARE(rows(), 0);

    for (const QString &add : PolicyColumns::addColumns(PolicyColumns::Engine::SQLite))
        QVERIFY(m_db->exec(add));
    r = m_client->post(path, R"({"to": "13800138001", "text": "later", "priority": 7,
                                 "sendAfter": "2026-12-06T23:00:00+08:00"})");
    QCOMPARE(r.status, 202);
    const qint64 later = r.json().object().value(QStringLiteral("id")).toInteger();
    r = m_client->post(path, R"({"to": "13800138002", "text": "gone", "priority": -3,
                                 "validUntil": "2026-12-06T04:00:00"})");
    QCOMPARE(r.status, 202);
    const qint64 gone = r.json().object().value(QStringLiteral("id")).toInteger();
    // Written in the tables' own form: local time, whole seconds.
    const QString due = Statements::timeText(
            QDateTime::fromString(QStringLiteral("2026-12-06T23:00:00+08:00"), Qt::ISODate)
                    .toLocalTime());
    QCOMPARE(m_db->rows(QStringLiteral("select Priority, SendAfter, ValidUntil from SMS order by "
                                       "SysNo")),
             QStringList({QStringLiteral("7|%1|<null>").arg(due),
                          QStringLiteral("-3|<null>|2026-12-06 04:00:00")}));

    // The expired one fails with its reason at the dispatch the queueing woke.
    const auto read = [this](qint64 id) {
        return m_client->get(QStringLiteral("/api/v1/messages/%1").arg(id)).json().object();
    };
    QTRY_COMPARE(read(gone).value(QStringLiteral("status")).toString(), QStringLiteral("failed"));
    QCOMPARE(read(gone).value(QStringLiteral("reason")).toString(), QStringLiteral("expired"));
    QVERIFY(m_gw->fake(0).sent.isEmpty());
    QCOMPARE(read(later).value(QStringLiteral("status")).toString(), QStringLiteral("queued"));
    QVERIFY(!read(later).contains(QStringLiteral("reason")));
}

void TestApi::tokensAreCheckedAndChangesSeenWhileRunning()
{
    const QByteArray body = sendBody(QStringLiteral("13800138000"), QStringLiteral("x"));
    auto r = m_client->post(QStringLiteral("/api/v1/messages"), body);
    QCOMPARE(r.status, 401);
    QCOMPARE(r.headers.value("www-authenticate"), QByteArray("Bearer"));
    const QByteArray good = addToken(QStringLiteral("app"));
    m_client->token = good;
    m_client->token.chop(1);
    QCOMPARE(m_client->post(QStringLiteral("/api/v1/messages"), body).status, 401);
    m_client->token = addToken(QStringLiteral("viewer"), TokenStore::Role::Read);
    QCOMPARE(m_client->post(QStringLiteral("/api/v1/messages"), body).status, 401);
    QCOMPARE(m_client->get(QStringLiteral("/api/v1/devices")).status, 200);
    QCOMPARE(rows(), 0);
    m_client->token = good;
    QCOMPARE(m_client->post(QStringLiteral("/api/v1/messages"), body).status, 202);
    QString error;
    QVERIFY(TokenStore(TokenStore::fileIn(m_gw->programDir()))
                    .revoke(QStringLiteral("app"), &error));
    QCOMPARE(m_client->post(QStringLiteral("/api/v1/messages"), body).status, 401);
    QCOMPARE(rows(), 1);
    QCOMPARE(QFile(TokenStore::fileIn(m_gw->programDir())).permissions() & 0x0077, 0);
    QFile file(TokenStore::fileIn(m_gw->programDir()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(!file.readAll().contains(good.mid(3)));
}

void TestApi::idempotencyKeyAnswersTheFirstResultAcrossARestart()
{
    m_client->token = addToken(QStringLiteral("app"));
    const QByteArray body = sendBody(QStringLiteral("13800138000"), QStringLiteral("x"));
    const QList<QPair<QByteArray, QByteArray>> key{{"Idempotency-Key", "order-17"}};
    const auto first = m_client->post(QStringLiteral("/api/v1/messages"), body, key);
    QCOMPARE(first.status, 202);
    const auto again = m_client->post(QStringLiteral("/api/v1/messages"), body, key);
    QCOMPARE(again.status, 202);
    QCOMPARE(again.body, first.body);
    QCOMPARE(rows(), 1);
    const auto other =
            m_client->post(QStringLiteral("/api/v1/messages"),
                           sendBody(QStringLiteral("13800138000"), QStringLiteral("y")), key);
    QCOMPARE(other.status, 409);
    QCOMPARE(rows(), 1);
    // The server made anew reads the answers kept on disk.
    const QByteArray token = m_client->token;
    startServer();
    m_client->token = token;
    QCOMPARE(m_client->post(QStringLiteral("/api/v1/messages"), body, key).body, first.body);
    QCOMPARE(rows(), 1);
    m_client->token = addToken(QStringLiteral("app2"));
    QCOMPARE(m_client->post(QStringLiteral("/api/v1/messages"), body, key).status, 202);
    QCOMPARE(rows(), 2); // another token's key is its own
}

void TestApi::inboxAndDevices()
{
    m_client->token = addToken(QStringLiteral("app"));
    for (int i = 1; i <= 3; ++i)
        m_db->exec(QStringLiteral("insert into smsrecv(cellnumber, smscontent, HandleTime) "
                                  "values('1390000000%1', 'in %1', '2026-12-06 04:47:1%1')")
                           .arg(i));
    auto r = m_client->get(QStringLiteral("/api/v1/inbox?after=1&limit=1"));
    QCOMPARE(r.status, 200);
    const QJsonArray items = r.json()[QStringLiteral("messages")].toArray();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.at(0)[QStringLiteral("id")].toInteger(), 2);
    QCOMPARE(items.at(0)[QStringLiteral("text")].toString(), QStringLiteral("in 2"));
    QCOMPARE(r.json()[QStringLiteral("last")].toInteger(), 2);
    QCOMPARE(m_client->get(QStringLiteral("/api/v1/inbox?limit=0")).status, 400);
    QCOMPARE(m_client->get(QStringLiteral("/api/v1/inbox?after=x")).status, 400);
    r = m_client->get(QStringLiteral("/api/v1/devices"));
    QCOMPARE(r.status, 200);
    const QJsonObject d = r.json()[QStringLiteral("devices")].toArray().at(0).toObject();
    QCOMPARE(d[QStringLiteral("port")].toString(), QStringLiteral("Com1"));
    QVERIFY(d[QStringLiteral("sent")].isDouble());
    QCOMPARE(m_client->get(QStringLiteral("/api/v1/openapi.json"))
                     .json()[QStringLiteral("openapi")]
                     .toString()
                     .left(2),
             QStringLiteral("3."));
}

void TestApi::ratePerTokenAnswers429()
{
    m_gw->setConfig(QStringLiteral("Service"), QStringLiteral("ApiRate"), QStringLiteral("5"));
    startServer();
    m_client->token = addToken(QStringLiteral("app"));
    int limited = 0;
    QByteArray retryAfter;
    for (int i = 0; i < 30; ++i) {
        const auto r = m_client->get(QStringLiteral("/api/v1/devices"));
        if (r.status == 429) {
            ++limited;
            retryAfter = r.headers.value("retry-after");
        }
    }
    QVERIFY(limited > 0);
    QVERIFY(retryAfter.toInt() >= 1);
}

void TestApi::pageNeedsATokenOffLoopbackOnly()
{
    QCOMPARE(m_client->get(QStringLiteral("/metrics")).status, 200);
    // A name that was rebound to 127.0.0.1 is not this server's.
    QCOMPARE(m_client->get(QStringLiteral("/metrics"), {{"Host", "evil.example"}}).status, 400);
    startServer(QStringLiteral("0.0.0.0"));
    QCOMPARE(m_client->get(QStringLiteral("/metrics")).status, 401);
    QCOMPARE(m_client->get(QStringLiteral("/")).status, 401);
    m_client->token = addToken(QStringLiteral("viewer"), TokenStore::Role::Read);
    QCOMPARE(m_client->get(QStringLiteral("/metrics")).status, 200);
    QCOMPARE(m_client->get(QStringLiteral("/metrics"), {{"Host", "evil.example"}}).status, 200);
}

void TestApi::realClientsCurlAndPython()
{
    const QByteArray token = addToken(QStringLiteral("app"));
    QProcess curl;
    // curl waits for the whole answer here: the server's event loop must keep turning.
    curl.start(QStringLiteral("curl"),
               {QStringLiteral("-sS"), QStringLiteral("-H"),
                QStringLiteral("Authorization: Bearer ") + token, QStringLiteral("-H"),
                QStringLiteral("Content-Type: application/json"), QStringLiteral("-d"),
                QString::fromUtf8(sendBody(QStringLiteral("13800138000"), QStringLiteral("curl"))),
                base() + QStringLiteral("/api/v1/messages")});
    QTRY_VERIFY_WITH_TIMEOUT(curl.state() == QProcess::NotRunning, 10000);
    QCOMPARE(QJsonDocument::fromJson(curl.readAllStandardOutput())[QStringLiteral("status")]
                     .toString(),
             QStringLiteral("queued"));
    const QString script = QStringLiteral(
            "import json, sys, urllib.request\n"
            "base, token = sys.argv[1], sys.argv[2]\n"
            "h = {'Authorization': 'Bearer ' + token, 'Content-Type': 'application/json'}\n"
            "req = urllib.request.Request(base + '/api/v1/messages', data=json.dumps({'to': "
            "'13800138001', 'text': 'py'}).encode(), headers=h)\n"
            "sent = json.load(urllib.request.urlopen(req))\n"
            "got = json.load(urllib.request.urlopen(urllib.request.Request(base + "
            "'/api/v1/messages/%d' % sent['id'], headers=h)))\n"
            "print(got['to'], got['text'])\n");
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"), script, base(), QString::fromLatin1(token)});
    QTRY_VERIFY_WITH_TIMEOUT(python.state() == QProcess::NotRunning, 10000);
    QCOMPARE(python.readAllStandardOutput().trimmed(), QByteArray("13800138001 py"));
    QCOMPARE(rows(), 2);
}

// What one raw connection gets back for what it sends, until the server closes it or 5 s pass.
static QByteArray exchange(QTcpSocket &socket, const QByteArray &request)
{
    socket.write(request);
    QByteArray answer;
    QElapsedTimer timer;
    timer.start();
    while (socket.state() == QAbstractSocket::ConnectedState && timer.elapsed() < 5000) {
        socket.waitForReadyRead(100);
        QCoreApplication::processEvents();
        answer += socket.readAll();
    }
    return answer + socket.readAll();
}

void TestApi::connectionsAreCappedClosedWhenIdleAndOnRequest()
{
    QHttpServer server;
    server.route(QStringLiteral("/"), [] { return QStringLiteral("ok"); });
    HttpLimits limits;
    limits.maxConnections = 2;
    limits.idleSeconds = 1;
    QString error;
    const quint16 port =
            HttpListener::listen(server, QHostAddress::LocalHost, 0, limits, {}, &error);
    QVERIFY2(port, qPrintable(error));
    QTcpSocket a, b, c;
    for (QTcpSocket *s : {&a, &b, &c})
        s->connectToHost(QHostAddress::LocalHost, port);
    QTRY_COMPARE(c.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(c.readAll().startsWith("HTTP/1.1 503"));
    // An idle connection is closed, which makes room for a new one.
    QTRY_COMPARE_WITH_TIMEOUT(a.state(), QAbstractSocket::UnconnectedState, 5000);
    QTcpSocket d;
    d.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(d.waitForConnected(2000));
    const QByteArray closed =
            exchange(d, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QVERIFY2(closed.startsWith("HTTP/1.1 200") && closed.endsWith("ok"), closed.constData());
    QCOMPARE(d.state(), QAbstractSocket::UnconnectedState);
    QTcpSocket e;
    e.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(e.waitForConnected(2000));
    const QByteArray tooLong = exchange(e, "GET /" + QByteArray(9000, 'a') + " HTTP/1.1\r\n");
    QVERIFY2(tooLong.startsWith("HTTP/1.1 414"), tooLong.left(40).constData());
}

void TestApi::servesHttpsWithACertificateAndKey()
{
    const QString dir = m_gw->programDir();
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                   QStringLiteral("1"), QStringLiteral("-subj"), QStringLiteral("/CN=localhost"),
                   QStringLiteral("-keyout"), dir + QStringLiteral("/key.pem"),
                   QStringLiteral("-out"), dir + QStringLiteral("/cert.pem")});
    QVERIFY(openssl.waitForFinished(30000) && openssl.exitCode() == 0);
    m_gw->setConfig(QStringLiteral("Service"), QStringLiteral("TlsCertificate"),
                    dir + QStringLiteral("/cert.pem"));
    m_gw->setConfig(QStringLiteral("Service"), QStringLiteral("TlsKey"),
                    dir + QStringLiteral("/key.pem"));
    startServer();
    QVERIFY(m_server->address().startsWith(QStringLiteral("https://")));
    ApiClient tls(QStringLiteral("https://127.0.0.1:%1").arg(m_port));
    tls.token = addToken(QStringLiteral("app"));
    QCOMPARE(tls.post(QStringLiteral("/api/v1/messages"),
                      sendBody(QStringLiteral("13800138000"), QStringLiteral("tls")))
                     .status,
             202);
    QCOMPARE(rows(), 1);
    // Plain HTTP on the same port gets no answer.
    QCOMPARE(m_client->get(QStringLiteral("/api/v1/devices")).status, 0);
}

void TestApi::sysNoComesBackOnEveryEngine_data()
{
    QTest::addColumn<QString>("engine");
    for (const char *e : {"sqlite", "postgresql", "mysql"})
        QTest::newRow(e) << QString::fromLatin1(e);
}

void TestApi::sysNoComesBackOnEveryEngine()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, QStringLiteral("api_sysno"));
    tdb.insertPending(2);
    DBHelper db;
    QString error;
    QVERIFY2(db.OpenConnection(tdb.connectionString(), &error), qPrintable(error));
    MessageQueuer queuer(db, [] {});
    const QueueResult r = queuer.queue({{QStringLiteral("13800138000"), QStringLiteral("a")},
                                        {QStringLiteral("13800138001"), QStringLiteral("b")}});
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(tdb.rows(QStringLiteral("select SysNo, SMSContent from SMS where CellNumber like "
                                     "'138%' order by SysNo")),
             (QStringList{QStringLiteral("%1|a").arg(r.ids.at(0)),
                          QStringLiteral("%1|b").arg(r.ids.at(1))}));
}

QTEST_MAIN(TestApi)
#include "tst_api.moc"
