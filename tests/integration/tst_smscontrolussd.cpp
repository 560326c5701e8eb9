#include "modemsimprocess.h"
#include "smscontrol.h"

#include <QSignalSpy>
#include <QTest>

// USSD through the modem control against the simulator: the network's answer in each form a
// modem gives it, a two-step menu, a silent network, and USSD in the middle of a send burst.
class TestSmsControlUssd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void balanceAnswered_data();
    void balanceAnswered();
    void menuTakesItsReply();
    void silentNetworkTimesOutAndFreesTheModem();
    void unsupportedIsSaid_data();
    void unsupportedIsSaid();
    void ussdDuringASendBurstHoldsNoMessageBack();

private:
    void open(SmsControl &c)
    {
        QString empty;
        c.SetParam(ModemControl::ParamPort, empty, 1);
        c.SetParam(ModemControl::ParamBaudRate, empty, 115200);
        c.SetParam(ModemControl::ParamNewMessageMode, empty, 2);
        QCOMPARE(c.OpenComm(), short(0));
    }
    bool sim(const QString &line) { return m_sim->command(line).ok; }
    static QString enc(const QString &text)
    {
        return QString::fromLatin1(QUrl::toPercentEncoding(text));
    }

    std::unique_ptr<ModemSimProcess> m_sim;
};

void TestSmsControlUssd::initTestCase()
{
    m_sim = std::make_unique<ModemSimProcess>(1);
    QVERIFY2(m_sim->start(), qPrintable(m_sim->errorString()));
    qputenv("VELMORA_PORTS_DIR", m_sim->portsDir().toUtf8());
}

void TestSmsControlUssd::cleanupTestCase()
{
    m_sim.reset();
}

void TestSmsControlUssd::init()
{
    QVERIFY(sim(QStringLiteral("ussd 1 mode text")));
    QVERIFY(sim(QStringLiteral("ussd 1 delay 100")));
    QVERIFY(sim(QStringLiteral("delay 1 0")));
    QVERIFY(sim(QStringLiteral("clearsent 1")));
}

void TestSmsControlUssd::balanceAnswered_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("text");
    QTest::newRow("characters") << "text" << QStringLiteral("Balance: 12.50, valid to 2027-01-31");
    QTest::newRow("packed septets") << "packed" << QStringLiteral("Balance: 12.50 USD");
    QTest::newRow("UCS2") << "ucs2" << QStringLiteral("尊敬的客户，您的话费余额为35.20元。");
}

void TestSmsControlUssd::balanceAnswered()
{
    QFETCH(QString, mode);
    QFETCH(QString, text);
    QVERIFY(sim(QStringLiteral("ussd 1 mode ") + mode));
    QVERIFY(sim(QStringLiteral("ussd 1 answer %1 %2").arg(enc(QStringLiteral("*100#")), enc(text))));
    SmsControl c;
    open(c);
    QSignalSpy finished(&c, &ModemControl::UssdFinished);
    QVERIFY(c.Ussd(QStringLiteral("*100#"), false, 10));
    QVERIFY(finished.wait(5000));
    QCOMPARE(c.infoText(ModemControl::InfoUssdError), QString());
    QCOMPARE(c.infoText(ModemControl::InfoUssdState), QStringLiteral("0"));
    QCOMPARE(c.infoText(ModemControl::InfoUssdText), text);
}

void TestSmsControlUssd::menuTakesItsReply()
{
    QVERIFY(sim(QStringLiteral("ussd 1 menu %1 %2 2 %3")
                        .arg(enc(QStringLiteral("*111#")), enc(QStringLiteral("1 余额\n2 本机号码")),
                             enc(QStringLiteral("本机号码：13800138000")))));
    QVERIFY(sim(QStringLiteral("ussd 1 mode ucs2")));
    SmsControl c;
    open(c);
    QSignalSpy finished(&c, &ModemControl::UssdFinished);
    QVERIFY(c.Ussd(QStringLiteral("*111#"), false, 10));
    QVERIFY(finished.wait(5000));
    QCOMPARE(c.infoText(ModemControl::InfoUssdState), QStringLiteral("1"));
    QCOMPARE(c.infoText(ModemControl::InfoUssdText), QStringLiteral("1 余额\n2 本机号码"));
    QVERIFY(c.Ussd(QStringLiteral("2"), true, 10));
    QVERIFY(finished.wait(5000));
    QCOMPARE(c.infoText(ModemControl::InfoUssdState), QStringLiteral("0"));
    QCOMPARE(c.infoText(ModemControl::InfoUssdText), QStringLiteral("本机号码：13800138000"));
}

