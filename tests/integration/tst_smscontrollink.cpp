// The modem control's tests, continued: links that come and go, refusals and their reasons,
// delivery reports and calls.
#include "tst_smscontrol.h"

using namespace SmsControlTest;

void TestSmsControl::idleModemUnpluggedIsLostAndOpensAfterPlug()
{
    ModemSimProcess sim(1, 9);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    SmsControl c;
    configure(c, 9);
    QCOMPARE(c.OpenComm(), short(0));
    QSignalSpy lost(&c, &ModemControl::DeviceLost);
    QTRY_VERIFY(c.modem().channel()->isIdle());
    QVERIFY(sim.vanish(9));
    const bool noticed = lost.wait(5000);
    QVERIFY(sim.command(QStringLiteral("plug 9")).ok);
    const short reopened = c.OpenComm();
    qputenv("VELMORA_PORTS_DIR", m_sim->portsDir().toUtf8());
    QVERIFY(noticed);
    QCOMPARE(lost.size(), 1);
    QCOMPARE(reopened, short(0));
}

void TestSmsControl::restartedModemIsLostAndOpensAgain()
{
    // After a restart the modem has forgotten the settings of the open (echo is back on,
    // indications are off): it has to be opened again.
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QSignalSpy lost(&c, &ModemControl::DeviceLost);
    QVERIFY(m_sim->command(QStringLiteral("reset 1")).ok);
    QVERIFY(lost.wait(5000));
    QCOMPARE(c.OpenComm(), short(0));
    QCOMPARE(m_sim->status(1, QStringLiteral("echo")), 0);
}

void TestSmsControl::transientRefusalRetriedOnce_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("times");
    QTest::addColumn<bool>("sent");
    QTest::newRow("500 once: retried") << 500 << 1 << true;
    QTest::newRow("500 twice: one retry only") << 500 << 2 << false;
    QTest::newRow("unassigned number: final") << 1 << 1 << false;
}

void TestSmsControl::transientRefusalRetriedOnce()
{
    QFETCH(int, code);
    QFETCH(int, times);
    QFETCH(bool, sent);
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QVERIFY(m_sim->command(QStringLiteral("failnext 1 %1 %2").arg(code).arg(times)).ok);
    QSignalSpy done(&c, &ModemControl::OnSndMsg);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("retry?")) >= 1);
    QVERIFY(done.wait(10000));
    QCOMPARE(c.GetIndexOfLastSnd() >= 1, sent);
    QCOMPARE(m_sim->submitted(1).size(), sent ? 1 : 0);
}

void TestSmsControl::deliveryReportCarriesReferenceOfLastPart_data()
{
    QTest::addColumn<bool>("stored");
    QTest::newRow("routed as +CDS") << false;
    QTest::newRow("stored, announced by +CDSI") << true;
}

