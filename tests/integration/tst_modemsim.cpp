#include "modemsimprocess.h"
#include "pdu/pdudecoder.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

// The simulator's AT dialect, spoken directly on its ports: what tests of the gateway rely on.
class TestModemSim : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void dialect_data();
    void dialect();
    void textModeSendAndRead();
    void fullStorageHoldsMessagesBack();
    void checkToolPrintsIdentityAndSends();
    void dozingModemLosesFirstCommandAndAnswersLate();
    void silentModemsAndCounts();
    void badHabitOptionsAreRefused_data();
    void badHabitOptionsAreRefused();

private:
    // Writes a command line and returns everything up to and including its final result.
    QByteArray at(QSerialPort &port, const QByteArray &command, const QByteArray &text = {});
    bool open(QSerialPort &port, int n);
    static bool open(QSerialPort &port, const ModemSimProcess &sim, int n);
    // Everything the port says within ms.
    static QByteArray listen(QSerialPort &port, int ms);

    std::unique_ptr<ModemSimProcess> m_sim;
};

void TestModemSim::initTestCase()
{
    m_sim = std::make_unique<ModemSimProcess>(
            2, 1, QStringList{QStringLiteral("--storage"), QStringLiteral("2")});
    QVERIFY2(m_sim->start(), qPrintable(m_sim->errorString()));
}

bool TestModemSim::open(QSerialPort &port, int n)
{
    return open(port, *m_sim, n);
}

bool TestModemSim::open(QSerialPort &port, const ModemSimProcess &sim, int n)
{
    port.setPortName(QFileInfo(sim.portPath(n)).canonicalFilePath());
    if (!port.open(QIODevice::ReadWrite))
        return false;
    port.clear();
    return true;
}

QByteArray TestModemSim::listen(QSerialPort &port, int ms)
{
    QByteArray out;
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (port.waitForReadyRead(int(deadline.remainingTime())))
            out += port.readAll();
    }
    return out + port.readAll();
}

QByteArray TestModemSim::at(QSerialPort &port, const QByteArray &command, const QByteArray &text)
{
    port.write(command + '\r');
    QByteArray out;
    const QDeadlineTimer deadline(3000);
    auto finished = [&out] {
        return out.endsWith("OK\r\n") || out.endsWith("ERROR\r\n") || out.contains("ERROR: ");
    };
    bool textSent = text.isEmpty();
    while (!deadline.hasExpired()) {
        if (!textSent && out.endsWith("> ")) {
            port.write(text);
            textSent = true;
        }
        if (finished() && out.endsWith("\r\n"))
            break;
        if (port.waitForReadyRead(int(deadline.remainingTime())))
            out += port.readAll();
    }
    return out;
}

void TestModemSim::dialect_data()
{
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArray>("lastAnswer");
    QTest::newRow("echo after reset")
            << QByteArrayList{"ATZ", "AT"} << QByteArray("AT\r\r\nOK\r\n");
    QTest::newRow("echo off") << QByteArrayList{"ATZ", "ATE0", "AT"} << QByteArray("\r\nOK\r\n");
    QTest::newRow("unknown command")
            << QByteArrayList{"ATE0", "AT+FOO"} << QByteArray("\r\nERROR\r\n");
    QTest::newRow("model") << QByteArrayList{"ATE0", "AT+CGMM"}
                           << QByteArray("\r\nVelmora GSM Simulator\r\n\r\nOK\r\n");
    QTest::newRow("sim ready") << QByteArrayList{"ATE0", "AT+CPIN?"}
                               << QByteArray("\r\n+CPIN: READY\r\n\r\nOK\r\n");
    QTest::newRow("compound line") << QByteArrayList{"ATE0", "AT+CMGF=1;+CMGF?"}
                                   << QByteArray("\r\n+CMGF: 1\r\n\r\nOK\r\n");
    QTest::newRow("wrong PDU length") << QByteArrayList{"ATE0", "AT+CMGF=0", "AT+CMGS=9"}
                                      << QByteArray("\r\n> \r\n+CMS ERROR: 304\r\n");
    QTest::newRow("read an empty slot")
            << QByteArrayList{"ATE0", "AT+CMGR=1"} << QByteArray("\r\n+CMS ERROR: 321\r\n");
    QTest::newRow("storage") << QByteArrayList{"ATE0", "AT+CPMS=\"SM\",\"SM\",\"SM\""}
                             << QByteArray("\r\n+CPMS: 0,2,0,2,0,2\r\n\r\nOK\r\n");
}

