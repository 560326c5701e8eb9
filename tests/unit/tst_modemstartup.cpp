#include "at/atchannel.h"
#include "modemstartup.h"
#include "scriptedmodemdevice.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

// Bringing a modem into use over a scripted line: the commands and their order, the modems
// that answer late or not at all, a SIM still starting, and an open given up half-way.
class TestModemStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void opensInOrderAndReadsWhoItIs();
    void modemDroppingTheFirstCommandAfterEscapeOpens();
    void silentLineIsNoAnswer();
    void simBusyIsWaitedFor();
    void refusedEchoOffRefusesTheOpen();
    void indicationsFallBack_data();
    void indicationsFallBack();
    void givenUpHalfWaySaysNothingMore();
};

namespace {

// One startup on one line, with the channel a session would give it.
struct Opening
{
    explicit Opening(ScriptedModemDevice &line, const ModemSettings &settings)
        : startup(std::make_unique<ModemStartup>(&line, settings, [this, &line] {
              channel = std::make_unique<AtChannel>(&line);
              return channel.get();
          }))
    {
        QObject::connect(startup.get(), &ModemStartup::finished, startup.get(), [this](bool ok) {
            ++ends;
            succeeded = ok;
        });
    }

    bool run(int ms = 5000)
    {
        startup->start();
        return QTest::qWaitFor([this] { return ends > 0; }, ms);
    }

    std::unique_ptr<AtChannel> channel;
    std::unique_ptr<ModemStartup> startup;
    int ends = 0;
    bool succeeded = false;
};

ModemSettings quickSettings()
{
    ModemSettings s;
    s.portName = QStringLiteral("/dev/ttyTEST0");
    s.commandMs = 1000;
    s.probeMs = 2000;
    s.simBusyMs = 5000;
    return s;
}

} // namespace

void TestModemStartup::opensInOrderAndReadsWhoItIs()
{
    ScriptedModemDevice line;
    Opening o(line, quickSettings());
    QVERIFY(o.run());
    QVERIFY(o.succeeded);
    const QByteArrayList expected{"AT",
                                  "ATE0",
                                  "AT+CMEE=1",
                                  "AT+CPIN?",
                                  "AT+CMGF=0",
                                  "AT+CPMS=\"ME\"",
                                  "AT+CPMS=\"SM\",\"SM\",\"SM\"",
                                  "AT+CSMS?",
                                  "AT+CNMI=2,1,0,0,0",
                                  "AT+CLIP=1",
                                  "AT+CREG=1",
                                  "AT+CGMI",
                                  "AT+CGMM",
                                  "AT+CGMR",
                                  "AT+CGSN",
                                  "AT+CIMI",
                                  "AT+CNUM"};
    QCOMPARE(line.commands, expected);
    // The ESC before anything else leaves a text entry an earlier program left open.
    QCOMPARE(line.escapes, 1);
    const ModemIdentity &id = o.startup->identity();
    QCOMPARE(id.manufacturer, QStringLiteral("Scripted"));
    QCOMPARE(id.model, QStringLiteral("Line Modem 1"));
    QCOMPARE(id.imei, QStringLiteral("860000000000042"));
    QCOMPARE(id.imsi, QStringLiteral("460001234567890"));
    QCOMPARE(id.ownNumber, QStringLiteral("+8613900000042"));
    QCOMPARE(o.startup->storage().readMemory, QByteArray("SM"));
    QVERIFY(o.startup->storage().meUsable);
    QVERIFY(!o.startup->storage().ackDirect);
    QCOMPARE(o.startup->settings().indicationMode, 2);
}

void TestModemStartup::modemDroppingTheFirstCommandAfterEscapeOpens()
{
    ScriptedModemDevice line;
    line.setIgnoresFirstAfterEscape(true);
    Opening o(line, quickSettings());
    QVERIFY(o.run());
    QVERIFY(o.succeeded);
    // The ESC of the drain and the one after the first time-out each cost an AT.
    QCOMPARE(line.escapes, 2);
    QCOMPARE(line.commands.mid(0, 4), (QByteArrayList{"AT", "AT", "AT", "ATE0"}));
    QCOMPARE(line.commands.last(), QByteArray("AT+CNUM"));
}

void TestModemStartup::silentLineIsNoAnswer()
{
    ScriptedModemDevice line;
    line.setSilent(true);
    ModemSettings s = quickSettings();
    s.probeMs = 900;
    Opening o(line, s);
    QVERIFY(o.run());
    QVERIFY(!o.succeeded);
    QCOMPARE(o.startup->openError(), ModemOpenError::NoAnswer);
    QCOMPARE(o.startup->reason(), QStringLiteral("/dev/ttyTEST0上没有短信猫应答"));
    QVERIFY(o.startup->errorString().contains(QLatin1String("no modem answers")));
    QVERIFY(line.commands.size() >= 2);
    QCOMPARE(line.commands.count("AT"), line.commands.size());
}