void TestSmsControl::deliveryReportCarriesReferenceOfLastPart()
{
    QFETCH(bool, stored);
    QVERIFY(m_sim->command(QStringLiteral("reportsstored 1 %1").arg(stored ? 1 : 0)).ok);
    SmsControl c;
    configure(c, 1);
    QString empty;
    c.SetParam(ModemControl::ParamStatusReport, empty, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QVERIFY(m_sim->command(QStringLiteral("reportdelay 1 200")).ok);
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QSignalSpy reported(&c, &ModemControl::StatusReport);
    QVERIFY(c.SendMSG(QStringLiteral("+8613912345678"), longLatinText(200)) >= 1);
    QVERIFY(sent.wait(5000));
    QVERIFY(c.GetIndexOfLastSnd() >= 1);
    const int last = c.GetReferenceOfLastSnd();
    QTRY_COMPARE_WITH_TIMEOUT(reported.size(), 2, 5000);
    QList<int> references;
    int reference = -1;
    int status = -1;
    QString recipient;
    QString when;
    while (c.ReadStatusReport(reference, recipient, status, when)) {
        references.append(reference);
        QCOMPARE(recipient, QStringLiteral("+8613912345678"));
        QCOMPARE(status, 0);
        QCOMPARE(when.size(), 15);
    }
    QCOMPARE(references.size(), 2);
    QCOMPARE(references.last(), last);
    QVERIFY(references.first() != last);
    QTRY_COMPARE(m_sim->status(1, QStringLiteral("stored")), 0);
    m_sim->command(QStringLiteral("reportdelay 1 0"));
    m_sim->command(QStringLiteral("reportsstored 1 0"));
}

void TestSmsControl::silentOpenLetsOtherModemsWork()
{
    SmsControl other;
    configure(other, 2);
    QCOMPARE(other.OpenComm(), short(0));
    SmsControl silent;
    configure(silent, 1);
    QVERIFY(m_sim->setSilent(1, true));
    bool receivedDuringOpen = false;
    connect(&other, &ModemControl::OnRecvMsg, this, [&] {
        QString sca, sender, text, ts;
        while (other.ReadMsgForVB(sca, sender, text, ts) == 0) { }
        receivedDuringOpen = silent.modem().isOpening();
        // The open is not entered twice, and a close ends it at once.
        QCOMPARE(silent.OpenComm(), short(2));
        silent.CloseComm();
    });
    QCOMPARE(m_sim->deliver(2, QStringLiteral("10086"), QStringLiteral("meanwhile")), 1);
    QString empty;
    silent.SetParam(SmsControl::ParamOpenTimeout, empty, 30000);
    QCOMPARE(silent.OpenComm(), short(3));
    QVERIFY(receivedDuringOpen);
}

void TestSmsControl::simBusyAfterPowerOnIsWaitedFor()
{
    QVERIFY(m_sim->command(QStringLiteral("simbusy 1 2")).ok);
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
}

void TestSmsControl::simProblemIsNamed_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("why");
    QTest::newRow("PIN") << QStringLiteral("pin") << QStringLiteral("SIM asks for a PIN");
    QTest::newRow("missing") << QStringLiteral("missing") << QStringLiteral("SIM missing");
}

void TestSmsControl::simProblemIsNamed()
{
    QFETCH(QString, state);
    QFETCH(QString, why);
    QVERIFY(m_sim->command(QStringLiteral("sim 1 %1").arg(state)).ok);
    SmsControl c;
    configure(c, 1);
    const short opened = c.OpenComm();
    m_sim->command(QStringLiteral("sim 1 ready"));
    QCOMPARE(opened, short(4));
    QString text;
    QVERIFY(c.GetInfo(SmsControl::InfoLastError, text));
    QCOMPARE(text, why);
}

void TestSmsControl::registrationLostAndRegained()
{
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QSignalSpy changed(&c, &ModemControl::RegistrationChanged);
    QString stat;
    QTRY_VERIFY(c.GetInfo(7, stat) && stat == QLatin1String("1"));
    QVERIFY(m_sim->command(QStringLiteral("network 1 0")).ok);
    QVERIFY(changed.wait(5000));
    QVERIFY(c.GetInfo(7, stat));
    QCOMPARE(stat, QStringLiteral("2"));
    QVERIFY(m_sim->command(QStringLiteral("network 1 1")).ok);
    QVERIFY(changed.wait(5000));
    QVERIFY(c.GetInfo(7, stat));
    QCOMPARE(stat, QStringLiteral("1"));
}

void TestSmsControl::closeUnderAcceptedSendIsNoFailure()
{
    // The modem has the text and answers late: whether it went is not known when the port
    // closes, so the message gets no result; a failure would have it sent twice.
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    m_sim->setSendDelay(1, 2000);
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("cut off")) >= 1);
    QTRY_COMPARE(m_sim->submitted(1).size(), 1);
    c.CloseComm();
    QTest::qWait(200);
    QCOMPARE(sent.size(), 0);
    // The same for the close of an open begun over it, which the caller may not have meant.
    m_sim->command(QStringLiteral("clearsent 1"));
    QCOMPARE(c.OpenComm(), short(0));
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("reopened over")) >= 1);
    QTRY_COMPARE(m_sim->submitted(1).size(), 1);
    QSignalSpy opened(&c, &ModemControl::OpenFinished);
    c.BeginOpenComm();
    QVERIFY(opened.wait(5000));
    QCOMPARE(sent.size(), 0);
}

