#include "at/atchannel.h"
#include "fakeserialdevice.h"
#include "manualclock.h"
#include "modemhealth.h"
#include "modeminbox.h"
#include "modemsender.h"

#include <QSignalSpy>
#include <QTest>

// The parts of the driver, each on an AT channel over a scripted line: what it writes, and
// what it makes of what the modem says.
class TestAtModemParts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void partAnsweredEndsWithItsReference();
    void closeBeforeThePromptNeverReachedTheModem_data();
    void closeBeforeThePromptNeverReachedTheModem();
    void closeAfterTheTextIsNoFailure_data();
    void closeAfterTheTextIsNoFailure();
    void closeBetweenPartsIsNoFailure();
    void restartAfterTheTextLeavesNoResult();
    void refusalRetriedOnceThenSaysWhy();
    void healthReadingsDoNotPileUp();
    void lostDeviceForgetsItsHealth();
    void storedMessageReadAndReleased();

private:
    void prompt();

    ModemSettings m_settings;
    std::unique_ptr<FakeSerialDevice> m_line;
    std::unique_ptr<AtChannel> m_channel;
};

namespace {

// An SMS-DELIVER of "hellohello".
const QByteArray Deliver =
        "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37";

} // namespace

void TestAtModemParts::init()
{
    m_settings = ModemSettings();
    m_settings.commandMs = 1000;
    m_settings.sendPartMs = 5000;
    m_settings.refusalRetryMs = 10;
    m_line = std::make_unique<FakeSerialDevice>();
    m_channel = std::make_unique<AtChannel>(m_line.get());
}

void TestAtModemParts::cleanup()
{
    m_channel.reset();
    m_line.reset();
}

void TestAtModemParts::prompt()
{
    QVERIFY(m_line->takeWritten().startsWith("AT+CMGS="));
    m_line->inject("\r\n> ");
    QVERIFY(m_line->takeWritten().endsWith('\x1a'));
}

void TestAtModemParts::partAnsweredEndsWithItsReference()
{
    ModemSender sender(m_settings);
    sender.attach(m_channel.get());
    QSignalSpy finished(&sender, &ModemSender::sendFinished);
    QVERIFY(sender.send(QStringLiteral("13912345678"), QStringLiteral("hi")));
    QVERIFY(!sender.send(QStringLiteral("13912345678"), QStringLiteral("second")));
    prompt();
    m_line->inject("\r\n+CMGS: 7\r\n\r\nOK\r\n");
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toBool(), true);
    QCOMPARE(finished[0][1].toInt(), 7);
}

void TestAtModemParts::closeBeforeThePromptNeverReachedTheModem_data()
{
    QTest::addColumn<int>("ending");
    QTest::newRow("close") << int(ModemSender::Ending::Close);
    QTest::newRow("restart") << int(ModemSender::Ending::Restart);
}

void TestAtModemParts::closeBeforeThePromptNeverReachedTheModem()
{
    QFETCH(int, ending);
    ModemSender sender(m_settings);
    sender.attach(m_channel.get());
    QSignalSpy finished(&sender, &ModemSender::sendFinished);
    QVERIFY(sender.send(QStringLiteral("13912345678"), QStringLiteral("hi")));
    QVERIFY(m_line->takeWritten().startsWith("AT+CMGS="));
    sender.detach(ModemSender::Ending(ending), false);
    m_channel->abortAll();
    sender.ended();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toBool(), false);
    QVERIFY(sender.lastNeverReachedModem());

    // The text still in the port when it closed never reached the modem either.
    sender.attach(m_channel.get());
    QVERIFY(sender.send(QStringLiteral("13912345678"), QStringLiteral("hi")));
    prompt();
    sender.detach(ModemSender::Ending::Close, true);
    m_channel->abortAll();
    sender.ended();
    QCOMPARE(finished.size(), 2);
    QCOMPARE(finished[1][0].toBool(), false);
    QVERIFY(sender.lastNeverReachedModem());
}

void TestAtModemParts::closeAfterTheTextIsNoFailure_data()
{
    QTest::addColumn<int>("ending");
    QTest::newRow("closed") << int(ModemSender::Ending::Close);
    QTest::newRow("port gone") << int(ModemSender::Ending::Gone);
}

void TestAtModemParts::closeAfterTheTextIsNoFailure()
{
    // The modem had the text: whether it went is not known, and a failure would have the
    // caller send it again.
    QFETCH(int, ending);
    ModemSender sender(m_settings);
    sender.attach(m_channel.get());
    QSignalSpy finished(&sender, &ModemSender::sendFinished);
    QVERIFY(sender.send(QStringLiteral("13912345678"), QStringLiteral("hi")));
    prompt();
    sender.detach(ModemSender::Ending(ending), false);
    m_channel->abortAll();
    sender.ended();
    QCOMPARE(finished.size(), 0);
    QVERIFY(!sender.isSending());

    // Its reference came and the port closed before the OK: it went.
    sender.attach(m_channel.get());
    QVERIFY(sender.send(QStringLiteral("13912345678"), QStringLiteral("hi")));
    prompt();
    m_line->inject("\r\n+CMGS: 12\r\n");
    sender.detach(ModemSender::Ending(ending), false);
    m_channel->abortAll();
    sender.ended();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toBool(), true);
    QCOMPARE(finished[0][1].toInt(), 12);
    QCOMPARE(sender.lastReference(), 12);
}

