#include "apiclient.h"
#include "devtoolsbrowser.h"
#include "gatewayharness.h"
#include "testdatabase.h"

#include "api/tokenstore.h"
#include "web/statusserver.h"

#include <QJsonArray>
#include <QTcpServer>
#include <QTest>
#include <QWebSocket>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A page's end of the live channel, as a program sees it.
struct LiveClient
{
    explicit LiveClient(const QString &origin = {}) : socket(origin)
    {
        QObject::connect(
                &socket, &QWebSocket::binaryMessageReceived, &socket,
                [this](const QByteArray &m) { messages << QJsonDocument::fromJson(m).object(); });
    }
    bool open(quint16 port)
    {
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/console/live").arg(port)));
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; },
                               5000);
    }
    bool closed() const { return socket.state() == QAbstractSocket::UnconnectedState; }
    QJsonObject last(const QString &type) const
    {
        for (auto it = messages.crbegin(); it != messages.crend(); ++it) {
            if (it->value(QLatin1String("type")).toString() == type)
                return *it;
        }
        return {};
    }
    QWebSocket socket;
    QList<QJsonObject> messages;
};

} // namespace

// The console against the real engine on a real database, with scripted modem controls: the
// second device cannot be opened and two rows are long in a modem's hands.
class TestConsole : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void actionsNeedAnOperatorTokenFromTheSameSite();
    void actionsAreLoggedWithTheTokensName();
    void requeueTakesAnExplicitListOfRows();
    void liveChannelNeedsATokenOnLoopbackToo();
    void liveChannelRefusesOtherSitesAndPaths();
    void thePageInARealBrowser();
    void theConsolesBadDay();

private:
    void startServer(const QString &address = QStringLiteral("127.0.0.1"));
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    QByteArray addToken(const QString &name, TokenStore::Role role)
    {
        QString error;
        return TokenStore(TokenStore::fileIn(m_gw->programDir()))
                .add(name, role, &error)
                .toLatin1();
    }
    ApiClient::Reply act(const QString &action, const QByteArray &body,
                         const QList<QPair<QByteArray, QByteArray>> &headers = {})
    {
        return m_client->post(QStringLiteral("/console/actions/") + action, body, headers);
    }

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<GatewayHarness> m_gw;
    std::unique_ptr<StatusServer> m_server;
    std::unique_ptr<ApiClient> m_client;
    QList<qint64> m_stuck;
    QByteArray m_operator;
    quint16 m_port = 0;
};

void TestConsole::init()
{
    m_db = std::make_unique<TestDatabase>(QStringLiteral("sqlite"));
    QString error;
    QVERIFY2(m_db->create(QStringLiteral("console"), &error), qPrintable(error));
    for (const char *number : {"13800000001", "13800000002"})
        QVERIFY(m_db->exec(
                QStringLiteral("insert into SMS(CellNumber, SMSContent, Status, HandleTime) "
                               "values('%1', 'x', 1, '2026-12-05T04:00:00')")
                        .arg(QLatin1String(number))));
    for (const QString &id : m_db->rows(QStringLiteral("select SysNo from SMS order by SysNo")))
        m_stuck << id.toLongLong();
    m_gw = std::make_unique<GatewayHarness>(m_db->connectionString(), QStringLiteral("1,2"));
    m_gw->fake(1).openResult = -1;
    m_gw->fake(1).lastError = QStringLiteral("Permission denied");
    m_gw->start();
    m_gw->supervise();
    m_operator = addToken(QStringLiteral("ops1"), TokenStore::Role::Operator);
    startServer();
}

void TestConsole::cleanup()
{
    m_client.reset();
    m_server.reset();
    m_gw.reset();
    m_db.reset();
    m_stuck.clear();
}

void TestConsole::startServer(const QString &address)
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

