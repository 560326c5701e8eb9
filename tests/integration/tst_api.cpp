#include "apiclient.h"
#include "gatewayharness.h"
#include "testdatabase.h"

#include "api/httplistener.h"
#include "api/idempotencystore.h"
#include "api/tokenstore.h"
#include "messaging/messagequeuer.h"
#include "policy/policycolumns.h"
#include "storage/dbhelper.h"
#include "storage/statements.h"
#include "web/statusserver.h"

#include <QElapsedTimer>
#include <QHttpServer>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <unistd.h>

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

QByteArray exchange(QTcpSocket &socket, const QByteArray &request)
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
    void pageShowsHealthOnlyWithoutAToken();
    void ipv6HostAndJsonNotFound();
    void healthTellsAMissingDatabaseFileAtOnce();
    void slowClientsAreCutOffAndOthersStillAnswered();
    void aStalledReadLeavesTheSendingConnectionAlone();
    void realClientsCurlAndPython();
    void connectionsAreCappedClosedWhenIdleAndOnRequest();
    void headAndBodyHaveDeadlinesAndAddressesAShare();
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
    m_server = std::make_unique<StatusServer>(**m_gw, (*m_gw)->events());
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

void TestApi::pageShowsHealthOnlyWithoutAToken()
{
    (*m_gw)->writeLog(QStringLiteral("收到短信 13900000001: 验证码 123456"));
    QCOMPARE(m_client->get(QStringLiteral("/metrics")).status, 200);
    // A name that was rebound to 127.0.0.1 is not this server's.
    QCOMPARE(m_client->get(QStringLiteral("/metrics"), {{"Host", "evil.example"}}).status, 400);
    // On loopback too, a visitor without a token sees the figures and nothing that names a
    // message, a number or a SIM.
    auto page = m_client->get(QStringLiteral("/"));
    QCOMPARE(page.status, 200);
    QVERIFY(page.body.contains("id=\"queue\""));
    QVERIFY(page.body.contains("id=\"devices\""));
    QVERIFY(!page.body.contains("<table"));
    QVERIFY(!page.body.contains("123456"));
    QVERIFY(!page.body.contains("id=\"log\""));
    m_client->token = "vm_wrong";
    QCOMPARE(m_client->get(QStringLiteral("/")).status, 401);
    m_client->token = addToken(QStringLiteral("viewer"), TokenStore::Role::Read);
    page = m_client->get(QStringLiteral("/"));
    QCOMPARE(page.status, 200);
    QVERIFY(page.body.contains("<table id=\"devices\">"));
    QVERIFY(page.body.contains("123456"));
    startServer(QStringLiteral("0.0.0.0"));
    QCOMPARE(m_client->get(QStringLiteral("/metrics")).status, 401);
    QVERIFY(!m_client->get(QStringLiteral("/")).body.contains("123456"));
    m_client->token = addToken(QStringLiteral("viewer2"), TokenStore::Role::Read);
    QCOMPARE(m_client->get(QStringLiteral("/metrics")).status, 200);
    QCOMPARE(m_client->get(QStringLiteral("/metrics"), {{"Host", "evil.example"}}).status, 200);
}

void TestApi::ipv6HostAndJsonNotFound()
{
    // The loopback server's own names, the IPv6 one with its brackets and a port as browsers
    // send it; a look-alike is not one of them.
    const auto healthWith = [this](const QByteArray &host) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, m_port);
        if (!s.waitForConnected(2000))
            return QByteArray();
        return exchange(s, "GET /healthz HTTP/1.1\r\nHost: " + host
                                   + "\r\nConnection: close\r\n\r\n");
    };
    const QByteArray port = QByteArray::number(m_port);
    QVERIFY(healthWith("[::1]:" + port).startsWith("HTTP/1.1 200"));
    QVERIFY(healthWith("[::1]").startsWith("HTTP/1.1 200"));
    QVERIFY(healthWith("localhost:" + port).startsWith("HTTP/1.1 200"));
    QVERIFY(healthWith("[::1]x:" + port).startsWith("HTTP/1.1 400"));
    QVERIFY(healthWith("[::2]:" + port).startsWith("HTTP/1.1 400"));
    // Under /api/ a wrong path or method is JSON like every other answer there.
    m_client->token = addToken(QStringLiteral("app"));
    for (const QString &path : {QStringLiteral("/api/v1/nothing"), QStringLiteral("/api/v2/x"),
                                QStringLiteral("/api/v1/messages")}) {
        const auto r = m_client->get(path);
        QCOMPARE(r.status, 404);
        QCOMPARE(r.headers.value("content-type"), QByteArray("application/json; charset=utf-8"));
        QCOMPARE(r.errorCode(), QByteArray("not_found"));
    }
    QCOMPARE(m_client->get(QStringLiteral("/nothing")).status, 404);
}