void TestModemStartup::simBusyIsWaitedFor()
{
    ScriptedModemDevice line;
    line.answerNext("AT+CPIN?", "+CME ERROR: 14");
    Opening o(line, quickSettings());
    QVERIFY(o.run());
    QVERIFY(o.succeeded);
    QCOMPARE(line.commands.count("AT+CPIN?"), 2);

    // ... but not for ever.
    ScriptedModemDevice busy;
    busy.answer("AT+CPIN?", "+CME ERROR: 14");
    ModemSettings s = quickSettings();
    s.simBusyMs = 500;
    Opening stuck(busy, s);
    QVERIFY(stuck.run());
    QVERIFY(!stuck.succeeded);
    QCOMPARE(stuck.startup->openError(), ModemOpenError::Refused);
    QCOMPARE(stuck.startup->reason(), QStringLiteral("SIM卡开机后一直忙"));
    QVERIFY(!busy.commands.contains("AT+CMGF=0"));
}

void TestModemStartup::refusedEchoOffRefusesTheOpen()
{
    ScriptedModemDevice line;
    line.answer("ATE0", "ERROR");
    Opening o(line, quickSettings());
    QVERIFY(o.run());
    QVERIFY(!o.succeeded);
    QCOMPARE(o.startup->openError(), ModemOpenError::Refused);
    QVERIFY2(o.startup->reason().startsWith(QStringLiteral("短信猫拒绝ATE0")),
             qPrintable(o.startup->reason()));
    QCOMPARE(line.commands.last(), QByteArray("ATE0"));
}

void TestModemStartup::indicationsFallBack_data()
{
    QTest::addColumn<QByteArrayList>("refused");
    QTest::addColumn<QByteArrayList>("tried");
    QTest::addColumn<int>("mode");
    QTest::newRow("reports stored instead of routed")
            << QByteArrayList{"AT+CNMI=2,1,0,1,0"}
            << QByteArrayList{"AT+CNMI=2,1,0,1,0", "AT+CNMI=2,1,0,2,0"} << 2;
    QTest::newRow("only the bare form")
            << QByteArrayList{"AT+CNMI=2,1,0,1,0", "AT+CNMI=2,1,0,2,0"}
            << QByteArrayList{"AT+CNMI=2,1,0,1,0", "AT+CNMI=2,1,0,2,0", "AT+CNMI=2,1"} << 2;
    QTest::newRow("none: storage is polled")
            << QByteArrayList{"AT+CNMI=2,1,0,1,0", "AT+CNMI=2,1,0,2,0", "AT+CNMI=2,1"}
            << QByteArrayList{"AT+CNMI=2,1,0,1,0", "AT+CNMI=2,1,0,2,0", "AT+CNMI=2,1"} << 0;
}

void TestModemStartup::indicationsFallBack()
{
    QFETCH(QByteArrayList, refused);
    QFETCH(QByteArrayList, tried);
    QFETCH(int, mode);
    ScriptedModemDevice line;
    for (const QByteArray &command : std::as_const(refused))
        line.answer(command, "ERROR");
    ModemSettings s = quickSettings();
    s.statusReports = true;
    Opening o(line, s);
    QVERIFY(o.run());
    QVERIFY(o.succeeded);
    QByteArrayList cnmi;
    for (const QByteArray &command : std::as_const(line.commands)) {
        if (command.startsWith("AT+CNMI"))
            cnmi.append(command);
    }
    QCOMPARE(cnmi, tried);
    QCOMPARE(o.startup->settings().indicationMode, mode);
    // The rest of the initialisation goes on either way.
    QCOMPARE(line.commands.last(), QByteArray("AT+CNUM"));
}

void TestModemStartup::givenUpHalfWaySaysNothingMore()
{
    // Given up while the SIM is waited for, and while a command is on the line: no further
    // command goes out, and the answers the channel still ends reach nobody.
    for (const bool duringCommand : {false, true}) {
        ScriptedModemDevice line;
        line.answerNext("AT+CPIN?", duringCommand ? QByteArray() : QByteArray("+CME ERROR: 14"));
        Opening o(line, quickSettings());
        o.startup->start();
        QTRY_VERIFY(line.commands.contains("AT+CPIN?"));
        QTest::qWait(50);
        o.startup.reset();
        const qsizetype written = line.commands.size();
        o.channel->abortAll();
        QTest::qWait(1300);
        QCOMPARE(line.commands.size(), written);
        QCOMPARE(o.ends, 0);
    }
}

QTEST_GUILESS_MAIN(TestModemStartup)
#include "tst_modemstartup.moc"
