#include "tst_smscontrol.h"

#include "at/atchannel.h"

#include <QFileInfo>

#include <optional>

using namespace SmsControlTest;

namespace {

// Modems that lose the first command after a second without input, and answer late after
// each open of their port.
QStringList dozing()
{
    return {QStringLiteral("--ignore-first-after"), QStringLiteral("1000"),
            QStringLiteral("--first-answer-delay"), QStringLiteral("300")};
}

// Points the controls at another simulator for the length of one test.
class PortsDirOverride
{
public:
    explicit PortsDirOverride(const QString &dir) : m_old(qgetenv("VELMORA_PORTS_DIR"))
    {
        qputenv("VELMORA_PORTS_DIR", dir.toUtf8());
    }
    ~PortsDirOverride() { qputenv("VELMORA_PORTS_DIR", m_old); }

private:
    QByteArray m_old;
};

} // namespace

void TestSmsControl::dozingModemSendsAfterIdle()
{
    ModemSimProcess sim(1, 1, dozing());
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const PortsDirOverride ports(sim.portsDir());
    SmsControl c;
    configure(c, 1);
    QCOMPARE(c.OpenComm(), short(0));
    QSignalSpy sent(&c, &ModemControl::OnSndMsg);

    for (const QString &text : {QStringLiteral("after a nap"), QStringLiteral("and another")}) {
        QTest::qWait(2000);
        QVERIFY(c.SendMSG(QStringLiteral("13912345678"), text) >= 1);
        // Well within the part's own time-out: the command after the quiet spell was not lost.
        QVERIFY(sent.wait(8000));
        QVERIFY(c.GetIndexOfLastSnd() >= 1);
    }
    const auto submitted = sim.submitted(1);
    QCOMPARE(submitted.size(), 2);
    QCOMPARE(submitted[0].text, QStringLiteral("after a nap"));
    QCOMPARE(submitted[1].text, QStringLiteral("and another"));
    QString model;
    QVERIFY(c.GetInfo(2, model));
}

void TestSmsControl::dozingModemAnswersHealthReadsAfterIdle()
{
    // The channel the driver talks through, on the simulator's line: the reads of the modem's
    // health after a quiet spell get their answers, not a time-out.
    ModemSimProcess sim(1, 1, dozing());
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    QSerialPort port;
    port.setPortName(QFileInfo(sim.portPath(1)).canonicalFilePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    AtChannel channel(&port);
    channel.setResyncTimeout(3000);
    for (int round = 0; round < 2; ++round) {
        QTest::qWait(2000);
        std::optional<AtResult> signal;
        std::optional<AtResult> registration;
        channel.send({"AT+CSQ", {"+CSQ:"}, false, {}, 3000, false},
                     [&](const AtResult &r) { signal = r; });
        channel.send({"AT+CREG?", {"+CREG:"}, false, {}, 3000, false},
                     [&](const AtResult &r) { registration = r; });
        QTRY_VERIFY_WITH_TIMEOUT(registration.has_value(), 8000);
        QVERIFY2(signal->ok(), qPrintable(signal->errorString()));
        QCOMPARE(signal->lines.size(), 1);
        QVERIFY(signal->lines[0].startsWith("+CSQ: "));
        QVERIFY2(registration->ok(), qPrintable(registration->errorString()));
        QCOMPARE(registration->lines.size(), 1);
        QCOMPARE(channel.consecutiveTimeouts(), 0);
    }
}
