#include "gatewayharness.h"
#include "testdatabase.h"
#include "ussdfakecontrol.h"

#include "messaging/schemaupgrade.h"
#include "optout/optouttable.h"
#include "policy/policycolumns.h"
#include "simpool/simpool.h"
#include "storage/dbhelper.h"

#include <QSignalSpy>
#include <QTest>

// The SIM pool through the real gateway engine with scriptable modem controls: opt-out replies
// and the rows they hold back on SQLite, PostgreSQL and MariaDB, the table the upgrade adds,
// and balances read by USSD.
class TestSimPoolFlow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void engines_data();
    void optedOutNumberGetsNoRow_data() { engines_data(); }
    void optedOutNumberGetsNoRow();
    void upgradeAddsTheOptOutTable_data() { engines_data(); }
    void upgradeAddsTheOptOutTable();
    void rowLoadedBeforeTheOptOutIsHeldBack();
    void unreadableListHoldsRowsBack();
    void optOutOffChangesNothing();
    void balanceBelowLowFiresOnce();
    void numberReadByUssdWhereTheSimHasNone();

private:
    std::unique_ptr<GatewayHarness> harness(TestDatabase &tdb, const QString &ports);
    void finish(GatewayHarness &h, int d)
    {
        m_controls.at(d)->finishSend(true);
        h.settle();
    }
    // A new engine after a change of the configuration, with new controls.
    void remake(GatewayHarness &h)
    {
        m_controls.clear();
        h.makeGateway();
    }
    QList<UssdFakeControl *> m_controls;
};

namespace {

QString dbName()
{
    return QStringLiteral("simpool_") + QString::fromLatin1(QTest::currentTestFunction()).left(20);
}

PolicyColumns::Engine engineKind(const QString &engine)
{
    return engine == QLatin1String("postgresql") ? PolicyColumns::Engine::PostgreSQL
            : engine == QLatin1String("mysql")   ? PolicyColumns::Engine::MariaDB
                                                 : PolicyColumns::Engine::SQLite;
}

QStringList numbersSent(const UssdFakeControl &c)
{
    QStringList out;
    for (const auto &m : c.sent)
        out << m.number + QLatin1Char(':') + m.text;
    return out;
}

} // namespace

std::unique_ptr<GatewayHarness> TestSimPoolFlow::harness(TestDatabase &tdb, const QString &ports)
{
    m_controls.clear();
    return std::make_unique<GatewayHarness>(tdb.connectionString(), ports, [this] {
        auto *c = new UssdFakeControl;
        m_controls << c;
        return c;
    });
}

void TestSimPoolFlow::engines_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
    QTest::newRow("mysql") << "mysql";
}