void TestModemSim::dialect()
{
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArray, lastAnswer);
    QSerialPort port;
    QVERIFY(open(port, 1));
    QByteArray answer;
    for (const QByteArray &c : commands)
        answer = at(port, c, c == "AT+CMGS=9" ? QByteArray("0011000B91\x1a") : QByteArray());
    QCOMPARE(answer, lastAnswer);
}

void TestModemSim::textModeSendAndRead()
{
    QSerialPort one;
    QSerialPort two;
    QVERIFY(open(one, 1));
    QVERIFY(open(two, 2));
    QVERIFY(at(two, "ATE0").endsWith("\r\nOK\r\n"));
    at(two, "AT+CMGF=1;+CSCS=\"UCS2\";+CNMI=2,1,0,0,0");
    at(one, "ATE0");
    at(one, "AT+CMGF=1;+CSCS=\"UCS2\"");
    // "你好" to the second modem's number, everything in UCS2 hex.
    const QByteArray number = m_sim->numberOf(2).toUtf8();
    QByteArray hexNumber;
    for (char c : number)
        hexNumber += QByteArray::number(int(c), 16).rightJustified(4, '0');
    const QByteArray sent = at(one, "AT+CMGS=\"" + hexNumber + "\"", "4F60597D\x1a");
    QVERIFY2(sent.contains("+CMGS: "), sent.constData());
    QTRY_COMPARE(m_sim->status(2, QStringLiteral("stored")), 1);
    QVERIFY(two.waitForReadyRead(2000) || two.bytesAvailable() > 0);
    QVERIFY(two.readAll().contains("+CMTI: \"SM\",1"));
    const QByteArray read = at(two, "AT+CMGR=1");
    QVERIFY2(read.contains("\"REC UNREAD\",\"" + m_sim->numberOf(1).toUtf8() + "\""),
             read.constData());
    QVERIFY2(read.contains("\r\n4F60597D\r\n"), read.constData());
    QVERIFY(at(two, "AT+CMGL=\"REC READ\"").contains("+CMGL: 1,\"REC READ\""));
    QCOMPARE(m_sim->submitted(1).value(0).text, QStringLiteral("你好"));
    at(two, "AT+CMGD=1");
    at(two, "AT+CMGF=0");
}

void TestModemSim::fullStorageHoldsMessagesBack()
{
    QSerialPort port;
    QVERIFY(open(port, 1));
    at(port, "ATE0");
    at(port, "AT+CMGF=0");
    for (int i = 0; i < 3; ++i)
        QCOMPARE(m_sim->deliver(1, QStringLiteral("+8613812345678"), QStringLiteral("m%1").arg(i)),
                 1);
    QCOMPARE(m_sim->status(1, QStringLiteral("stored")), 2);
    QCOMPARE(m_sim->status(1, QStringLiteral("heldback")), 1);
    const QByteArray listed = at(port, "AT+CMGL=4");
    QCOMPARE(listed.count("+CMGL: "), 2);
    at(port, "AT+CMGD=1");
    // The network retries once a slot is free: nothing is lost.
    QCOMPARE(m_sim->status(1, QStringLiteral("stored")), 2);
    QCOMPARE(m_sim->status(1, QStringLiteral("heldback")), 0);
    const QByteArray read = at(port, "AT+CMGR=1");
    const QByteArrayList lines = read.split('\n');
    QString error;
    const auto pdu = PduDecoder::decodeHex(lines.value(3).trimmed(), &error);
    QVERIFY2(pdu, qPrintable(error + QString::fromLatin1(read)));
    QCOMPARE(pdu->userData.text, QStringLiteral("m2"));
    at(port, "AT+CMGD=0,4");
    QCOMPARE(m_sim->status(1, QStringLiteral("stored")), 0);
}

void TestModemSim::checkToolPrintsIdentityAndSends()
{
    // The operator's check tool on the gateway's driver, on a simulated modem.
    m_sim->command(QStringLiteral("clearsent 1"));
    QProcess check;
    check.start(qEnvironmentVariable("VELMORA_BUILD_DIR")
                        + QStringLiteral("/install-root/tools/velmora-modemcheck"),
                {m_sim->portPath(1), QStringLiteral("--send"), m_sim->numberOf(2),
                 QStringLiteral("checked")});
    QVERIFY(check.waitForFinished(30000));
    const QString out = QString::fromUtf8(check.readAllStandardOutput());
    QCOMPARE(check.exitCode(), 0);
    QVERIFY2(out.contains(QLatin1String("Velmora GSM Simulator")), qPrintable(out));
    QVERIFY2(out.contains(QLatin1String("860000000000001")), qPrintable(out));
    QVERIFY2(out.contains(QLatin1String("sent, reference")), qPrintable(out));
    const auto submitted = m_sim->submitted(1);
    QCOMPARE(submitted.size(), 1);
    QCOMPARE(submitted[0].text, QStringLiteral("checked"));
}

