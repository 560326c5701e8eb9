#include "apiclient.h"
#include "gatewayharness.h"
#include "testdatabase.h"
#include "ussdfakecontrol.h"

#include "api/tokenstore.h"
#include "simpool/simpool.h"
#include "web/statusserver.h"

#include <QJsonArray>
#include <QTcpServer>
#include <QTest>

// USSD and the opt-out list over real HTTP against the real engine on SQLite, with scriptable
// modem controls that take USSD.
class TestSimPoolApi : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void ussdAnsweredAndReadBack();
    void menuContinuedInItsSession();
    void ussdRefusals();
    void optOutListEdited();
    void balanceShownWithTheDevices();

private:
    QByteArray token(const QString &name, TokenStore::Role role)
    {
        QString error;
        return TokenStore(TokenStore::fileIn(m_gw->programDir())).add(name, role, &error).toLatin1();
    }
    ApiClient::Reply ussd(const QString &port, const QJsonObject &body)
    {
        return m_client->post(QStringLiteral("/api/v1/devices/%1/ussd").arg(port),
                              QJsonDocument(body).toJson(QJsonDocument::Compact));
    }
    QJsonObject read(qint64 id)
    {
        return m_client->get(QStringLiteral("/api/v1/ussd/%1").arg(id)).json().object();
    }

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<GatewayHarness> m_gw;
    std::unique_ptr<StatusServer> m_server;
    std::unique_ptr<ApiClient> m_client;
    QList<UssdFakeControl *> m_controls;
};

void TestSimPoolApi::init()
{
    m_db = std::make_unique<TestDatabase>(QStringLiteral("sqlite"));
    QString error;
    QVERIFY2(m_db->create(QStringLiteral("simpoolapi"), &error), qPrintable(error));
    m_controls.clear();
    m_gw = std::make_unique<GatewayHarness>(m_db->connectionString(), QStringLiteral("1,2"), [this] {
        auto *c = new UssdFakeControl;
        m_controls << c;
        return c;
    });
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    m_gw->setConfig(QStringLiteral("Service"), QStringLiteral("HttpPort"), QString::number(port));
    m_gw->setConfig(QStringLiteral("OptOut"), QStringLiteral("CountryCode"), QStringLiteral("86"));
    (*m_gw)->start();
    m_gw->settle();
    m_server = std::make_unique<StatusServer>(**m_gw, (*m_gw)->events());
    QCOMPARE(m_server->port(), port);
    m_client = std::make_unique<ApiClient>(QStringLiteral("http://127.0.0.1:%1").arg(port));
    m_client->token = token(QStringLiteral("ops"), TokenStore::Role::Operator);
}

void TestSimPoolApi::cleanup()
{
    m_client.reset();
    m_server.reset();
    m_gw.reset();
    m_db.reset();
}

void TestSimPoolApi::ussdAnsweredAndReadBack()
{
    const auto asked = ussd(QStringLiteral("2"), {{QStringLiteral("code"), QStringLiteral("*100#")}});
    QCOMPARE(asked.status, 202);
    const QJsonObject pending = asked.json().object();
    QCOMPARE(pending.value(QStringLiteral("status")).toString(), QStringLiteral("pending"));
    const qint64 id = pending.value(QStringLiteral("id")).toInteger();
    QCOMPARE(m_controls.at(1)->ussdAsked, QStringList{QStringLiteral("*100#")});
    QCOMPARE(read(id).value(QStringLiteral("status")).toString(), QStringLiteral("pending"));
    m_controls.at(1)->answerUssd(0, QStringLiteral("您的余额为35.20元"));
    const QJsonObject done = read(id);
    QCOMPARE(done.value(QStringLiteral("status")).toString(), QStringLiteral("answered"));
    QCOMPARE(done.value(QStringLiteral("state")).toInt(), 0);
    QCOMPARE(done.value(QStringLiteral("text")).toString(), QStringLiteral("您的余额为35.20元"));
    QCOMPARE(done.value(QStringLiteral("port")).toString(), QStringLiteral("2"));
    QVERIFY(m_gw->logged(QStringLiteral("Com2口USSD应答：您的余额为35.20元")));

    // A silent network: the control's time-out, said as such.
    const qint64 second =
            ussd(QStringLiteral("2"), {{QStringLiteral("code"), QStringLiteral("*101#")}})
                    .json().object().value(QStringLiteral("id")).toInteger();
    m_controls.at(1)->answerUssd(-1, QString(), QStringLiteral("timeout"));
    QCOMPARE(read(second).value(QStringLiteral("status")).toString(), QStringLiteral("failed"));
    QCOMPARE(read(second).value(QStringLiteral("error")).toString(), QStringLiteral("timeout"));
    QVERIFY(m_gw->logged(QStringLiteral("Com2口USSD *101# 未成功：网络未及时应答")));
}