void TestConsole::actionsNeedAnOperatorTokenFromTheSameSite()
{
    QCOMPARE(act(QStringLiteral("stop"), "{}").status, 401);
    m_client->token = addToken(QStringLiteral("app"), TokenStore::Role::Send);
    QCOMPARE(act(QStringLiteral("stop"), "{}").status, 403);
    m_client->token = addToken(QStringLiteral("monitor"), TokenStore::Role::Read);
    QCOMPARE(act(QStringLiteral("stop"), "{}").status, 403);
    m_client->token = m_operator;
    // A page of another site posting with the operator's token in hand is refused all the same.
    QCOMPARE(act(QStringLiteral("stop"), "{}", {{"Origin", "http://evil.example"}}).status, 403);
    QCOMPARE(act(QStringLiteral("stop"), "{}",
                 {{"Origin", QStringLiteral("http://127.0.0.1:%1").arg(m_port + 1).toLatin1()}})
                     .status,
             403);
    QCOMPARE(act(QStringLiteral("stop"), "{}", {{"Sec-Fetch-Site", "cross-site"}}).status, 403);
    QVERIFY((*m_gw)->status().running);
    QCOMPARE(act(QStringLiteral("nonsense"), "{}").status, 404);
    QCOMPARE(act(QStringLiteral("stop"), "[1]").status, 400);
    const auto ok = act(QStringLiteral("stop"), "{}",
                        {{"Origin", QStringLiteral("http://127.0.0.1:%1").arg(m_port).toLatin1()},
                         {"Sec-Fetch-Site", "same-origin"}});
    QCOMPARE(ok.status, 200);
    QTRY_VERIFY(!(*m_gw)->status().running);
}

void TestConsole::actionsAreLoggedWithTheTokensName()
{
    m_client->token = m_operator;
    QCOMPARE(act(QStringLiteral("stop"), "{}").status, 200);
    QVERIFY(m_gw->logged(QStringLiteral("控制台操作(令牌 ops1): 停止服务")));
    QTRY_VERIFY(!(*m_gw)->status().running);
    // The start reads the settings again; a server moved to another port replaces the one that
    // took this request, which must have answered first.
    const quint16 before = m_port;
    m_port = freePort();
    m_gw->setConfig(QStringLiteral("Service"), QStringLiteral("HttpPort"), QString::number(m_port));
    QCOMPARE(act(QStringLiteral("start"), "{}").status, 200);
    QVERIFY(m_gw->logged(QStringLiteral("控制台操作(令牌 ops1): 启动服务")));
    QTRY_VERIFY((*m_gw)->status().running);
    QTRY_COMPARE(m_server->port(), m_port);
    QVERIFY(m_port != before);
    m_client = std::make_unique<ApiClient>(base());
    m_client->token = m_operator;
    QCOMPARE(act(QStringLiteral("device-out"), R"({"port": "9"})").status, 404);
    // The test number is checked as the API checks one: nothing else reaches the table.
    const int rowsBefore = m_db->scalar(QStringLiteral("select count(*) from SMS")).toInt();
    for (const char *body : {R"({"number": "", "text": "x"})", R"({"number": "call me", "text": "x"})",
                             R"({"number": "12", "text": "x"})", R"({"number": "1380013800a", "text": "x"})",
                             R"({"number": "+8613800138000123456789", "text": "x"})"})
        QVERIFY2(act(QStringLiteral("test"), body).status == 422, body);
    QCOMPARE(m_db->scalar(QStringLiteral("select count(*) from SMS")).toInt(), rowsBefore);
    const auto test = act(QStringLiteral("test"), R"({"number": "138-0013 8000", "text": "测试"})");
    QCOMPARE(test.status, 200);
    QVERIFY(m_gw->logged(QStringLiteral("控制台操作(令牌 ops1): 发送测试短信到 13800138000")));
    const qint64 id = test.json().object().value(QLatin1String("id")).toInteger();
    QCOMPARE(m_db->scalar(QStringLiteral("select CellNumber from SMS where SysNo=%1").arg(id))
                     .toString(),
             QStringLiteral("13800138000"));
}