void TestModemSim::dozingModemLosesFirstCommandAndAnswersLate()
{
    ModemSimProcess sim(1, 1,
                        {QStringLiteral("--ignore-first-after"), QStringLiteral("1000"),
                         QStringLiteral("--first-answer-delay"), QStringLiteral("300")});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    QSerialPort port;
    QVERIFY(open(port, sim, 1));

    // The first command since power-on comes after a quiet spell: lost, not even echoed.
    port.write("AT\r");
    QCOMPARE(listen(port, 600), QByteArray());
    // The retry is answered (late, as the first answer since the open: the benchmarks measure
    // that; a test does not time it).
    QCOMPARE(at(port, "AT"), QByteArray("AT\r\r\nOK\r\n"));
    QCOMPARE(at(port, "ATE0"), QByteArray("ATE0\r\r\nOK\r\n"));

    // An ESC, sent alone just before it, costs the next command.
    port.write("\x1b");
    port.write("AT+CGMM\r");
    QCOMPARE(listen(port, 200), QByteArray());
    QCOMPARE(at(port, "AT+CGMM"), QByteArray("\r\nVelmora GSM Simulator\r\n\r\nOK\r\n"));

    // A quiet spell while a message is typed loses nothing; the one before the next command does.
    QVERIFY(at(port, "AT+CMGF=1").endsWith("OK\r\n"));
    port.write("AT+CMGS=\"+8613812345678\"\r");
    QVERIFY(listen(port, 1200).endsWith("> "));
    port.write("hello\x1a");
    QVERIFY(listen(port, 300).contains("+CMGS: "));
    QCOMPARE(sim.submitted(1).size(), 1);
    QTest::qWait(1200);
    port.write("AT\r");
    QCOMPARE(listen(port, 200), QByteArray());
    QCOMPARE(at(port, "AT"), QByteArray("\r\nOK\r\n"));

    // A new open of the port is answered as well.
    port.close();
    QVERIFY(open(port, sim, 1));
    QCOMPARE(at(port, "AT"), QByteArray("\r\nOK\r\n"));
}

void TestModemSim::silentModemsAndCounts()
{
    ModemSimProcess sim(4, 1, {QStringLiteral("--silent"), QStringLiteral("2-3")});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    QCOMPARE(sim.status(2, QStringLiteral("silent")), 1);
    QCOMPARE(sim.status(3, QStringLiteral("silent")), 1);
    QCOMPARE(sim.status(4, QStringLiteral("silent")), 0);
    QSerialPort mute;
    QVERIFY(open(mute, sim, 3));
    mute.write("AT\r");
    QCOMPARE(listen(mute, 400), QByteArray());

    QSerialPort talker;
    QVERIFY(open(talker, sim, 4));
    at(talker, "ATE0");
    at(talker, "AT+CMGF=1");
    for (int i = 0; i < 2; ++i)
        QVERIFY(at(talker, "AT+CMGS=\"+8613812345678\"", "hi\x1a").contains("+CMGS: "));
    const ModemSimProcess::Reply counts = sim.command(QStringLiteral("counts"));
    QVERIFY(counts.ok);
    QCOMPARE(counts.data, QStringList({"1 0", "2 0", "3 0", "4 2"}));
}

void TestModemSim::badHabitOptionsAreRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("range backwards") << QStringList{"--silent", "3-2"};
    QTest::newRow("not a port") << QStringList{"--silent", "2,x"};
    QTest::newRow("no such modem") << QStringList{"--silent", "5"};
    QTest::newRow("negative quiet spell") << QStringList{"--ignore-first-after", "-1"};
    QTest::newRow("delay not a number") << QStringList{"--first-answer-delay", "soon"};
}

void TestModemSim::badHabitOptionsAreRefused()
{
    QFETCH(QStringList, arguments);
    QTemporaryDir dir;
    QProcess sim;
    sim.start(ModemSimProcess::program(),
              QStringList{"--ports", dir.path(), "--count", "4"} + arguments);
    QVERIFY(sim.waitForFinished(10000));
    QVERIFY(sim.exitCode() != 0);
    QVERIFY2(!sim.readAllStandardOutput().startsWith("ready"), "started anyway");
    // No link is left behind pointing at a terminal nobody serves.
    QVERIFY(!QFileInfo(dir.filePath(QStringLiteral("com1"))).isSymLink());
}

QTEST_GUILESS_MAIN(TestModemSim)
#include "tst_modemsim.moc"
