#include "manualclock.h"
#include "policy/sendpolicy.h"

#include <QTest>

// Which device may take a row, with the counts as a test sets them and the time it says.
class tst_SendPolicy : public QObject
{
    Q_OBJECT

private:
    ManualClock m_clock{QDateTime(QDate(2026, 3, 15), QTime(14, 7, 9))};
    PolicyConfig m_config;
    SendCounts m_counts;
    QList<PolicyDevice> m_devices;

    void pool(int count)
    {
        m_clock.set(QDateTime(QDate(2026, 3, 15), QTime(14, 7, 9)));
        m_config = PolicyConfig();
        m_config.enabled = true;
        m_config.groupOfDevice = QList<int>(count, -1);
        m_counts = SendCounts(ResetSchedule(m_config.resetTime, m_config.resetDay));
        m_devices.clear();
        for (int d = 0; d < count; ++d)
            m_devices.append({QString::number(d + 1), true, true, {}});
    }
    void group(const QString &name, const QList<int> &devices, const QStringList &prefixes)
    {
        const int g = int(m_config.groups.size());
        m_config.groups.append({name, devices, prefixes, m_config.limits});
        for (int d : devices)
            m_config.groupOfDevice[d] = g;
        for (const QString &p : prefixes)
            m_config.prefixTable.append({p, g});
    }
    void sent(int d, int parts, const QString &number = QStringLiteral("13800000000"))
    {
        m_counts.add({m_clock.now().toSecsSinceEpoch(), m_devices.at(d).port, parts, number});
    }
    SendPolicy policy() const
    {
        return SendPolicy(m_config, m_counts, m_devices, m_clock.secsSinceEpoch());
    }
    static PolicyRow row(const QString &number = QStringLiteral("13912345678"), int parts = 1)
    {
        return {number, parts, {}};
    }

private Q_SLOTS:
    void deviceAtDailyLimitRestsAndOthersTakeItsRows()
    {
        pool(2);
        m_config.limits.dayParts = 3;
        sent(0, 3);
        const SendPolicy p = policy();
        QVERIFY(p.restOf(0));
        QCOMPARE(p.restOf(0)->cause, DeviceRest::Cause::DayParts);
        QVERIFY(!p.restOf(1));
        const PolicyDecision d = p.decide(row());
        QCOMPARE(d.kind, PolicyDecision::Kind::Send);
        QCOMPARE(d.device, 1);
    }

    void allRestingRowsWaitUntilTheResetThenGo()
    {
        pool(2);
        m_config.resetTime = QTime(6, 30);
        m_counts = SendCounts(ResetSchedule(m_config.resetTime, 1));
        m_config.limits.dayParts = 2;
        sent(0, 2);
        sent(1, 2);
        PolicyDecision d = policy().decide(row());
        QCOMPARE(d.kind, PolicyDecision::Kind::Wait);
        QCOMPARE(d.why, PolicyDecision::Why::Resting);
        QCOMPARE(d.until, QDateTime(QDate(2026, 3, 16), QTime(6, 30)));
        m_clock.set(QDateTime(QDate(2026, 3, 16), QTime(6, 29, 59)));
        QCOMPARE(policy().decide(row()).kind, PolicyDecision::Kind::Wait);
        m_clock.set(d.until);
        d = policy().decide(row());
        QCOMPARE(d.kind, PolicyDecision::Kind::Send);
    }

    void partsOnTheAirAreCountedNotMessages()
    {
        pool(1);
        m_config.limits.hourParts = 4;
        sent(0, 3);
        QCOMPARE(policy().decide(row(QStringLiteral("1"), 1)).kind, PolicyDecision::Kind::Send);
        const PolicyDecision d = policy().decide(row(QStringLiteral("1"), 2));
        QCOMPARE(d.kind, PolicyDecision::Kind::Wait);
        QCOMPARE(d.until, QDateTime(QDate(2026, 3, 15), QTime(15, 0)));
    }

