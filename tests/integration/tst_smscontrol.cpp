#include "tst_smscontrol.h"

using namespace SmsControlTest;

void TestSmsControl::initTestCase()
{
    m_sim = std::make_unique<ModemSimProcess>(2);
    QVERIFY2(m_sim->start(), qPrintable(m_sim->errorString()));
    qputenv("VELMORA_PORTS_DIR", m_sim->portsDir().toUtf8());
}

void TestSmsControl::cleanupTestCase()
{
    m_sim.reset();
}

void TestSmsControl::init()
{
    for (int port : {1, 2}) {
        m_sim->setSilent(port, false);
        m_sim->setSendDelay(port, 0);
        m_sim->command(QStringLiteral("clearsent %1").arg(port));
        m_sim->command(QStringLiteral("network %1 1").arg(port));
        m_sim->command(QStringLiteral("memfull %1 0").arg(port));
    }
}

void TestSmsControl::opensAndReportsModel()
{
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QString model;
    QVERIFY(c.GetInfo(2, model));
    QCOMPARE(model, QStringLiteral("Velmora GSM Simulator"));
    QString imei;
    QVERIFY(c.GetInfo(4, imei));
    QCOMPARE(imei, QStringLiteral("860000000000001"));
    QString ring;
    QVERIFY(c.GetInfo(16, ring));
    QCOMPARE(ring, QStringLiteral("0"));
    // The driver turned echo off, as an operator's earlier session may have left it on.
    QCOMPARE(m_sim->status(1, QStringLiteral("echo")), 0);
    QString op;
    QTRY_VERIFY(c.GetInfo(8, op) && op == QStringLiteral("Velmora Mobile"));
}

void TestSmsControl::sendsToAnotherModem_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("parts");
    QTest::newRow("short") << QStringLiteral("Hello @ home") << 1;
    QTest::newRow("extension table") << QStringLiteral("Price: 5€ [a|b] {c} ~^\\") << 1;
    QTest::newRow("chinese") << QStringLiteral("你好，世界！短信网关测试") << 1;
    QTest::newRow("500 latin") << longLatinText(500) << 4;
    QTest::newRow("500 chinese") << longChineseText(500) << 8;
    QTest::newRow("emoji") << QStringLiteral("Test 😀👍 done") << 1;
    QTest::newRow("empty") << QString() << 1;
}

void TestSmsControl::sendsToAnotherModem()
{
    QFETCH(QString, text);
    QFETCH(int, parts);
    SmsControl sender;
    SmsControl receiver;
    configure(sender, 1);
    configure(receiver, 2);
    QCOMPARE(sender.OpenComm(), short(0));
    QCOMPARE(receiver.OpenComm(), short(0));

    QSignalSpy sent(&sender, &ModemControl::OnSndMsg);
    QStringList received;
    QString from;
    connect(&receiver, &ModemControl::OnRecvMsg, this, [&] {
        QString sca, s, t, ts;
        if (receiver.ReadMsgForVB(sca, s, t, ts) == 0) {
            received.append(t);
            from = s;
            QCOMPARE(ts.size(), 15);
        }
    });

    QVERIFY(sender.SendMSG(m_sim->numberOf(2), text) >= 1);
    QVERIFY(sent.wait(10000));
    QVERIFY(sender.GetIndexOfLastSnd() >= 1);
    const auto submitted = m_sim->submitted(1);
    QCOMPARE(submitted.size(), 1);
    QCOMPARE(submitted[0].text, text);
    QCOMPARE(submitted[0].parts, parts);

    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 10000);
    QCOMPARE(received[0], text);
    QCOMPARE(from, m_sim->numberOf(1));
    QTest::qWait(50);
    QCOMPARE(sent.size(), 1);
    QTRY_COMPARE(m_sim->status(2, QStringLiteral("stored")), 0);
}

void TestSmsControl::receivesSplitAndReordered_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("order");
    QTest::addColumn<QList<int>>("duplicates");
    QTest::addColumn<QString>("options");
    QTest::newRow("short") << QStringLiteral("Hi there") << QList<int>() << QList<int>()
                           << QString();
    QTest::newRow("chinese") << QStringLiteral("你好") << QList<int>() << QList<int>() << QString();
    QTest::newRow("500 latin reversed")
            << longLatinText(500) << QList<int>{4, 3, 2, 1} << QList<int>() << QString();
    QTest::newRow("500 chinese shuffled with duplicates")
            << longChineseText(500) << QList<int>{3, 1, 8, 2, 7, 4, 6, 5} << QList<int>{2, 8}
            << QString();
    QTest::newRow("16-bit reference")
            << longLatinText(320) << QList<int>{3, 1, 2} << QList<int>() << QStringLiteral("ref16");
    QTest::newRow("latin as ucs2") << QStringLiteral("plain text sent as UCS2") << QList<int>()
                                   << QList<int>() << QStringLiteral("ucs2");
}