void TestSmsControl::vanishedModemEndsSend()
{
    // A modem of its own, so the shared ones stay.
    ModemSimProcess sim(1, 9);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    SmsControl c;
    configure(c, 9);
    const short opened = c.OpenComm();
    qputenv("VELMORA_PORTS_DIR", m_sim->portsDir().toUtf8());
    QCOMPARE(opened, short(0));
    sim.setSendDelay(9, 1000);
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QSignalSpy lost(&c, &ModemControl::DeviceLost);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("lost")) >= 1);
    QVERIFY(sim.vanish(9));
    QVERIFY(lost.wait(5000));
    // Gone before its text reached the modem it failed; after, whether it went is not known
    // and it has no result. Never a success.
    QVERIFY(sent.size() <= 1);
    if (!sent.isEmpty())
        QVERIFY(c.GetIndexOfLastSnd() < 1);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("after")) < 1);
    QVERIFY(c.OpenComm() != 0);
}

void TestSmsControl::silentModemFailsOpenWithinBound()
{
    QVERIFY(m_sim->setSilent(1, true));
    SmsControl c;
    configure(c, 1);
    QElapsedTimer t;
    t.start();
    QCOMPARE(c.OpenComm(), short(3));
    // The bound the gateway relies on (2 s by default), with room for a loaded machine.
    QVERIFY2(t.elapsed() < 4000, qPrintable(QString::number(t.elapsed())));
    QString why;
    QVERIFY(c.GetInfo(SmsControl::InfoLastError, why));
    QVERIFY(why.contains(QLatin1String("no modem answers")));
}

void TestSmsControl::recoversModemLeftInTextEntry()
{
    {
        // Another program died between AT+CMGS and the end of its message.
        QSerialPort other;
        other.setPortName(QFileInfo(m_sim->portPath(1)).canonicalFilePath());
        QVERIFY(other.open(QIODevice::ReadWrite));
        other.write("AT+CMGS=20\r");
        QVERIFY(other.waitForBytesWritten(1000));
        QTest::qWait(100);
    }
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QString model;
    QVERIFY(c.GetInfo(2, model));
    QCOMPARE(model, QStringLiteral("Velmora GSM Simulator"));
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("after recovery")) >= 1);
    QVERIFY(sent.wait(5000));
    QVERIFY(c.GetIndexOfLastSnd() >= 1);
    QCOMPARE(m_sim->submitted(1).size(), 1);
}

void TestSmsControl::portHeldElsewhereFailsAtOnce_data()
{
    QTest::addColumn<QString>("holder");
    QTest::newRow("another modem control") << QStringLiteral("control");
    QTest::newRow("exclusive tty") << QStringLiteral("qserialport");
    QTest::newRow("flock") << QStringLiteral("flock");
}

void TestSmsControl::portHeldElsewhereFailsAtOnce()
{
    QFETCH(QString, holder);
    SmsControl first;
    QSerialPort port;
    int fd = -1;
    if (holder == QLatin1String("control")) {
        configure(first, 1);
        QCOMPARE(first.OpenComm(), short(0));
    } else if (holder == QLatin1String("qserialport")) {
        port.setPortName(QFileInfo(m_sim->portPath(1)).canonicalFilePath());
        QVERIFY(port.open(QIODevice::ReadWrite));
    } else {
        fd = ::open(QFile::encodeName(m_sim->portPath(1)).constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    }
    SmsControl second;
    configure(second, 1);
    QElapsedTimer t;
    t.start();
    QCOMPARE(second.OpenComm(), short(2));
    QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
    if (fd >= 0)
        ::close(fd);
}

void TestSmsControl::missingPortFails()
{
    SmsControl c;
    configure(c, 77); // no link: /dev/ttyUSB12 by the Wine names, absent here
    QCOMPARE(c.OpenComm(), short(1));
    QString model;
    QVERIFY(!c.GetInfo(2, model));
}

void TestSmsControl::incomingCallIsHungUp()
{
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QStringList log;
    connect(&c, &ModemControl::PhoneCall, this, [&] {
        QString text;
        if (!c.GetInfo(16, text) || text.trimmed() != QLatin1String("1"))
            return;
        if (c.PhoneCallGetInCallNumber(text))
            log.append(text);
        c.PauseSMS(1);
        c.PhoneCallHangup();
        log.append(QStringLiteral("hung up"));
        c.ResumeSMS();
    });
    QVERIFY(m_sim->ring(1, QStringLiteral("+8613811112222")));
    QTRY_COMPARE_WITH_TIMEOUT(log.size(), 2, 5000);
    QCOMPARE(log[0], QStringLiteral("+8613811112222"));
    QTRY_COMPARE(m_sim->status(1, QStringLiteral("hangups")), 1);
    QCOMPARE(m_sim->status(1, QStringLiteral("ringing")), 0);
    QString ring;
    QVERIFY(c.GetInfo(16, ring));
    QCOMPARE(ring, QStringLiteral("0"));
    // The next caller withholds the number: the last caller's is not reported for it.
    log.clear();
    QTRY_VERIFY(!c.GetInfo(16, ring) || ring == QLatin1String("0"));
    QVERIFY(m_sim->ring(1, QStringLiteral("-")));
    QTRY_COMPARE_WITH_TIMEOUT(log.size(), 1, 5000);
    QCOMPARE(log[0], QStringLiteral("hung up"));
    QTRY_COMPARE(m_sim->status(1, QStringLiteral("hangups")), 2);
    // Sending works again after the call.
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("after call")) >= 1);
    QVERIFY(sent.wait(5000));
    QVERIFY(c.GetIndexOfLastSnd() >= 1);
}