    void monthlyRecipientCapStillLetsKnownNumbersThrough()
    {
        pool(1);
        m_config.limits.monthRecipients = 2;
        sent(0, 1, QStringLiteral("111"));
        sent(0, 1, QStringLiteral("222"));
        const SendPolicy p = policy();
        QCOMPARE(p.decide(row(QStringLiteral("111"))).kind, PolicyDecision::Kind::Send);
        const PolicyDecision d = p.decide(row(QStringLiteral("333")));
        QCOMPARE(d.kind, PolicyDecision::Kind::Wait);
        QCOMPARE(d.until, QDateTime(QDate(2026, 4, 1), QTime(0, 0)));
    }

    void aRouteSendsOnlyThroughItsDevices()
    {
        pool(4);
        group(QStringLiteral("cm"), {0, 1}, {QStringLiteral("+86139"), QStringLiteral("139")});
        group(QStringLiteral("cu"), {2, 3}, {QStringLiteral("+86130")});
        m_devices[0].free = false;
        m_devices[1].free = false;
        const SendPolicy p = policy();
        QCOMPARE(p.decide(row(QStringLiteral("13912345678"))).why, PolicyDecision::Why::Busy);
        QCOMPARE(p.decide(row(QStringLiteral("+8613012345678"))).device, 2);
        // A number no prefix names goes through any device while no default group is set.
        QCOMPARE(p.decide(row(QStringLiteral("+4917012345678"))).kind, PolicyDecision::Kind::Send);
        m_config.defaultGroup = 0;
        QCOMPARE(policy().decide(row(QStringLiteral("+4917012345678"))).kind,
                 PolicyDecision::Kind::Wait);
    }

    void theLongestPrefixDecides()
    {
        pool(2);
        group(QStringLiteral("wide"), {0}, {QStringLiteral("+86")});
        group(QStringLiteral("narrow"), {1}, {QStringLiteral("+86139")});
        std::stable_sort(m_config.prefixTable.begin(), m_config.prefixTable.end(),
                         [](auto &a, auto &b) { return a.first.size() > b.first.size(); });
        QCOMPARE(policy().decide(row(QStringLiteral("+8613912345678"))).device, 1);
        QCOMPARE(policy().decide(row(QStringLiteral("+8613012345678"))).device, 0);
    }

    void aRouteWithoutAConnectedDeviceKeepsItsRowsWaiting()
    {
        pool(2);
        group(QStringLiteral("cm"), {0}, {QStringLiteral("139")});
        m_devices[0] = {QStringLiteral("1"), false, false, {}};
        const PolicyDecision d = policy().decide(row(QStringLiteral("13912345678")));
        QCOMPARE(d.kind, PolicyDecision::Kind::Wait);
        QCOMPARE(d.why, PolicyDecision::Why::NoDevice);
        QVERIFY(!policy().routeOpen(0));
        QVERIFY(policy().routeOpen(-1));
    }

    void aPacingDeviceHoldsUpNoOther()
    {
        pool(2);
        m_devices[0].pacedUntil = m_clock.now().addSecs(20);
        const SendPolicy p = policy();
        QCOMPARE(p.decide(row()).device, 1);
        m_devices[1].free = false;
        const PolicyDecision d = policy().decide(row());
        QCOMPARE(d.why, PolicyDecision::Why::Pacing);
        QCOMPARE(d.until, m_clock.now().addSecs(20));
    }

    void aRowIsNotOfferedAgainToADeviceThatRefusedIt()
    {
        pool(2);
        PolicyRow r = row();
        r.refusedBy = {0};
        QCOMPARE(policy().decide(r).device, 1);
        QVERIFY(policy().anotherDeviceFor(r));
        r.refusedBy = {0, 1};
        QVERIFY(!policy().anotherDeviceFor(r));
        QCOMPARE(policy().decide(r).kind, PolicyDecision::Kind::Wait);
    }