void TestConsole::requeueTakesAnExplicitListOfRows()
{
    m_client->token = m_operator;
    for (const char *body : {R"({})", R"({"ids": []})", R"({"ids": "1,2"})", R"({"ids": [1, 1]})",
                             R"({"ids": [1.5]})", R"({"ids": [-3]})"})
        QVERIFY2(act(QStringLiteral("requeue"), body).status == 422, body);
    QCOMPARE(m_db->scalar(QStringLiteral("select count(*) from SMS where Status=1")).toInt(), 2);
    const auto r = act(QStringLiteral("requeue"),
                       QStringLiteral(R"({"ids": [%1]})").arg(m_stuck.first()).toLatin1());
    QCOMPARE(r.status, 200);
    QCOMPARE(r.json().object().value(QLatin1String("moved")).toInt(), 1);
    QVERIFY(m_gw->logged(
            QStringLiteral("控制台操作(令牌 ops1): 重新排队 SysNo %1").arg(m_stuck.first())));
    QCOMPARE(m_db->rows(QStringLiteral("select SysNo from SMS where Status=1")),
             QStringList{QString::number(m_stuck.last())});
}

void TestConsole::liveChannelNeedsATokenOnLoopbackToo()
{
    // Every local account reaches a loopback server: it tells nothing without a token either.
    LiveClient silent;
    QVERIFY(silent.open(m_port));
    LiveClient wrong;
    QVERIFY(wrong.open(m_port));
    wrong.socket.sendTextMessage(QStringLiteral(R"({"token": "vm_guess"})"));
    QTRY_VERIFY(wrong.closed());
    QVERIFY(wrong.messages.isEmpty());
    // Nothing a page sends is kept beyond a few kilobytes.
    LiveClient huge;
    QVERIFY(huge.open(m_port));
    huge.socket.sendTextMessage(QString(100000, QLatin1Char('x')));
    QTRY_VERIFY(huge.closed());
    LiveClient reader;
    QVERIFY(reader.open(m_port));
    const QByteArray token = addToken(QStringLiteral("monitor"), TokenStore::Role::Read);
    reader.socket.sendTextMessage(QStringLiteral(R"({"token": "%1"})").arg(QLatin1String(token)));
    QTRY_VERIFY(!reader.last(QStringLiteral("state")).isEmpty());
    QTRY_VERIFY(!reader.last(QStringLiteral("log")).isEmpty());
    QTRY_VERIFY(!reader.last(QStringLiteral("history")).isEmpty());
    QVERIFY(silent.messages.isEmpty());
    // A page that never gives a token does not keep its connection.
    QTRY_VERIFY_WITH_TIMEOUT(silent.closed(), 15000);
}

void TestConsole::liveChannelRefusesOtherSitesAndPaths()
{
    LiveClient other(QStringLiteral("http://evil.example"));
    other.open(m_port);
    QTRY_VERIFY(other.closed());
    QVERIFY(other.messages.isEmpty());
    QWebSocket elsewhere;
    elsewhere.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/v1/devices").arg(m_port)));
    QTest::qWait(300);
    QTRY_VERIFY(elsewhere.state() == QAbstractSocket::UnconnectedState);
    // The page's own origin with a token of any role reads, and hears what the engine logs.
    LiveClient own(base());
    QVERIFY(own.open(m_port));
    own.socket.sendTextMessage(
            QStringLiteral(R"({"token": "%1"})")
                    .arg(QLatin1String(addToken(QStringLiteral("viewer"), TokenStore::Role::Read))));
    QTRY_VERIFY(!own.last(QStringLiteral("state")).isEmpty());
    const QJsonArray devices =
            own.last(QStringLiteral("state")).value(QLatin1String("devices")).toArray();
    QCOMPARE(devices.size(), 2);
    (*m_gw)->writeLog(QStringLiteral("控制台的测试行"));
    QTRY_VERIFY(own.last(QStringLiteral("log"))
                        .value(QLatin1String("lines"))
                        .toArray()
                        .last()
                        .toString()
                        .endsWith(QStringLiteral("控制台的测试行")));
}

