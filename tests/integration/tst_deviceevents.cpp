#include "gatewayharness.h"
#include "testdatabase.h"

#include "core/deviceevents.h"
#include "model/engineevents.h"

#include <QSignalSpy>
#include <QTest>

// The modems' events as the pool hands them on, and the engine's events about messages.
class TestDeviceEvents : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void thePoolPassesTheDeviceAndItsOutcome();
    void eachMessageIsAnnouncedOnce();
    void aConfirmedDeletionLeavesTheJournalAtOnce();
};

namespace {

QString dbName()
{
    return QStringLiteral("ev_") + QString::fromLatin1(QTest::currentTestFunction()).left(24);
}

class RecordingEvents : public DeviceEvents
{
public:
    QStringList seen;
    void sendFinished(int d, int result) override
    {
        seen << QStringLiteral("sent %1 %2").arg(d).arg(result >= 1);
    }
    void messageWaiting(int d) override { seen << QStringLiteral("waiting %1").arg(d); }
    void notice(int d, const QString &text) override
    {
        seen << QStringLiteral("notice %1 %2").arg(d).arg(text);
    }
    void callRinging(int d) override { seen << QStringLiteral("ringing %1").arg(d); }
    void deviceLost(int d, const QString &why) override
    {
        seen << QStringLiteral("lost %1 %2").arg(d).arg(why);
    }
    void healthChanged(int d) override { seen << QStringLiteral("health %1").arg(d); }
    void statusReportWaiting(int d) override { seen << QStringLiteral("report %1").arg(d); }
    void messagesRemoved(int d, const QStringList &keys) override
    {
        seen << QStringLiteral("removed %1 %2").arg(d).arg(keys.join(QLatin1Char(',')));
    }
};

} // namespace

void TestDeviceEvents::thePoolPassesTheDeviceAndItsOutcome()
{
    QList<FakeModemControl *> fakes;
    DevicePool pool;
    QString error;
    QVERIFY(pool.create(
            [&fakes](QString *) {
                fakes << new FakeModemControl;
                return fakes.last();
            },
            &error));
    RecordingEvents events;
    pool.setEvents(&events);
    fakes.at(2)->finishSend(true);
    fakes.at(3)->finishSend(false);
    fakes.at(4)->lastError = QStringLiteral("端口已拔出");
    Q_EMIT fakes.at(4)->DeviceLost();
    fakes.at(5)->removedKeys = {QStringLiteral("a"), QStringLiteral("b")};
    Q_EMIT fakes.at(5)->MessagesRemoved();
    // A send that a close cuts off has no known outcome: nothing is reported.
    fakes.at(6)->inFlight = true;
    pool.close(6);
    QCOMPARE(events.seen,
             (QStringList{"sent 2 1", "sent 3 0", "lost 4 端口已拔出", "removed 5 a,b"}));
}

void TestDeviceEvents::eachMessageIsAnnouncedOnce()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1,2"));
    QSignalSpy sent(&h->events(), &EngineEvents::messageSent);
    QSignalSpy failed(&h->events(), &EngineEvents::messageFailed);
    QSignalSpy received(&h->events(), &EngineEvents::messageReceived);
    h.start();
    QVERIFY(tdb.insertPending(2));
    h.poll();
    h.finish(0, true);
    h.finish(1, false);
    // A result without a message in flight is nobody's.
    h.finish(0, true);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(failed.size(), 1);
    QCOMPARE(sent.at(0).at(2).value<DeviceRef>().port, QStringLiteral("Com1"));
    QCOMPARE(failed.at(0).at(2).value<DeviceRef>().port, QStringLiteral("Com2"));
    const QStringList numbers = {sent.at(0).at(1).toString(), failed.at(0).at(1).toString()};
    QCOMPARE(QSet<QString>(numbers.cbegin(), numbers.cend()),
             (QSet<QString>{"13900001", "13900002"}));
    const qint64 id = sent.at(0).at(0).toLongLong();
    QCOMPARE(tdb.scalar(QStringLiteral("select Status from SMS where SysNo=%1").arg(id)).toInt(),
             2);
    h.fake(1).deliver(QStringLiteral("+8613900000009"), QStringLiteral("你好"),
                      QStringLiteral("261206044700+32"));
    h.settle();
    QCOMPARE(received.size(), 1);
    QCOMPARE(received.at(0).at(0).toLongLong(),
             tdb.scalar(QStringLiteral("select max(SysNo) from smsrecv")).toLongLong());
    QCOMPARE(received.at(0).at(2).toString(), QStringLiteral("你好"));
    QCOMPARE(received.at(0).at(3).value<DeviceRef>().port, QStringLiteral("Com2"));
}

void TestDeviceEvents::aConfirmedDeletionLeavesTheJournalAtOnce()
{
    TestDatabase tdb(QStringLiteral("sqlite"));
    VELMORA_NEED_DATABASE(tdb, dbName());
    GatewayHarness h(tdb.connectionString());
    h.start();
    h.fake(0).inbox.append({QStringLiteral("+8613800100500"), QStringLiteral("+8613900000009"),
                            QStringLiteral("一"), QStringLiteral("261206044700+32"),
                            QStringLiteral("K1")});
    Q_EMIT h.fake(0).OnRecvMsg();
    QVERIFY(h->flow().store().isStored(QStringLiteral("K1")));
    // The deletion is confirmed with no message after it on that device.
    h.fake(0).removedKeys = {QStringLiteral("K1")};
    Q_EMIT h.fake(0).MessagesRemoved();
    QVERIFY(!h->flow().store().isStored(QStringLiteral("K1")));
}

QTEST_GUILESS_MAIN(TestDeviceEvents)
#include "tst_deviceevents.moc"