void TestSmsControlUssd::silentNetworkTimesOutAndFreesTheModem()
{
    QVERIFY(sim(QStringLiteral("ussd 1 mode silent")));
    SmsControl c;
    open(c);
    QSignalSpy finished(&c, &ModemControl::UssdFinished);
    QVERIFY(c.Ussd(QStringLiteral("*100#"), false, 1));
    QVERIFY(!c.Ussd(QStringLiteral("*100#"), false, 1)); // one at a time
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(c.infoText(ModemControl::InfoUssdError), QStringLiteral("timeout"));
    QCOMPARE(c.infoText(ModemControl::InfoUssdState), QString());
    // The modem goes on: a message and the next USSD.
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("after the silence")) >= 1);
    QVERIFY(sent.wait(5000));
    QVERIFY(c.GetIndexOfLastSnd() >= 1);
    QVERIFY(sim(QStringLiteral("ussd 1 mode text")));
    QVERIFY(sim(QStringLiteral("ussd 1 answer %1 ok").arg(enc(QStringLiteral("*101#")))));
    QVERIFY(c.Ussd(QStringLiteral("*101#"), false, 5));
    QVERIFY(finished.wait(5000));
    QCOMPARE(c.infoText(ModemControl::InfoUssdText), QStringLiteral("ok"));
}

void TestSmsControlUssd::unsupportedIsSaid_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("modem without USSD") << "unsupported";
    QTest::newRow("code the network does not know") << "text";
}

void TestSmsControlUssd::unsupportedIsSaid()
{
    QFETCH(QString, mode);
    QVERIFY(sim(QStringLiteral("ussd 1 mode ") + mode));
    SmsControl c;
    open(c);
    QSignalSpy finished(&c, &ModemControl::UssdFinished);
    QVERIFY(c.Ussd(QStringLiteral("*999#"), false, 5));
    QVERIFY(finished.wait(5000));
    QCOMPARE(c.infoText(ModemControl::InfoUssdError), QStringLiteral("unsupported"));
}

void TestSmsControlUssd::ussdDuringASendBurstHoldsNoMessageBack()
{
    // Each message takes the network 150 ms; the USSD answer 100 ms after its OK. The answer
    // comes while the burst is still going, and every message of the burst goes.
    constexpr int Burst = 8;
    QVERIFY(sim(QStringLiteral("delay 1 150")));
    QVERIFY(sim(QStringLiteral("ussd 1 answer %1 %2")
                        .arg(enc(QStringLiteral("*100#")), enc(QStringLiteral("Balance 9")))));
    SmsControl c;
    open(c);
    int sentCount = 0;
    int sentWhenAnswered = -1;
    connect(&c, &ModemControl::OnSndMsg, &c, [&] {
        QVERIFY(c.GetIndexOfLastSnd() >= 1);
        if (++sentCount < Burst)
            QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("burst %1").arg(sentCount)) >= 1);
    });
    connect(&c, &ModemControl::UssdFinished, &c, [&] { sentWhenAnswered = sentCount; });
    QVERIFY(c.SendMSG(QStringLiteral("13912345678"), QStringLiteral("burst 0")) >= 1);
    QVERIFY(c.Ussd(QStringLiteral("*100#"), false, 10));
    QTRY_COMPARE_WITH_TIMEOUT(sentCount, Burst, 20000);
    QCOMPARE(c.infoText(ModemControl::InfoUssdText), QStringLiteral("Balance 9"));
    QVERIFY(sentWhenAnswered >= 0);
    QVERIFY2(sentWhenAnswered < Burst, "the USSD waited for the whole burst");
    QCOMPARE(m_sim->submitted(1).size(), Burst);
}

QTEST_GUILESS_MAIN(TestSmsControlUssd)
#include "tst_smscontrolussd.moc"