void TestSmsControl::probeFindsExactlyTheSimulatedPorts()
{
    ModemSimProcess sim(3, 40);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    QVERIFY(sim.setSilent(41, true)); // a device that is no modem
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    SmsControl probe;
    const QString found = probe.AtuoTestGSMModem(39, 44);
    qputenv("VELMORA_PORTS_DIR", m_sim->portsDir().toUtf8());
    QCOMPARE(found, QStringLiteral("40,115200;42,115200;"));
}

void TestSmsControl::messageTheModemNeverHadEndsAsSuch()
{
    // AT+CMGS is written but the prompt never comes: the close cuts the message off before any
    // of its text reached the modem, which the caller hears as such, not as a plain failure.
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QTRY_VERIFY(c.modem().channel()->isIdle());
    QVERIFY(m_sim->setSilent(1, true));
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("never typed")) >= 1);
    QTest::qWait(200);
    c.CloseComm();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(c.GetIndexOfLastSnd(), int(ModemControl::SendNeverReachedModem));
    QVERIFY(m_sim->setSilent(1, false));
    QCOMPARE(m_sim->submitted(1).size(), 0);
}

void TestSmsControl::reopenAfterCutSendIsInStep()
{
    // The close comes while the modem still owes the answer to a message it took; that late
    // +CMGS/OK must not pass for the answers of the next open.
    for (int round = 0; round < 3; ++round) {
        SmsControl c;
        configure(c, 1);
        QCOMPARE(c.OpenComm(), short(0));
        m_sim->setSendDelay(1, 300 + 150 * round);
        QSignalSpy sent(&c, &ModemControl::OnSndMsg);
        QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("cut %1").arg(round)) >= 1);
        QTRY_COMPARE(m_sim->submitted(1).size(), 1);
        c.CloseComm();
        // The modem had it: unknown, or sent when its answer came in time; never failed.
        QVERIFY(sent.isEmpty() || c.GetIndexOfLastSnd() >= 1);
        sent.clear();
        m_sim->setSendDelay(1, 0);
        QCOMPARE(c.OpenComm(), short(0));
        QString model;
        QVERIFY(c.GetInfo(2, model));
        QCOMPARE(model, QStringLiteral("Velmora GSM Simulator"));
        QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("next")) >= 1);
        QVERIFY(sent.wait(10000));
        QVERIFY(c.GetIndexOfLastSnd() >= 1);
        QCOMPARE(m_sim->submitted(1).size(), 2);
        QCOMPARE(m_sim->submitted(1).last().text, QStringLiteral("next"));
        m_sim->command(QStringLiteral("clearsent 1"));
    }
}