void TestSimPoolFlow::optedOutNumberGetsNoRow()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    for (const QString &add : PolicyColumns::addColumns(engineKind(engine)))
        QVERIFY(tdb.exec(add));
    auto h = harness(tdb, QStringLiteral("1"));
    h->setConfig(QStringLiteral("OptOut"), QStringLiteral("Enabled"), QStringLiteral("1"));
    h->setConfig(QStringLiteral("OptOut"), QStringLiteral("CountryCode"), QStringLiteral("86"));
    h->setConfig(QStringLiteral("OptOut"), QStringLiteral("OptInKeywords"), QStringLiteral("START"));
    h->setConfig(QStringLiteral("OptOut"), QStringLiteral("Reply"), QStringLiteral("您已退订"));
    remake(*h);
    QSignalSpy optedOut(&(*h)->events(), &EngineEvents::numberOptedOut);
    (*h)->start();
    // The modems open while the loop goes on.
    QTRY_COMPARE((*h)->status().devicesUp(), (*h)->status().devices.size());
    h->settle();
    UssdFakeControl &modem = *m_controls.at(0);

    modem.deliver(QStringLiteral("+86 138-0013-8000"), QStringLiteral(" 退订\n"),
                  QStringLiteral("26120604470000"));
    h->settle();
    QCOMPARE(optedOut.size(), 1);
    QCOMPARE(optedOut[0][0].toString(), QStringLiteral("+8613800138000"));
    QCOMPARE(optedOut[0][1].toString(), QStringLiteral("退订"));
    QCOMPARE(tdb.rows(QStringLiteral("select Number, Keyword, Port from smsoptout")),
             QStringList{QStringLiteral("+8613800138000|退订|Com1")});
    QVERIFY(h->logged(QStringLiteral("号码+8613800138000回复“退订”，已退订")));
    // The confirmation goes, once.
    h->poll();
    QCOMPARE(numbersSent(modem), QStringList{QStringLiteral("+8613800138000:您已退订")});
    finish(*h, 0);
    modem.deliver(QStringLiteral("13800138000"), QStringLiteral("ＴＤ"),
                  QStringLiteral("26120604470100"));
    h->settle();
    QCOMPARE(optedOut.size(), 1);

    // The same number in another form, and another number.
    QVERIFY(tdb.exec(QStringLiteral(
            "insert into SMS (CellNumber, SMSContent) values ('13800138000', 'campaign')")));
    QVERIFY(tdb.exec(QStringLiteral(
            "insert into SMS (CellNumber, SMSContent) values ('13900000001', 'campaign')")));
    h->poll();
    finish(*h, 0);
    h->poll();
    QCOMPARE(numbersSent(modem), QStringList({QStringLiteral("+8613800138000:您已退订"),
                                              QStringLiteral("13900000001:campaign")}));
    QCOMPARE(tdb.rows(QStringLiteral(
                     "select CellNumber, Status, Reason from SMS where SMSContent='campaign' "
                     "order by SysNo")),
             QStringList({QStringLiteral("13800138000|-1|opted out"),
                          QStringLiteral("13900000001|2|<null>")}));
    QVERIFY(h->loggedStartingWith(QStringLiteral("短信(SysNo=")));

    // Opting in again takes the number off the list; its next row goes.
    modem.deliver(QStringLiteral("8613800138000"), QStringLiteral("start"),
                  QStringLiteral("26120604470200"));
    h->settle();
    QCOMPARE(tdb.rows(QStringLiteral("select Number from smsoptout")), QStringList());
    QVERIFY(tdb.exec(QStringLiteral(
            "insert into SMS (CellNumber, SMSContent) values ('13800138000', 'welcome back')")));
    h->poll();
    QCOMPARE(numbersSent(modem).last(), QStringLiteral("13800138000:welcome back"));
}

void TestSimPoolFlow::upgradeAddsTheOptOutTable()
{
    QFETCH(QString, engine);
    TestDatabase tdb(engine);
    VELMORA_NEED_DATABASE(tdb, dbName());
    QVERIFY(tdb.exec(QStringLiteral("drop table smsoptout")));
    DBHelper db;
    QString error;
    QVERIFY2(db.OpenConnection(tdb.connectionString(), &error), qPrintable(error));
    SchemaUpgrade upgrade(db);
    const auto before = upgrade.missing(&error);
    QVERIFY2(before, qPrintable(error));
    const auto piece = std::find_if(before->cbegin(), before->cend(), [](const auto &p) {
        return p.name == QStringLiteral("表smsoptout");
    });
    QVERIFY(piece != before->cend());
    QVERIFY2(upgrade.add(*piece, &error), qPrintable(error));
    const auto after = upgrade.missing(&error);
    QVERIFY(after);
    QVERIFY(std::none_of(after->cbegin(), after->cend(), [](const auto &p) {
        return p.name == QStringLiteral("表smsoptout");
    }));
    QVERIFY(tdb.exec(QStringLiteral("insert into smsoptout (Number, Keyword) values ('+861', 'T')")));
    // One row a number.
    QVERIFY(!tdb.exec(QStringLiteral("insert into smsoptout (Number, Keyword) values ('+861', 'TD')"),
                      &error));
}