void TestAtModemParts::closeBetweenPartsIsNoFailure()
{
    // Both parts of a long message had their references when the port closed: it went.
    ModemSender sender(m_settings);
    sender.attach(m_channel.get());
    QSignalSpy finished(&sender, &ModemSender::sendFinished);
    QVERIFY(sender.send(QStringLiteral("13912345678"), QString(200, QLatin1Char('x'))));
    prompt();
    m_line->inject("\r\n+CMGS: 3\r\n\r\nOK\r\n");
    prompt();
    m_line->inject("\r\n+CMGS: 4\r\n");
    sender.detach(ModemSender::Ending::Close, false);
    m_channel->abortAll();
    sender.ended();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toBool(), true);
    QCOMPARE(finished[0][1].toInt(), 4);

    // Only the first had: the message is neither sent nor safe to send again.
    sender.attach(m_channel.get());
    QVERIFY(sender.send(QStringLiteral("13912345678"), QString(200, QLatin1Char('y'))));
    prompt();
    m_line->inject("\r\n+CMGS: 5\r\n\r\nOK\r\n");
    prompt();
    sender.detach(ModemSender::Ending::Close, false);
    m_channel->abortAll();
    sender.ended();
    QCOMPARE(finished.size(), 1);
    QVERIFY(!sender.isSending());
}

void TestAtModemParts::restartAfterTheTextLeavesNoResult()
{
    // The modem had the text and restarted before it answered: it may have gone.
    ModemSender sender(m_settings);
    sender.attach(m_channel.get());
    QSignalSpy finished(&sender, &ModemSender::sendFinished);
    QVERIFY(sender.send(QStringLiteral("13912345678"), QStringLiteral("hi")));
    prompt();
    sender.detach(ModemSender::Ending::Restart, false);
    m_channel->abortAll();
    sender.ended();
    QCOMPARE(finished.size(), 0);
    QVERIFY(!sender.isSending());
}

void TestAtModemParts::refusalRetriedOnceThenSaysWhy()
{
    ModemSender sender(m_settings);
    sender.attach(m_channel.get());
    QSignalSpy finished(&sender, &ModemSender::sendFinished);
    QVERIFY(sender.send(QStringLiteral("13912345678"), QStringLiteral("hi")));
    prompt();
    m_line->inject("\r\n+CMS ERROR: 42\r\n");
    QCOMPARE(finished.size(), 0);
    QByteArray written;
    QTRY_VERIFY((written += m_line->takeWritten()).startsWith("AT+CMGS="));
    m_line->inject("\r\n> ");
    m_line->inject("\r\n+CMS ERROR: 42\r\n");
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][2].toString(), QStringLiteral("+CMS ERROR: 42"));
    QCOMPARE(sender.lastFailure(), QStringLiteral("+CMS ERROR: 42（网络拥塞）"));
    QVERIFY(!sender.lastNeverReachedModem());
}

void TestAtModemParts::healthReadingsDoNotPileUp()
{
    // Asked at every tick, also while the modem is busy with something else.
    ModemHealth health(m_settings);
    health.attach(m_channel.get());
    AtCommand busy;
    busy.text = "AT+CMGL=4";
    busy.timeoutMs = 5000;
    m_channel->send(busy);
    health.refresh();
    health.refresh();
    QCOMPARE(m_channel->queued(), 3);
    m_line->inject("\r\nOK\r\n");
    m_line->inject("\r\n+CSQ: 17,99\r\n\r\nOK\r\n");
    m_line->inject("\r\n+CREG: 1,5\r\n\r\nOK\r\n");
    QCOMPARE(health.status().signal, QStringLiteral("17,99"));
    QCOMPARE(health.status().registration, QStringLiteral("5"));
    health.refresh();
    QCOMPARE(m_channel->queued(), 2);
}

void TestAtModemParts::lostDeviceForgetsItsHealth()
{
    ModemHealth health(m_settings);
    health.attach(m_channel.get());
    health.onRegistrationReport("+CREG: 1");
    QSignalSpy changed(&health, &ModemHealth::healthChanged);
    health.detach();
    QCOMPARE(changed.size(), 1);
    QVERIFY(health.status().registration.isEmpty());
    health.detach();
    QCOMPARE(changed.size(), 1);
}

void TestAtModemParts::storedMessageReadAndReleased()
{
    ManualClock clock;
    ModemInbox inbox(m_settings, clock);
    QSignalSpy available(&inbox, &ModemInbox::messageAvailable);
    inbox.attach(m_channel.get(), ModemStorage{"SM", "SM", false, false});
    QCOMPARE(m_line->takeWritten(), QByteArray("AT+CMGL=4\r"));
    m_line->inject("\r\nOK\r\n");
    inbox.onStored("SM", 3);
    QCOMPARE(m_line->takeWritten(), QByteArray("AT+CMGR=3\r"));
    m_line->inject("\r\n+CMGR: 0,,22\r\n" + Deliver + "\r\n\r\nOK\r\n");
    QCOMPARE(available.size(), 1);
    const ReceivedMessage m = inbox.takeMessage();
    QCOMPARE(m.text, QStringLiteral("hellohello"));
    QCOMPARE(m.storageIndexes, QList<int>{3});
    bool done = false;
    inbox.release(m, [&done] { done = true; });
    QCOMPARE(m_line->takeWritten(), QByteArray("AT+CMGD=3\r"));
    QVERIFY(!done);
    m_line->inject("\r\nOK\r\n");
    QVERIFY(done);
}

QTEST_GUILESS_MAIN(TestAtModemParts)
#include "tst_atmodemparts.moc"