void TestSmsControl::receivesSplitAndReordered()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, order);
    QFETCH(QList<int>, duplicates);
    QFETCH(QString, options);
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QStringList texts;
    QString sender;
    QString timestamp;
    connect(&c, &ModemControl::OnRecvMsg, this, [&] {
        QString sca, s, t, ts;
        QCOMPARE(c.ReadMsgForVB(sca, s, t, ts), short(0));
        texts.append(t);
        sender = s;
        timestamp = ts;
        QCOMPARE(sca, QStringLiteral("+8613800000000"));
    });
    QVERIFY(m_sim->deliver(1, QStringLiteral("+8613812345678"), text, order, duplicates, options)
            > 0);
    QTRY_COMPARE_WITH_TIMEOUT(texts.size(), 1, 10000);
    QCOMPARE(texts[0], text);
    QCOMPARE(sender, QStringLiteral("+8613812345678"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{12}[+-]\\d\\d$")).match(timestamp).hasMatch());
    // Every part, duplicates too, leaves the SIM; nothing is announced twice.
    QTRY_COMPARE(m_sim->status(1, QStringLiteral("stored")), 0);
    QTest::qWait(100);
    QCOMPARE(texts.size(), 1);
}

void TestSmsControl::deletesOnlyAfterHandlerReturned()
{
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    int storedDuringHandler = -1;
    int announcements = 0;
    connect(&c, &ModemControl::OnRecvMsg, this, [&] {
        ++announcements;
        QString sca, s, t, ts;
        QCOMPARE(c.ReadMsgForVB(sca, s, t, ts), short(0));
        storedDuringHandler = m_sim->status(1, QStringLiteral("stored"));
    });
    QCOMPARE(m_sim->deliver(1, QStringLiteral("10086"), longLatinText(200)), 2);
    QTRY_COMPARE_WITH_TIMEOUT(announcements, 1, 10000);
    QCOMPARE(storedDuringHandler, 2);
    QTRY_COMPARE(m_sim->status(1, QStringLiteral("stored")), 0);
}

void TestSmsControl::announcesMessagesWaitingBeforeOpen()
{
    {
        // A gateway that stopped before storing: the messages stay on the SIM.
        SmsControl c;
        configure(c, 1);
        QCOMPARE(c.OpenComm(), short(0));
        int announced = 0;
        connect(&c, &ModemControl::OnRecvMsg, this, [&] { ++announced; });
        QVERIFY(m_sim->deliver(1, QStringLiteral("+8613700000001"), QStringLiteral("first")));
        QVERIFY(m_sim->deliver(1, QStringLiteral("+8613700000002"), QStringLiteral("second")));
        // Not read: the head message is announced again with the next arrival.
        QTRY_COMPARE(announced, 2);
        c.CloseComm();
    }
    QCOMPARE(m_sim->status(1, QStringLiteral("stored")), 2);
    SmsControl c;
    configure(c, 1);
    QStringList texts;
    connect(&c, &ModemControl::OnRecvMsg, this, [&] {
        QString sca, s, t, ts;
        if (c.ReadMsgForVB(sca, s, t, ts) == 0)
            texts.append(t);
    });
    QCOMPARE(c.OpenComm(), short(0));
    QVERIFY(texts.isEmpty()); // not during OpenComm: the caller has no device yet
    QTRY_COMPARE(texts.size(), 2);
    texts.sort();
    QCOMPARE(texts, QStringList({QStringLiteral("first"), QStringLiteral("second")}));
    QTRY_COMPARE(m_sim->status(1, QStringLiteral("stored")), 0);
}

void TestSmsControl::ignoresVendorNoiseDuringSend()
{
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    m_sim->setSendDelay(1, 300);
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QVERIFY(c.SendMSG(QStringLiteral("+8613912345678"), QStringLiteral("noise test")) >= 1);
    QTest::qWait(100);
    QVERIFY(m_sim->unsolicited(1, QStringLiteral("^RSSI:12")));
    QVERIFY(m_sim->unsolicited(1, QStringLiteral("+PSBEARER: 0,0,0,0,0,0")));
    QVERIFY(m_sim->unsolicited(1, QStringLiteral("^BOOT:20952548,0,0,0,72")));
    QVERIFY(sent.wait(5000));
    QVERIFY(c.GetIndexOfLastSnd() >= 1);
}

void TestSmsControl::failingSendReportsFailure()
{
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QVERIFY(m_sim->failNextSend(1, 38));
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), longLatinText(400)) >= 1);
    QVERIFY(sent.wait(5000));
    QVERIFY(c.GetIndexOfLastSnd() < 1);
    QTest::qWait(100);
    QCOMPARE(sent.size(), 1);
    // The modem is still usable for the next message.
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("again")) >= 1);
    QVERIFY(sent.wait(5000));
    QVERIFY(c.GetIndexOfLastSnd() >= 1);
}