void TestSimPoolFlow::rowLoadedBeforeTheOptOutIsHeldBack()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    auto h = harness(tdb, QStringLiteral("1"));
    h->setConfig(QStringLiteral("OptOut"), QStringLiteral("Enabled"), QStringLiteral("1"));
    h->setConfig(QStringLiteral("OptOut"), QStringLiteral("CountryCode"), QStringLiteral("86"));
    remake(*h);
    (*h)->start();
    // The modems open while the loop goes on.
    QTRY_COMPARE((*h)->status().devicesUp(), (*h)->status().devices.size());
    // The queue is served from its end: the row inserted last goes first.
    QVERIFY(tdb.exec(QStringLiteral(
            "insert into SMS (CellNumber, SMSContent) values ('13800138000', 'campaign')")));
    QVERIFY(tdb.exec(QStringLiteral(
            "insert into SMS (CellNumber, SMSContent) values ('13900000001', 'first')")));
    h->poll();
    // One row on its way, the campaign's row loaded and waiting when the reply comes.
    QCOMPARE(m_controls.at(0)->sent.size(), 1);
    QCOMPARE((*h)->flow().queueLength(), 1);
    m_controls.at(0)->deliver(QStringLiteral("+8613800138000"), QStringLiteral("TD"),
                              QStringLiteral("26120604470000"));
    h->settle();
    h->settle();
    finish(*h, 0);
    h->poll();
    QCOMPARE(m_controls.at(0)->sent.size(), 1);
    QCOMPARE(tdb.rows(QStringLiteral("select Status from SMS where SMSContent='campaign'")),
             QStringList{QStringLiteral("-1")});
}

void TestSimPoolFlow::unreadableListHoldsRowsBack()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    QVERIFY(tdb.exec(QStringLiteral("drop table smsoptout")));
    auto h = harness(tdb, QStringLiteral("1"));
    h->setConfig(QStringLiteral("OptOut"), QStringLiteral("Enabled"), QStringLiteral("1"));
    remake(*h);
    (*h)->start();
    // The modems open while the loop goes on.
    QTRY_COMPARE((*h)->status().devicesUp(), (*h)->status().devices.size());
    QVERIFY(tdb.insertPending(2));
    h->poll();
    // Sending to a list nobody can read could reach a number that opted out: nothing goes.
    QVERIFY(m_controls.at(0)->sent.isEmpty());
    QVERIFY(h->loggedStartingWith(QStringLiteral("无法读取退订名单")));
    QCOMPARE(tdb.rows(QStringLiteral("select Status from SMS")),
             QStringList({QStringLiteral("0"), QStringLiteral("0")}));
    QVERIFY(tdb.exec(OptOutTable::create(ConnectionString::Kind::SQLite).first()));
    h->poll();
    QCOMPARE(m_controls.at(0)->sent.size(), 1);
    QVERIFY(h->logged(QStringLiteral("退订名单恢复可读，继续发送")));
}

void TestSimPoolFlow::optOutOffChangesNothing()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    QVERIFY(tdb.exec(QStringLiteral("drop table smsoptout")));
    auto h = harness(tdb, QStringLiteral("1"));
    (*h)->start();
    // The modems open while the loop goes on.
    QTRY_COMPARE((*h)->status().devicesUp(), (*h)->status().devices.size());
    m_controls.at(0)->deliver(QStringLiteral("13800138000"), QStringLiteral("T"),
                              QStringLiteral("26120604470000"));
    h->settle();
    QVERIFY(tdb.insertPending(1, QStringLiteral("1380013800")));
    h->poll();
    QCOMPARE(m_controls.at(0)->sent.size(), 1);
}

