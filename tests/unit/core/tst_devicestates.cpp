#include "core/devicestates.h"
#include "core/devicetable.h"
#include "core/reopenschedule.h"
#include "core/settings.h"

#include <QSignalSpy>
#include <QTest>

// One device's life as its row shows it and as the dispatch asks of it: every event moves both
// together, so a device that takes messages is always one whose row says 空闲.
class tst_DeviceStates : public QObject
{
    Q_OBJECT

private:
    struct Fixture
    {
        DeviceTable table;
        DeviceStates states{table};
        Fixture()
        {
            Settings s;
            s.DeviceCount = 2;
            s.DevicePorts = QStringList{QStringLiteral("3"), QStringLiteral("4")};
            s.DeviceRates = QStringList{QStringLiteral("9600"), QStringLiteral("9600")};
            table.RefreshDeviceList(s);
        }
        QString status(int d) const { return table.row(d).status; }
    };

private Q_SLOTS:
    void aDeviceTakesMessagesOnlyWhileItsRowSaysIdle_data()
    {
        QTest::addColumn<QList<int>>("events");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("portOpen");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("takes");
        using E = DeviceEvent;
        const auto row = [](const char *name, QList<E> events, const char *status, bool open,
                            DeviceState state, bool takes) {
            QList<int> ints;
            for (E e : events)
                ints << int(e);
            QTest::newRow(name) << ints << QString::fromUtf8(status) << open << int(state)
                                << takes;
        };
        row("opening", {E::Opening}, "准备连接", false, DeviceState::Offline, false);
        row("opened", {E::Opening, E::Opened}, "空闲", true, DeviceState::Free, true);
        row("open failed", {E::Opening, E::OpenFailed}, "连接失败,等候再试", false,
            DeviceState::Offline, false);
        row("handed over", {E::Opening, E::Opened, E::HandedOver}, "正在发送", true,
            DeviceState::Busy, false);
        row("sent", {E::Opening, E::Opened, E::HandedOver, E::Sent}, "空闲", true,
            DeviceState::Free, true);
        row("failed send keeps its text until the reopen",
            {E::Opening, E::Opened, E::HandedOver, E::SendFailed}, "正在发送", true,
            DeviceState::Offline, false);
        row("never reached the modem", {E::Opening, E::Opened, E::HandedOver, E::Returned}, "空闲",
            true, DeviceState::Free, true);
        row("lost while sending", {E::Opening, E::Opened, E::HandedOver, E::Lost},
            "连接失败,等候再试", false, DeviceState::Offline, false);
        row("unregistered", {E::Opening, E::Opened, E::Unregistered}, "空闲", true,
            DeviceState::Free, false);
        row("registered again", {E::Opening, E::Opened, E::Unregistered, E::Registered}, "空闲",
            true, DeviceState::Free, true);
        row("out of service", {E::Opening, E::Opened, E::OutOfService}, "空闲", true,
            DeviceState::Free, false);
        row("stopped puts it back in service",
            {E::Opening, E::Opened, E::OutOfService, E::Unregistered, E::Stopped, E::Opening,
             E::Opened},
            "空闲", true, DeviceState::Free, true);
        row("a start finds a busy device free", {E::Opening, E::Opened, E::HandedOver, E::Restarted},
            "空闲", true, DeviceState::Free, true);
        row("a start leaves an offline device alone", {E::Opening, E::OpenFailed, E::Restarted},
            "连接失败,等候再试", false, DeviceState::Offline, false);
    }
    void aDeviceTakesMessagesOnlyWhileItsRowSaysIdle()
    {
        QFETCH(QList<int>, events);
        Fixture f;
        for (int e : events)
            f.states.apply(1, DeviceEvent(e));
        QTEST(f.status(1), "status");
        QTEST(f.table.status(1).portOpen, "portOpen");
        QTEST(int(f.states.state(1)), "state");
        QTEST(f.states.takesMessages(1), "takes");
        // The other device saw none of it.
        QCOMPARE(f.status(0), QStringLiteral("未连接"));
        QCOMPARE(f.states.state(0), DeviceState::Offline);
    }

    void serviceFlagsShowOnTheRowAndEveryChangeIsAnnounced()
    {
        Fixture f;
        QSignalSpy changed(&f.states, &DeviceStates::changed);
        f.states.apply(0, DeviceEvent::Opening);
        f.states.apply(0, DeviceEvent::Opened);
        f.states.apply(0, DeviceEvent::OutOfService);
        QVERIFY(!f.table.status(0).inService);
        QVERIFY(f.states.opening(0) == false);
        f.states.apply(0, DeviceEvent::Stopped);
        QVERIFY(f.table.status(0).inService);
        QCOMPARE(f.status(0), QStringLiteral("未连接"));
        QCOMPARE(changed.size(), 4);
        QCOMPARE(changed.at(2).at(0).toInt(), 0);
        QCOMPARE(changed.at(2).at(1).value<DeviceEvent>(), DeviceEvent::OutOfService);
        // Devices beyond the pool are no one's.
        f.states.apply(DeviceStates::Count, DeviceEvent::Opened);
        QCOMPARE(changed.size(), 4);
        QCOMPARE(f.states.state(DeviceStates::Count), DeviceState::Offline);
    }

    void anyBusyCountsOnlyTheConfiguredDevices()
    {
        Fixture f;
        f.states.apply(1, DeviceEvent::Opened);
        f.states.apply(1, DeviceEvent::HandedOver);
        QVERIFY(f.states.anyBusy(2));
        QVERIFY(!f.states.anyBusy(1));
    }

    void reopensPauseLongerUntilTheTickTakesOver()
    {
        QList<int> opened;
        ReopenSchedule schedule([&opened](int d) { opened << d; });
        for (std::size_t i = 0; i < ReopenSchedule::PausesMs.size(); ++i) {
            schedule.retry(5);
            QVERIFY(schedule.waiting(5));
            schedule.cancel(5);
        }
        // Past the longest pause only the tick opens it.
        schedule.retry(5);
        QVERIFY(!schedule.waiting(5));
        // An open resets the pauses; a failed send is tried on the next turn.
        schedule.reset(5);
        schedule.retry(5);
        QVERIFY(schedule.waiting(5));
        schedule.retryAfterFailedSend(7);
        QTRY_COMPARE(opened, QList<int>{7});
        // Sends that keep failing pause like failed opens, until one reaches the network.
        for (std::size_t i = 0; i < ReopenSchedule::PausesMs.size(); ++i) {
            schedule.retryAfterFailedSend(7);
            QVERIFY(schedule.waiting(7));
            schedule.cancel(7);
        }
        schedule.retryAfterFailedSend(7);
        QVERIFY(!schedule.waiting(7));
        schedule.sent(7);
        schedule.retryAfterFailedSend(7);
        QTRY_COMPARE(opened, (QList<int>{7, 7}));
        schedule.cancelAll();
        QVERIFY(!schedule.waiting(5));
        QTest::qWait(10);
        QCOMPARE(opened, (QList<int>{7, 7}));
    }
};

QTEST_GUILESS_MAIN(tst_DeviceStates)
#include "tst_devicestates.moc"