    void messagesToOneNumberPastTheWindowLimitAreRefused()
    {
        pool(1);
        m_config.recipientLimit = 2;
        m_config.recipientWindowMinutes = 10;
        sent(0, 1, QStringLiteral("555"));
        m_clock.advance(300);
        sent(0, 1, QStringLiteral("555"));
        QCOMPARE(policy().decide(row(QStringLiteral("555"))).why,
                 PolicyDecision::Why::RecipientLimit);
        QCOMPARE(policy().decide(row(QStringLiteral("556"))).kind, PolicyDecision::Kind::Send);
        // The first message leaves the window.
        m_clock.advance(301);
        QCOMPARE(policy().decide(row(QStringLiteral("555"))).kind, PolicyDecision::Kind::Send);
    }

    void theRecipientGuardHoldsWithinAPass()
    {
        // Four free modems and a limit of one: the pass hands the number one message, not four.
        pool(4);
        m_config.recipientLimit = 1;
        SendPolicy p = policy();
        const PolicyDecision first = p.decide(row(QStringLiteral("555")));
        QCOMPARE(first.kind, PolicyDecision::Kind::Send);
        p.taken(first.device, row(QStringLiteral("555")));
        QCOMPARE(p.decide(row(QStringLiteral("555"))).why, PolicyDecision::Why::RecipientLimit);
        QCOMPARE(p.decide(row(QStringLiteral("556"))).kind, PolicyDecision::Kind::Send);

        // What the counts already hold adds to what the pass hands out.
        m_config.recipientLimit = 2;
        sent(0, 1, QStringLiteral("555"));
        SendPolicy later = policy();
        later.taken(1, row(QStringLiteral("555")));
        QCOMPARE(later.decide(row(QStringLiteral("555"))).why, PolicyDecision::Why::RecipientLimit);
    }

    void aRefusedRowWaitsForADeviceOfItsRouteStillConnecting()
    {
        pool(3);
        group(QStringLiteral("cmcc"), {0, 1}, {QStringLiteral("139")});
        m_devices[1].online = false;
        m_devices[1].free = false;
        PolicyRow r = row(QStringLiteral("13912345678"));
        r.refusedBy = {0};
        // Device 2 is outside the route; device 1 is not connected yet but may take it later.
        QVERIFY(policy().anotherDeviceFor(r));
        QCOMPARE(policy().decide(r).kind, PolicyDecision::Kind::Wait);
        m_devices[1].online = true;
        m_devices[1].free = true;
        QCOMPARE(policy().decide(r).device, 1);
        r.refusedBy = {0, 1};
        QVERIFY(!policy().anotherDeviceFor(r));
    }

    void aPassCountsWhatItHandsOut()
    {
        pool(2);
        m_config.limits.dayParts = 1;
        SendPolicy p = policy();
        const PolicyDecision first = p.decide(row());
        p.taken(first.device, row());
        const PolicyDecision second = p.decide(row());
        QCOMPARE(second.kind, PolicyDecision::Kind::Send);
        QVERIFY(second.device != first.device);
        p.taken(second.device, row());
        QVERIFY(!p.routeOpen(-1));
        QCOMPARE(p.decide(row()).why, PolicyDecision::Why::Resting);
    }

    void theSimThatSentLeastTodayGoesFirst()
    {
        pool(3);
        sent(0, 5);
        sent(1, 2);
        sent(2, 4);
        SendPolicy p = policy();
        QCOMPARE(p.decide(row()).device, 1);
        // Through a pass the order holds for the devices not given a row yet.
        p.taken(1, row());
        QCOMPARE(p.decide(row()).device, 2);
        p.unavailable(2);
        QCOMPARE(p.decide(row()).device, 0);
    }
};

QTEST_GUILESS_MAIN(tst_SendPolicy)
#include "tst_sendpolicy.moc"