void TestSmsControl::textBeyondConcatenationFailsOnce()
{
    // 255 parts of 153 septets is all one reference can join; the message is taken and fails.
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QString(255 * 153 + 1, QLatin1Char('a')))
            >= 1);
    QVERIFY(sent.wait(5000));
    QVERIFY(c.GetIndexOfLastSnd() < 1);
    QTest::qWait(50);
    QCOMPARE(sent.size(), 1);
    QVERIFY(m_sim->submitted(1).isEmpty());
}

void TestSmsControl::secondSendWhileBusyIsRefused()
{
    SmsControl c;
    configure(c, 1);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("closed")) < 1);
    QCOMPARE(c.OpenComm(), short(0));
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("one")) >= 1);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("two")) < 1);
    QVERIFY(sent.wait(5000));
    QTest::qWait(50);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(m_sim->submitted(1).size(), 1);
}

void TestSmsControl::handlerMaySendNextMessage()
{
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QStringList queue{QStringLiteral("three"), QStringLiteral("two")};
    QList<int> results;
    connect(&c, &ModemControl::OnSndMsg, this, [&] {
        results.append(c.GetIndexOfLastSnd());
        if (!queue.isEmpty())
            QVERIFY(c.SendMSG(QStringLiteral("13912345678"), queue.takeLast()) >= 1);
    });
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("one")) >= 1);
    QTRY_COMPARE(results.size(), 3);
    for (int r : results)
        QVERIFY(r >= 1);
    const auto submitted = m_sim->submitted(1);
    QCOMPARE(submitted.size(), 3);
    QCOMPARE(submitted[2].text, QStringLiteral("three"));
}

void TestSmsControl::silentModemDuringSendEndsInTime()
{
    // The part times out and two bare ATs get no answer: the device is lost. The modem never
    // prompted for the text, so the message cannot have gone: it is handed back, not failed.
    SmsControl c;
    configure(c, 1);
    QString empty;
    c.SetParam(SmsControl::ParamSendTimeout, empty, 1);
    c.SetParam(SmsControl::ParamOpenTimeout, empty, 1000);
    QCOMPARE(c.OpenComm(), short(0));
    QTRY_VERIFY(c.modem().channel()->isIdle()); // the listing after the open is answered
    QVERIFY(m_sim->setSilent(1, true));
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QSignalSpy lost(&c, &ModemControl::DeviceLost);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), longLatinText(300)) >= 1);
    QVERIFY(lost.wait(10000));
    QCOMPARE(sent.size(), 1);
    QCOMPARE(c.GetIndexOfLastSnd(), int(ModemControl::SendNeverReachedModem));
    QString model;
    QVERIFY(!c.GetInfo(2, model));
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("after")) < 1);
    QVERIFY(m_sim->setSilent(1, false));
    QCOMPARE(c.OpenComm(), short(0));
}

void TestSmsControl::messageQueuedBehindSilenceGetsNoResult()
{
    // The modem stops answering a status query with a message queued behind it: the device is
    // lost before the message was written, so it is handed back rather than failed.
    SmsControl c;
    configure(c, 1);
    QString empty;
    c.SetParam(SmsControl::ParamOpenTimeout, empty, 1000);
    QCOMPARE(c.OpenComm(), short(0));
    QTRY_VERIFY(c.modem().channel()->isIdle());
    QVERIFY(m_sim->setSilent(1, true));
    c.RefreshHealth();
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QSignalSpy lost(&c, &ModemControl::DeviceLost);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("queued")) >= 1);
    QVERIFY(lost.wait(10000));
    QCOMPARE(sent.size(), 1);
    QCOMPARE(c.GetIndexOfLastSnd(), int(ModemControl::SendNeverReachedModem));
}

void TestSmsControl::fullSimReportedUnaskedIsEmptied()
{
    // A message that fills the SIM is not announced; the modem says +CMS ERROR: 322 instead.
    SmsControl c;
    configure(c, 2);
    QCOMPARE(c.OpenComm(), short(0));
    QStringList texts;
    connect(&c, &ModemControl::OnRecvMsg, this, [&] {
        QString sca, s, t, ts;
        if (c.ReadMsgForVB(sca, s, t, ts) == 0)
            texts.append(t);
    });
    QTRY_VERIFY(c.modem().channel()->isIdle());
    QVERIFY(m_sim->command(QStringLiteral("memfull 2 1")).ok);
    for (const QString &t : {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")})
        QVERIFY(m_sim->deliver(2, QStringLiteral("10086"), t));
    QTRY_COMPARE(texts.size(), 3);
    QTRY_COMPARE(m_sim->status(2, QStringLiteral("stored")), 0);
    QCOMPARE(m_sim->status(2, QStringLiteral("heldback")), 0);
}

QTEST_GUILESS_MAIN(TestSmsControl)