void TestSimPoolApi::menuContinuedInItsSession()
{
    const qint64 menu = ussd(QStringLiteral("1"), {{QStringLiteral("code"), QStringLiteral("*111#")}})
                                .json().object().value(QStringLiteral("id")).toInteger();
    m_controls.at(0)->answerUssd(1, QStringLiteral("1 余额\n2 本机号码"));
    QCOMPARE(read(menu).value(QStringLiteral("state")).toInt(), 1);
    const auto reply = ussd(QStringLiteral("1"), {{QStringLiteral("code"), QStringLiteral("2")},
                                                  {QStringLiteral("session"), menu}});
    QCOMPARE(reply.status, 202);
    QCOMPARE(m_controls.at(0)->ussdAsked.last(), QStringLiteral("2 (reply)"));
    m_controls.at(0)->answerUssd(0, QStringLiteral("本机号码：13800138000"));
    // The menu ended: a reply naming it again is refused.
    const auto late = ussd(QStringLiteral("1"), {{QStringLiteral("code"), QStringLiteral("1")},
                                                 {QStringLiteral("session"), menu}});
    QCOMPARE(late.status, 409);
    QCOMPARE(late.errorCode(), QByteArray("session_closed"));
}

void TestSimPoolApi::ussdRefusals()
{
    const QJsonObject code{{QStringLiteral("code"), QStringLiteral("*100#")}};
    QCOMPARE(ussd(QStringLiteral("9"), code).status, 404);
    QCOMPARE(ussd(QStringLiteral("1"), {{QStringLiteral("code"), QStringLiteral("*100#\"")}})
                     .errorCode(),
             QByteArray("invalid_code"));
    QCOMPARE(ussd(QStringLiteral("1"), code).status, 202);
    const auto busy = ussd(QStringLiteral("1"), code);
    QCOMPARE(busy.status, 409);
    QCOMPARE(busy.errorCode(), QByteArray("busy"));
    // Only an operator may make the modem dial codes.
    m_client->token = token(QStringLiteral("app"), TokenStore::Role::Send);
    QCOMPARE(ussd(QStringLiteral("2"), code).status, 403);
    QVERIFY(m_controls.at(1)->ussdAsked.isEmpty());
    QCOMPARE(m_client->get(QStringLiteral("/api/v1/ussd/999")).status, 404);
}

void TestSimPoolApi::optOutListEdited()
{
    const auto add = m_client->post(QStringLiteral("/api/v1/optouts"),
                                    R"({"number": "+86 138-0013-8000"})");
    QCOMPARE(add.status, 201);
    QCOMPARE(m_client->post(QStringLiteral("/api/v1/optouts"), R"({"number": "13800138000"})")
                     .json().object().value(QStringLiteral("added")).toBool(),
             false);
    const auto list = m_client->get(QStringLiteral("/api/v1/optouts"));
    QCOMPARE(list.status, 200);
    const QJsonArray items = list.json().object().value(QStringLiteral("optouts")).toArray();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items[0].toObject().value(QStringLiteral("number")).toString(),
             QStringLiteral("+8613800138000"));
    m_client->token = token(QStringLiteral("reader"), TokenStore::Role::Read);
    QCOMPARE(m_client->get(QStringLiteral("/api/v1/optouts")).status, 200);
    QCOMPARE(m_client->send("DELETE", QStringLiteral("/api/v1/optouts/13800138000"), {}, {}).status,
             403);
    m_client->token = token(QStringLiteral("ops2"), TokenStore::Role::Operator);
    QCOMPARE(m_client->send("DELETE", QStringLiteral("/api/v1/optouts/%2B8613800138000"), {}, {})
                     .status,
             200);
    QCOMPARE(m_db->rows(QStringLiteral("select Number from smsoptout")), QStringList());
    QCOMPARE(m_client->send("DELETE", QStringLiteral("/api/v1/optouts/13800138000"), {}, {}).status,
             404);
    QCOMPARE(m_client->post(QStringLiteral("/api/v1/optouts"), R"({"number": "nobody"})").status,
             422);
}

void TestSimPoolApi::balanceShownWithTheDevices()
{
    m_gw->setConfig(QStringLiteral("Balance"), QStringLiteral("Code"), QStringLiteral("*100#"));
    m_gw->setConfig(QStringLiteral("Balance"), QStringLiteral("Pattern"), QStringLiteral("([0-9.]+)元"));
    (*m_gw)->reload();
    m_gw->settle();
    (*m_gw)->simPool().balance().tick();
    m_controls.at(0)->answerUssd(0, QStringLiteral("余额12.50元"));
    const QJsonArray devices =
            m_client->get(QStringLiteral("/api/v1/devices")).json().object().value(QStringLiteral("devices")).toArray();
    QCOMPARE(devices[0].toObject().value(QStringLiteral("balance")).toDouble(), 12.5);
    QVERIFY(!devices[0].toObject().value(QStringLiteral("balanceAt")).toString().isEmpty());
    QVERIFY(!devices[1].toObject().contains(QStringLiteral("balance")));
    const QByteArray metrics = m_client->get(QStringLiteral("/metrics")).body;
    QVERIFY(metrics.contains("velmora_device_balance{device=\"0\",port=\"Com1\"} 12.5\n"));
    QVERIFY(!metrics.contains("velmora_device_balance{device=\"1\""));
}

QTEST_GUILESS_MAIN(TestSimPoolApi)
#include "tst_simpoolapi.moc"