void TestApi::healthTellsAMissingDatabaseFileAtOnce()
{
    QCOMPARE(m_client->get(QStringLiteral("/healthz")).status, 200);
    const QString file = m_db->file();
    QVERIFY(QFile::rename(file, file + QStringLiteral(".moved")));
    // Without waiting for the next supervision tick.
    const auto r = m_client->get(QStringLiteral("/healthz"));
    QCOMPARE(r.status, 503);
    QVERIFY2(r.body.contains(file.toUtf8()), r.body.constData());
    QVERIFY(QFile::rename(file + QStringLiteral(".moved"), file));
    QCOMPARE(m_client->get(QStringLiteral("/healthz")).status, 200);
    // A file the gateway's user can no longer read (root reads any).
    if (::geteuid() != 0) {
        QVERIFY(QFile(file).setPermissions(QFileDevice::WriteOwner));
        QCOMPARE(m_client->get(QStringLiteral("/healthz")).status, 503);
        QVERIFY(QFile(file).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(m_client->get(QStringLiteral("/healthz")).status, 200);
    }
}

void TestApi::slowClientsAreCutOffAndOthersStillAnswered()
{
    const QByteArray token = addToken(QStringLiteral("app"));
    // A hundred sockets from one address that send a request a byte at a time.
    const QByteArray head = "GET /api/v1/devices HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                            "Authorization: Bearer " + token + "\r\n\r\n";
    std::vector<std::unique_ptr<QTcpSocket>> slow;
    for (int i = 0; i < 100; ++i) {
        slow.push_back(std::make_unique<QTcpSocket>());
        slow.back()->connectToHost(QHostAddress::LocalHost, m_port);
    }
    qsizetype sent = 0;
    QTimer trickle;
    QObject::connect(&trickle, &QTimer::timeout, [&] {
        for (auto &s : slow) {
            if (s->state() == QAbstractSocket::ConnectedState)
                s->write(head.mid(sent % (head.size() - 4), 1));
        }
        ++sent;
    });
    trickle.start(200);
    QTest::qWait(1000);
    // Another client (another loopback address) is answered while they trickle: the health
    // check and an API call alike.
    const auto from = [this](const QByteArray &request) {
        QTcpSocket s;
        if (!s.bind(QHostAddress(QStringLiteral("127.0.0.2"))))
            return QByteArray("no bind");
        s.connectToHost(QHostAddress::LocalHost, m_port);
        if (!s.waitForConnected(2000))
            return QByteArray("no connection");
        return exchange(s, request);
    };
    QVERIFY(from("GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
                    .startsWith("HTTP/1.1 200"));
    const QByteArray devices =
            from("GET /api/v1/devices HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                 "Authorization: Bearer " + token + "\r\n\r\n");
    QVERIFY2(devices.startsWith("HTTP/1.1 200") && devices.contains("\"devices\""),
             devices.left(200).constData());
    // The trickling address holds no more than its share (once the connections past it were
    // read for a health check and closed)...
    QTest::qWait(2500);
    int open = 0;
    for (auto &s : slow)
        open += s->state() == QAbstractSocket::ConnectedState ? 1 : 0;
    QVERIFY2(open <= HttpLimits().maxPerAddress, qPrintable(QString::number(open)));
    // ...and its requests end at the head's deadline however often it sends.
    QTRY_VERIFY_WITH_TIMEOUT(std::none_of(slow.begin(), slow.end(),
                                          [](const auto &s) {
                                              return s->state()
                                                      == QAbstractSocket::ConnectedState;
                                          }),
                             30000);
    trickle.stop();
    bool timedOut = false;
    for (auto &s : slow)
        timedOut = timedOut || s->readAll().startsWith("HTTP/1.1 408");
    QVERIFY(timedOut);
    // With every slot of the address taken, that address still learns the gateway's health.
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < HttpLimits().maxPerAddress; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, m_port);
        QVERIFY(idle.back()->waitForConnected(2000));
    }
    QTest::qWait(200);
    QTcpSocket health;
    health.connectToHost(QHostAddress::LocalHost, m_port);
    QVERIFY(health.waitForConnected(2000));
    QVERIFY(exchange(health, "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
                    .startsWith("HTTP/1.1 200"));
    QTcpSocket other;
    other.connectToHost(QHostAddress::LocalHost, m_port);
    QVERIFY(other.waitForConnected(2000));
    QVERIFY(exchange(other, "GET /api/v1/devices HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
                    .startsWith("HTTP/1.1 503"));
}

void TestApi::aStalledReadLeavesTheSendingConnectionAlone()
{
    // A server where a read can be held up for real: a lock another session holds.
    TestDatabase tdb(QStringLiteral("postgresql"));
    VELMORA_NEED_DATABASE(tdb, QStringLiteral("api_stalled"));
    m_client.reset();
    m_server.reset();
    m_gw = std::make_unique<GatewayHarness>(tdb.connectionString());
    m_gw->start();
    startServer();
    m_client->token = addToken(QStringLiteral("app"));
    QSqlDatabase &app = tdb.app();
    QVERIFY(app.transaction());
    QSqlQuery lock(app);
    QVERIFY2(lock.exec(QStringLiteral("lock table smsrecv in access exclusive mode")),
             qPrintable(lock.lastError().text()));
    // The inbox read waits on the lock on a connection of its own; meanwhile a message is
    // queued, handed to the modem and its result written on the sending connection.
    bool inboxAnswered = false;
    int inboxStatus = 0;
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(base() + QStringLiteral("/api/v1/inbox")));
    request.setRawHeader("Authorization", "Bearer " + m_client->token);
    QNetworkReply *inbox = manager.get(request);
    QObject::connect(inbox, &QNetworkReply::finished, [&] {
        inboxAnswered = true;
        inboxStatus = inbox->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    });
    QTest::qWait(300);
    const auto queued = m_client->post(QStringLiteral("/api/v1/messages"),
                                       sendBody(QStringLiteral("13800138000"), QStringLiteral("a")));
    QCOMPARE(queued.status, 202);
    QTRY_COMPARE(m_gw->fake(0).sent.size(), 1);
    const qint64 id = queued.json().object().value(QStringLiteral("id")).toInteger();
    m_gw->finish(0, true);
    QTRY_COMPARE(tdb.scalar(QStringLiteral("select Status from SMS where SysNo=%1").arg(id)).toInt(),
                 2);
    QVERIFY(!inboxAnswered);
    // The stalled read gives up alone; the sending connection was never marked lost.
    QTRY_VERIFY_WITH_TIMEOUT(inboxAnswered, 20000);
    QCOMPARE(inboxStatus, 503);
    QVERIFY((*m_gw)->status().databaseUp);
    // Once the lock is gone, reads work again on a connection of their own.
    app.rollback();
    QTRY_COMPARE_WITH_TIMEOUT(m_client->get(QStringLiteral("/api/v1/inbox")).status, 200, 15000);
    inbox->deleteLater();
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

void TestApi::headAndBodyHaveDeadlinesAndAddressesAShare()
{
    QHttpServer server;
    server.route(QStringLiteral("/"), QHttpServerRequest::Method::Post,
                 [](const QHttpServerRequest &r) { return QString::fromLatin1(r.body()); });
    HttpLimits limits;
    limits.headSeconds = 1;
    limits.minBodyRate = 100;
    limits.maxPerAddress = 2;
    limits.maxHealthOnly = 1;
    limits.health = [] { return QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nok\n"); };
    QString error;
    const quint16 port =
            HttpListener::listen(server, QHostAddress::LocalHost, 0, limits, {}, &error);
    QVERIFY2(port, qPrintable(error));
    const auto connect = [port](const char *from = nullptr) {
        auto s = std::make_unique<QTcpSocket>();
        if (from)
            s->bind(QHostAddress(QLatin1String(from)));
        s->connectToHost(QHostAddress::LocalHost, port);
        s->waitForConnected(2000);
        return s;
    };
    const auto trickle = [](QTcpSocket &s, const QByteArray &bytes, int gapMs) {
        QByteArray in;
        for (char c : bytes) {
            if (s.state() != QAbstractSocket::ConnectedState)
                break;
            s.write(&c, 1);
            QTest::qWait(gapMs);
            in += s.readAll();
        }
        // Whether the answer came is what the caller looks at.
        (void)QTest::qWaitFor(
                [&] {
                    in += s.readAll();
                    return s.state() != QAbstractSocket::ConnectedState
                            || in.contains("\r\n\r\n");
                },
                5000);
        return in + s.readAll();
    };
    // A head a byte at a time, each byte well within the idle time, is cut off at its deadline.
    auto slowHead = connect();
    const QByteArray head = trickle(*slowHead, "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\n", 150);
    QVERIFY2(head.startsWith("HTTP/1.1 408"), head.constData());
    // A body: 300 bytes may take 1 s + 3 s; one that comes slower is cut off, one in time is read.
    const QByteArray body(300, 'b');
    const QByteArray post = "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 300\r\n\r\n";
    auto slowBody = connect();
    slowBody->write(post);
    QByteArray answer = trickle(*slowBody, body.left(60), 100);
    QVERIFY2(answer.startsWith("HTTP/1.1 408"), answer.constData());
    auto steadyBody = connect();
    steadyBody->write(post + body.left(150));
    QTest::qWait(1500);
    steadyBody->write(body.mid(150));
    QTRY_VERIFY(steadyBody->bytesAvailable() > 0);
    QTest::qWait(100);
    answer = steadyBody->readAll();
    QVERIFY2(answer.startsWith("HTTP/1.1 200") && answer.endsWith(body), answer.left(40).constData());
    steadyBody.reset();
    slowBody.reset();
    slowHead.reset();
    QTest::qWait(300);
    // One address holds its share; another still gets in, and past the share /healthz answers.
    auto a = connect();
    auto b = connect();
    QTest::qWait(100);
    auto other = connect("127.0.0.2");
    QVERIFY(exchange(*other, "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                             "Content-Length: 2\r\n\r\nok")
                    .startsWith("HTTP/1.1 200"));
    auto health = connect();
    QVERIFY(exchange(*health, "GET /healthz HTTP/1.1\r\n\r\n").endsWith("ok\n"));
    QTest::qWait(100);
    auto refused = connect();
    QVERIFY(exchange(*refused, "POST / HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 503"));
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