void TestConsole::thePageInARealBrowser()
{
    if (DevToolsBrowser::program().isEmpty())
        QSKIP("chromium is not installed");
    const QString reason = (*m_gw)->status().devices.at(1).lastFailure;
    QVERIFY(!reason.isEmpty());
    DevToolsBrowser browser;
    QVERIFY2(browser.start(), qPrintable(browser.errorString()));
    // Without a token the page shows nothing of the gateway and says what it needs.
    browser.navigate(base() + QStringLiteral("/console"));
    QVERIFY(browser.waitFor(
            QStringLiteral("document.getElementById('result').textContent.includes('令牌')")));
    QCOMPARE(browser.evaluate(QStringLiteral("document.querySelectorAll('#devices tr[data-port]')"
                                             ".length"))
                     .toInt(),
             0);
    // A bookmark with the token in its fragment opens it ready; the token stays in the browser.
    const QByteArray viewer = addToken(QStringLiteral("viewer"), TokenStore::Role::Read);
    browser.navigate(base() + QStringLiteral("/console#token=") + QLatin1String(viewer));
    browser.evaluate(QStringLiteral("location.reload()"));
    const QString cell =
            QStringLiteral("document.querySelector('#devices tr[data-port=\"2\"] td.reason')");
    QVERIFY2(browser.waitFor(
                     cell
                     + QStringLiteral("?.firstChild?.textContent === %1")
                               .arg(QString::fromUtf8(QJsonDocument(QJsonArray{reason})
                                                              .toJson(QJsonDocument::Compact))
                                            .mid(1)
                                            .chopped(1))),
             qPrintable(browser.evaluate(QStringLiteral("document.body.innerText")).toString()));
    QVERIFY(browser
                    .evaluate(QStringLiteral(
                            "document.querySelector('#devices tr[data-port=\"2\"]').className"))
                    .toString()
                    .contains(QStringLiteral("trouble")));
    QStringList ids;
    for (const qint64 id : std::as_const(m_stuck))
        ids << QString::number(id);
    QVERIFY(browser.waitFor(QStringLiteral("[...document.querySelectorAll('#stuck tbody "
                                           "tr')].map(r => r.dataset.id).join() === '%1'")
                                    .arg(ids.join(QLatin1Char(',')))));

    // The operator gives the token in the page's form and takes the first device out of service.
    browser.evaluate(QStringLiteral("document.getElementById('token').value = '%1';"
                                    "document.getElementById('tokenform').requestSubmit();")
                             .arg(QLatin1String(m_operator)));
    browser.evaluate(QStringLiteral("document.querySelector('#devices tr[data-port=\"1\"] "
                                    "button[data-action=\"device-out\"]').click()"));
    QTRY_VERIFY(!(*m_gw)->status().devices.at(0).inService);
    QVERIFY(m_gw->logged(QStringLiteral("控制台操作(令牌 ops1): 停止使用 Com1")));
    QVERIFY(browser.waitFor(QStringLiteral("document.querySelector('#devices "
                                           "tr[data-port=\"1\"]').className === 'outofservice'")));

    // On a phone the page keeps to the screen's width; wide tables scroll inside their box.
    browser.resize(390, 844);
    QVERIFY(browser.waitFor(QStringLiteral("document.documentElement.scrollWidth <= 390")));

    // The gateway goes silent: the page says so and greys out.
    QVERIFY(!browser.evaluate(QStringLiteral("document.body.classList.contains('silent')"))
                     .toBool());
    m_server.reset();
    QVERIFY(browser.waitFor(QStringLiteral("document.body.classList.contains('silent') && "
                                           "!document.getElementById('silent').hidden"),
                            30000));

    QVERIFY(!browser.requests().isEmpty());
    for (const QString &url : browser.requests())
        QVERIFY2(url.startsWith(base() + QLatin1Char('/'))
                         || url.startsWith(QStringLiteral("ws://127.0.0.1:%1/").arg(m_port)),
                 qPrintable(url));
}

