// The modem control's tests, continued: opens that return at once and report their end.
#include "tst_smscontrol.h"

using namespace SmsControlTest;

namespace {

// OpenFinished results in the order they came.
QList<short> results(const QSignalSpy &spy)
{
    QList<short> out;
    for (const QList<QVariant> &args : spy)
        out.append(short(args.at(0).toInt()));
    return out;
}

} // namespace

void TestSmsControl::beginOpenEndsAsOpenCommWould()
{
    SmsControl c;
    configure(c, 1);
    QSignalSpy finished(&c, &ModemControl::OpenFinished);
    c.BeginOpenComm();
    // Never from inside the call: the caller has not even stored the device yet.
    QVERIFY(finished.isEmpty());
    QVERIFY(c.modem().isOpening());
    QVERIFY(finished.wait(5000));
    QCOMPARE(results(finished), QList<short>{0});
    QCOMPARE(c.infoText(ModemControl::InfoModel), QStringLiteral("Velmora GSM Simulator"));
    QCOMPARE(m_sim->status(1, QStringLiteral("echo")), 0);
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("opened apart")) >= 1);
    QVERIFY(sent.wait(5000));
    QVERIFY(c.GetIndexOfLastSnd() >= 1);

    // A missing port ends with 1, also on the loop's next turn.
    SmsControl missing;
    configure(missing, 77);
    QSignalSpy missed(&missing, &ModemControl::OpenFinished);
    missing.BeginOpenComm();
    QVERIFY(missed.isEmpty());
    QVERIFY(missed.wait(2000));
    QCOMPARE(results(missed), QList<short>{1});
    QVERIFY(missing.infoText(SmsControl::InfoLastError).contains(QLatin1String("COM77")));

    // A SIM that asks for its PIN ends with 4 and says why.
    QVERIFY(m_sim->command(QStringLiteral("sim 2 pin")).ok);
    SmsControl locked;
    configure(locked, 2);
    QSignalSpy refused(&locked, &ModemControl::OpenFinished);
    locked.BeginOpenComm();
    const bool ended = refused.wait(5000);
    m_sim->command(QStringLiteral("sim 2 ready"));
    QVERIFY(ended);
    QCOMPARE(results(refused), QList<short>{4});
    QCOMPARE(locked.infoText(SmsControl::InfoLastError), QStringLiteral("SIM asks for a PIN"));
}

void TestSmsControl::silentPortHoldsUpNoOtherOpen()
{
    QVERIFY(m_sim->setSilent(1, true));
    SmsControl dead;
    SmsControl good;
    configure(dead, 1);
    configure(good, 2);
    QSignalSpy deadFinished(&dead, &ModemControl::OpenFinished);
    QSignalSpy goodFinished(&good, &ModemControl::OpenFinished);
    bool deadStillOpening = false;
    connect(&good, &ModemControl::OpenFinished, this,
            [&] { deadStillOpening = dead.modem().isOpening() && deadFinished.isEmpty(); });
    dead.BeginOpenComm();
    good.BeginOpenComm();
    QVERIFY(goodFinished.wait(5000));
    QCOMPARE(results(goodFinished), QList<short>{0});
    QVERIFY(deadStillOpening);
    QTRY_COMPARE_WITH_TIMEOUT(deadFinished.size(), 1, 5000);
    QCOMPARE(results(deadFinished), QList<short>{3});
    QVERIFY(dead.infoText(SmsControl::InfoLastError).contains(QLatin1String("no modem answers")));
    QCOMPARE(goodFinished.size(), 1);
}

void TestSmsControl::closeDuringOpenCancelsIt()
{
    QVERIFY(m_sim->setSilent(1, true));
    {
        SmsControl c;
        configure(c, 1);
        QSignalSpy finished(&c, &ModemControl::OpenFinished);
        c.BeginOpenComm();
        QTest::qWait(300);
        QVERIFY(c.modem().isOpening());
        c.CloseComm();
        QVERIFY(!c.modem().isOpening());
        // Longer than the silent port's own bound.
        QTest::qWait(2500);
        QVERIFY(finished.isEmpty());
    }
    QVERIFY(m_sim->setSilent(1, false));
    // Given up before the port was even opened, then begun again: one result, for the last.
    SmsControl c;
    configure(c, 1);
    QSignalSpy finished(&c, &ModemControl::OpenFinished);
    c.BeginOpenComm();
    c.CloseComm();
    c.BeginOpenComm();
    QTest::qWait(100);
    c.BeginOpenComm();
    QVERIFY(finished.wait(5000));
    QTest::qWait(300);
    QCOMPARE(results(finished), QList<short>{0});
    QVERIFY(c.modem().isOpen());
    // The port was let go each time: another control can have it once this one closes.
    c.CloseComm();
    SmsControl other;
    configure(other, 1);
    QCOMPARE(other.OpenComm(), short(0));
}

void TestSmsControl::controlDeletedDuringOpen()
{
    // Deleted at every stage of the open: before the port opens, while the line is drained,
    // while the modem is probed and initialised. Nothing of it may run afterwards.
    for (const int after : {0, 50, 150, 250, 400}) {
        auto *c = new SmsControl;
        configure(*c, 2);
        c->BeginOpenComm();
        QTest::qWait(after);
        delete c;
    }
    QTest::qWait(500);
    // The modem is in step for the next user.
    SmsControl c;
    configure(c, 2);
    QCOMPARE(c.OpenComm(), short(0));
    QCOMPARE(c.infoText(ModemControl::InfoModel), QStringLiteral("Velmora GSM Simulator"));
}

void TestSmsControl::restartedModemSaysItIsOpenAgain()
{
    SmsControl c;
    configure(c, 1);
    c.BeginOpenComm();
    QSignalSpy finished(&c, &ModemControl::OpenFinished);
    QVERIFY(finished.wait(5000));
    QTRY_VERIFY(c.modem().channel()->isIdle());
    QSignalSpy lost(&c, &ModemControl::DeviceLost);
    QStringList order;
    connect(&c, &ModemControl::Notice, this, [&] { order.append(QStringLiteral("notice")); });
    connect(&c, &ModemControl::OpenFinished, this, [&](short result) {
        order.append(QStringLiteral("open %1").arg(result));
        // The caller takes the device back at once: it is ready to send.
        QVERIFY(c.modem().isOpen());
    });
    QVERIFY(m_sim->command(QStringLiteral("reset 1")).ok);
    QVERIFY(lost.wait(5000));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 5000);
    QCOMPARE(results(finished).last(), short(0));
    QCOMPARE(order, (QStringList{QStringLiteral("notice"), QStringLiteral("open 0")}));
    QCOMPARE(m_sim->status(1, QStringLiteral("echo")), 0);
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("back")) >= 1);
    QVERIFY(sent.wait(5000));
    QVERIFY(c.GetIndexOfLastSnd() >= 1);
}

void TestSmsControl::restartDuringCallersOpenIsTheCallers()
{
    // The caller opens while the modem opens itself again after its restart: the caller's open
    // replaces it, and only that one reports.
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QTRY_VERIFY(c.modem().channel()->isIdle());
    QSignalSpy finished(&c, &ModemControl::OpenFinished);
    QSignalSpy lost(&c, &ModemControl::DeviceLost);
    connect(&c, &ModemControl::DeviceLost, this, [&] { c.BeginOpenComm(); });
    QVERIFY(m_sim->command(QStringLiteral("reset 1")).ok);
    QVERIFY(lost.wait(5000));
    QVERIFY(finished.wait(5000));
    QTest::qWait(500);
    QCOMPARE(results(finished), QList<short>{0});
    QVERIFY(c.modem().isOpen());
}