void TestSmsControl::restartedModemGivesBackWhatItNeverHadAndOpensAtOnce()
{
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QTRY_VERIFY(c.modem().channel()->isIdle());
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QSignalSpy lost(&c, &ModemControl::DeviceLost);
    QSignalSpy notice(&c, &ModemControl::Notice);
    QSignalSpy opened(&c, &ModemControl::OpenFinished);
    QVERIFY(m_sim->command(QStringLiteral("restart 1 1000")).ok);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("during the restart")) >= 1);
    QVERIFY(lost.wait(10000));
    // The message came to an end before the loss, as one the modem never had.
    QCOMPARE(sent.size(), 1);
    QCOMPARE(c.GetIndexOfLastSnd(), int(ModemControl::SendNeverReachedModem));
    // Opened again without being asked, with the settings of the open.
    QTRY_VERIFY_WITH_TIMEOUT(c.modem().isOpen(), 10000);
    QCOMPARE(m_sim->status(1, QStringLiteral("echo")), 0);
    QTRY_COMPARE(notice.size(), 1);
    QTRY_COMPARE(opened.size(), 1);
    QCOMPARE(opened[0][0].toInt(), 0);
    QString text;
    QVERIFY(c.GetInfo(ModemControl::InfoNotice, text));
    QVERIFY(!text.isEmpty());
    QVERIFY(c.GetInfo(ModemControl::InfoFailureReason, text));
    QVERIFY2(text.startsWith(QStringLiteral("短信猫已重启")), qPrintable(text));
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("after the restart")) >= 1);
    QVERIFY(sent.wait(10000));
    QVERIFY(c.GetIndexOfLastSnd() >= 1);
    const auto submitted = m_sim->submitted(1);
    QCOMPARE(submitted.size(), 1);
    QCOMPARE(submitted[0].text, QStringLiteral("after the restart"));
    // The boot lines that follow the first belong to the same restart.
    QCOMPARE(lost.size(), 1);
}

void TestSmsControl::failedSendSaysWhy()
{
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QVERIFY(m_sim->command(QStringLiteral("failnext 1 42 2")).ok);
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("congested")) >= 1);
    QVERIFY(sent.wait(10000));
    QCOMPARE(c.GetIndexOfLastSnd(), -1);
    QString why;
    QVERIFY(c.GetInfo(ModemControl::InfoSendFailure, why));
    QCOMPARE(why, QStringLiteral("+CMS ERROR: 42（网络拥塞）"));
}

void TestSmsControl::onlyALastingRefusalIsFinal_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("times");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("text");
    QTest::newRow("rejected by the network") << 21 << 1 << "21"
                                             << "refused";
    // Refused again after the driver's retry: the same SIM may pass it a moment later.
    QTest::newRow("congestion") << 42 << 2 << ""
                                << "refused";
    // Its first part refused, none of a long message went out.
    QTest::newRow("long, first part") << 21 << 1 << "21" << QString(200, QLatin1Char('x'));
}

void TestSmsControl::onlyALastingRefusalIsFinal()
{
    QFETCH(int, code);
    QFETCH(int, times);
    QFETCH(QString, refusal);
    QFETCH(QString, text);
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QVERIFY(m_sim->command(QStringLiteral("failnext 1 %1 %2").arg(code).arg(times)).ok);
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), text) >= 1);
    QVERIFY(sent.wait(10000));
    QCOMPARE(c.GetIndexOfLastSnd(), -1);
    QCOMPARE(c.infoText(ModemControl::InfoSendRefusal), refusal);
    QCOMPARE(c.infoText(ModemControl::InfoSendRefusedWhole),
             refusal.isEmpty() ? QStringLiteral("0") : QStringLiteral("1"));
    // A message that goes through clears it.
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("fine")) >= 1);
    QVERIFY(sent.wait(10000));
    QVERIFY(c.GetIndexOfLastSnd() >= 1);
    QCOMPARE(c.infoText(ModemControl::InfoSendRefusal), QString());
}

void TestSmsControl::lostDeviceForgetsItsHealth()
{
    // A modem of its own, so the shared ones stay.
    ModemSimProcess sim(1, 8);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    SmsControl c;
    configure(c, 8);
    const short opened = c.OpenComm();
    qputenv("VELMORA_PORTS_DIR", m_sim->portsDir().toUtf8());
    QCOMPARE(opened, short(0));
    QTRY_VERIFY(!c.modem().networkStatus().signal.isEmpty());
    QSignalSpy health(&c, &ModemControl::HealthChanged);
    QSignalSpy lost(&c, &ModemControl::DeviceLost);
    QVERIFY(sim.vanish(8));
    QVERIFY(lost.wait(5000));
    QVERIFY(c.modem().networkStatus().signal.isEmpty());
    QVERIFY(c.modem().networkStatus().registration.isEmpty());
    QVERIFY(health.size() >= 1);
}