// A bad day in a real browser: one modem hangs in its open, one has no network, one was
// unplugged after it was seen, and the one that works failed once before it sent again.
void TestConsole::theConsolesBadDay()
{
    if (DevToolsBrowser::program().isEmpty())
        QSKIP("chromium is not installed");
    m_client.reset();
    m_server.reset();
    m_gw = std::make_unique<GatewayHarness>(m_db->connectionString(),
                                            QStringLiteral("1,2,3,4"));
    m_gw->fake(1).answersOpen = false;
    m_gw->fake(2).registration = QStringLiteral("2");
    m_gw->fake(3).imsi = QStringLiteral("460000000000004");
    m_gw->start();
    QTRY_COMPARE((*m_gw)->status().devices.at(3).link, LinkState::Idle);
    m_gw->fake(3).openResult = 1;
    m_gw->fake(3).lastError = QStringLiteral("COM4 does not exist");
    Q_EMIT m_gw->fake(3).DeviceLost();
    m_gw->settle();

    // Com1 fails a message, then sends the next one a minute later.
    QVERIFY(m_db->insertPending(1));
    m_gw->poll();
    m_gw->fake(0).sendFailure = QStringLiteral("+CMS ERROR: 42");
    m_gw->finish(0, false);
    QTRY_COMPARE((*m_gw)->status().devices.at(0).link, LinkState::Idle);
    m_gw->clock.advance(60);
    m_gw->fake(0).sendFailure.clear();
    QVERIFY(m_db->insertPending(1));
    m_gw->poll();
    m_gw->finish(0, true);
    startServer();

    DevToolsBrowser browser;
    QVERIFY2(browser.start(), qPrintable(browser.errorString()));
    const QByteArray viewer = addToken(QStringLiteral("viewer"), TokenStore::Role::Read);
    browser.navigate(base() + QStringLiteral("/console#token=") + QLatin1String(viewer));
    browser.evaluate(QStringLiteral("location.reload()"));
    QVERIFY2(browser.waitFor(QStringLiteral(
                     "document.querySelectorAll('#devices tr[data-port]').length === 4")),
             qPrintable(browser.evaluate(QStringLiteral("document.body.innerText")).toString()));
    // The header is not green and names how many of how many can send.
    const QString badge = QStringLiteral("document.getElementById('service')");
    QVERIFY2(browser.waitFor(badge + QStringLiteral(".textContent.includes('1/4')")),
             qPrintable(browser.evaluate(badge + QStringLiteral(".textContent")).toString()));
    QCOMPARE(browser.evaluate(badge + QStringLiteral(".className")).toString(),
             QStringLiteral("badge degraded"));
    // The unplugged modem still shows its SIM, marked as last seen.
    const QString imsi = QStringLiteral("document.querySelector('#devices tr[data-port=\"4\"]')"
                                        ".cells[2]");
    QCOMPARE(browser.evaluate(imsi + QStringLiteral(".textContent")).toString(),
             QStringLiteral("460000000000004"));
    QCOMPARE(browser.evaluate(imsi + QStringLiteral(".className")).toString(),
             QStringLiteral("remembered"));
    // Com1's old failure reads as past; Com3 says why it cannot send.
    QCOMPARE(browser.evaluate(QStringLiteral("document.querySelector('#devices "
                                             "tr[data-port=\"1\"] td.reason').className"))
                     .toString(),
             QStringLiteral("reason past"));
    QVERIFY(browser.evaluate(QStringLiteral("document.querySelector('#devices "
                                            "tr[data-port=\"3\"]').cells[5].textContent"))
                    .toString()
                    .contains(QStringLiteral("未注册")));
    // At a phone's width each device is a card and nothing scrolls sideways.
    browser.resize(390, 844);
    QVERIFY(browser.waitFor(QStringLiteral("document.documentElement.scrollWidth <= 390 && "
                                           "getComputedStyle(document.querySelector('#devices "
                                           "thead')).display === 'none'")));
}

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