void TestSimPoolFlow::balanceBelowLowFiresOnce()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    auto h = harness(tdb, QStringLiteral("1,2"));
    h->setConfig(QStringLiteral("Balance"), QStringLiteral("Code"), QStringLiteral("*100#"));
    h->setConfig(QStringLiteral("Balance"), QStringLiteral("Pattern"),
                 QStringLiteral("余额(?:为)?([0-9.,]+)元"));
    h->setConfig(QStringLiteral("Balance"), QStringLiteral("Every"), QStringLiteral("1"));
    h->setConfig(QStringLiteral("Balance"), QStringLiteral("Low"), QStringLiteral("10"));
    h->setConfig(QStringLiteral("Balance.Com1"), QStringLiteral("StopBelowLow"), QStringLiteral("1"));
    h->setConfig(QStringLiteral("Policy"), QStringLiteral("DayLimit"), QStringLiteral("100"));
    remake(*h);
    QSignalSpy low(&(*h)->events(), &EngineEvents::balanceLow);
    (*h)->start();
    // The modems open while the loop goes on.
    QTRY_COMPARE((*h)->status().devicesUp(), (*h)->status().devices.size());
    BalanceWatch &watch = (*h)->simPool().balance();
    UssdFakeControl &com1 = *m_controls.at(0);
    const auto reading = [&](const QString &text) {
        h->clock.set(h->clock.now().addSecs(3601));
        watch.tick();
        QVERIFY(com1.ussdPending);
        com1.answerUssd(0, text);
    };
    // Within the first minute, at once for the first device.
    watch.tick();
    QCOMPARE(com1.ussdAsked, QStringList{QStringLiteral("*100#")});
    com1.answerUssd(0, QStringLiteral("尊敬的客户，您的余额为35.20元。"));
    QCOMPARE((*h)->status().devices.at(0).balance, std::optional<double>(35.2));
    QCOMPARE((*h)->status().devices.at(0).balanceAt, h->clock.now());
    // Not again before its interval.
    watch.tick();
    QCOMPARE(com1.ussdAsked.size(), 1);

    reading(QStringLiteral("您的余额为5.00元"));
    QCOMPARE(low.size(), 1);
    QCOMPARE(low[0][1].toDouble(), 5.0);
    QVERIFY(h->logged(QStringLiteral("Com1口余额5.00低于下限10.00，暂停分配短信")));
    reading(QStringLiteral("您的余额为3.00元"));
    QCOMPARE(low.size(), 1);
    // An answer the pattern does not read is logged as it came, not taken for zero.
    reading(QStringLiteral("系统繁忙，请稍后再试"));
    QVERIFY(h->logged(QStringLiteral("Com1口余额应答无法识别：系统繁忙，请稍后再试")));
    QCOMPARE((*h)->status().devices.at(0).balance, std::optional<double>(3.0));

    // Below Low, Com1 takes no rows; Com2 does.
    QVERIFY(tdb.insertPending(2));
    h->poll();
    QVERIFY(com1.sent.isEmpty());
    QCOMPARE(m_controls.at(1)->sent.size(), 1);

    // Topped up, and low again: heard of again.
    reading(QStringLiteral("您的余额为1,050.00元"));
    QCOMPARE((*h)->status().devices.at(0).balance, std::optional<double>(1050.0));
    QVERIFY(!watch.stopped(0));
    reading(QStringLiteral("您的余额为2元"));
    QCOMPARE(low.size(), 2);
}

void TestSimPoolFlow::numberReadByUssdWhereTheSimHasNone()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    auto h = harness(tdb, QStringLiteral("1"));
    h->setConfig(QStringLiteral("Balance"), QStringLiteral("NumberCode"), QStringLiteral("*99#"));
    h->setConfig(QStringLiteral("Balance"), QStringLiteral("NumberPattern"),
                 QStringLiteral("本机号码[:：]?\\s*(\\+?[0-9 ]+)"));
    remake(*h);
    (*h)->start();
    // The modems open while the loop goes on.
    QTRY_COMPARE((*h)->status().devicesUp(), (*h)->status().devices.size());
    BalanceWatch &watch = (*h)->simPool().balance();
    watch.tick();
    UssdFakeControl &com1 = *m_controls.at(0);
    QCOMPARE(com1.ussdAsked, QStringList{QStringLiteral("*99#")});
    com1.answerUssd(0, QStringLiteral("本机号码：138 0013 8000"));
    QCOMPARE((*h)->status().devices.at(0).simNumber, QStringLiteral("13800138000"));
    QVERIFY(h->logged(QStringLiteral("Com1口本机号码：13800138000")));
}

QTEST_GUILESS_MAIN(TestSimPoolFlow)
#include "tst_simpoolflow.moc"
