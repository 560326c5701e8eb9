#include "at/atchannel.h"
#include "fakeserialdevice.h"
#include "scriptedmodemdevice.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <map>

// Plays recorded modem transcripts (tests/data/at/*.txt) against AtChannel. Directives:
//   send <command> [plain] [pdu] [prefix=P]... [payload=HEX] [timeout=MS]
//   modem <bytes>          the modem says this (\r \n \xHH escapes)
//   wrote <bytes>          the driver has written exactly this since the last check
//   wait <ms>              time passes
//   result <n> ok|error|timeout|closed [code=N] [line|line...]
//   pending <n>            command n has no result yet
//   urcs [a|b...]          the unsolicited codes since the last check (text, "/pdu" for +CMT)
//   cms-errors [n|m...]    the +CMS ERROR codes reported since the last check
//   resync-timeout <ms>    how long the AT after a time-out waits for its answer
//   wake-after <ms>        the quiet after which a bare AT goes before the next command
//   lost                   the channel has given the modem up after time-outs in a row
class TestAtChannel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void transcript_data();
    void transcript();
    void callbackMayQueueAndClose();
    void dozingModemAnswersCommandAfterQuiet();
    void awakeModemGetsEveryCommandOnce();
    void slowPromptGetsTextWithoutWakeUp();
    void timedOutMessageIsNeverWrittenAgain();
};

namespace {

QByteArray unescape(const QByteArray &s)
{
    QByteArray out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out.append(s[i]);
            continue;
        }
        const char c = s[++i];
        if (c == 'r')
            out.append('\r');
        else if (c == 'n')
            out.append('\n');
        else if (c == 'x' && i + 2 < s.size() + 1) {
            out.append(char(s.mid(i + 1, 2).toInt(nullptr, 16)));
            i += 2;
        } else
            out.append(c);
    }
    return out;
}

QString statusName(AtResult::Status s)
{
    switch (s) {
    case AtResult::Status::Ok:
        return QStringLiteral("ok");
    case AtResult::Status::Error:
        return QStringLiteral("error");
    case AtResult::Status::Timeout:
        return QStringLiteral("timeout");
    case AtResult::Status::Closed:
        break;
    }
    return QStringLiteral("closed");
}

// The modem dozes after this long without input; the channel wakes it after a shorter quiet.
constexpr int DozeMs = 400;
constexpr int WakeMs = 300;
// A message part as the sender writes it, and its command.
const QByteArray Pdu = "0011000B813108108300F00008AA044F60597D";
const QByteArray Cmgs = "AT+CMGS=18";

AtCommand query(const QByteArray &text, const QByteArray &prefix)
{
    return {text, {prefix}, false, {}, 1000, false};
}

AtCommand message(int timeoutMs = 2000)
{
    return {Cmgs, {"+CMGS:"}, false, Pdu, timeoutMs, false};
}

} // namespace

void TestAtChannel::transcript_data()
{
    QTest::addColumn<QString>("path");
    const QDir dir(qEnvironmentVariable("VELMORA_SOURCE_DIR") + QStringLiteral("/tests/data/at"));
    const QStringList files = dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
    QVERIFY(!files.isEmpty());
    for (const QString &f : files)
        QTest::newRow(qPrintable(f)) << dir.filePath(f);
}

void TestAtChannel::transcript()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    FakeSerialDevice device;
    AtChannel channel(&device);
    std::map<int, AtResult> results;
    QByteArrayList urcs;
    connect(&channel, &AtChannel::unsolicited, this,
            [&](const AtResponse::Line &line, const QByteArray &pdu) {
                urcs.append(pdu.isEmpty() ? line.text : line.text + '/' + pdu);
            });
    QStringList cmsErrors;
    connect(&channel, &AtChannel::cmsError, this,
            [&](int code) { cmsErrors.append(QString::number(code)); });
    int sent = 0;
    int lineNo = 0;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        ++lineNo;
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype space = line.indexOf(' ');
        const QByteArray verb = space < 0 ? line : line.left(space);
        const QByteArray rest = space < 0 ? QByteArray() : line.mid(space + 1);
        const QByteArray where = path.toUtf8() + ':' + QByteArray::number(lineNo);
        if (verb == "send") {
            const QByteArrayList words = rest.split(' ');
            AtCommand c;
            c.text = words[0];
            for (const QByteArray &w : words.mid(1)) {
                if (w == "plain")
                    c.plainLines = true;
                else if (w == "pdu")
                    c.pduAfterLine = true;
                else if (w.startsWith("prefix="))
                    c.prefixes.append(w.mid(7));
                else if (w.startsWith("payload="))
                    c.payload = w.mid(8);
                else if (w.startsWith("timeout="))
                    c.timeoutMs = w.mid(8).toInt();
            }
            const int n = ++sent;
            channel.send(c, [&results, n](const AtResult &r) { results[n] = r; });
        } else if (verb == "modem") {
            device.inject(unescape(rest));
        } else if (verb == "wrote") {
            QCOMPARE(device.takeWritten(), unescape(rest));
        } else if (verb == "wait") {
            QTest::qWait(rest.toInt());
        } else if (verb == "pending") {
            QVERIFY2(!results.count(rest.toInt()), where.constData());
        } else if (verb == "result") {
            const QByteArrayList words = rest.split(' ');
            const int n = words[0].toInt();
            QVERIFY2(results.count(n), where.constData());
            const AtResult &r = results[n];
            QCOMPARE(statusName(r.status), QString::fromLatin1(words.value(1)));
            QByteArray expectedLines;
            for (const QByteArray &w : words.mid(2)) {
                if (w.startsWith("code="))
                    QCOMPARE(r.errorCode, w.mid(5).toInt());
                else
                    expectedLines += (expectedLines.isEmpty() ? "" : " ") + w;
            }
            if (!expectedLines.isEmpty() || r.status == AtResult::Status::Ok)
                QCOMPARE(r.lines.join('|'), expectedLines);
        } else if (verb == "resync-timeout") {
            channel.setResyncTimeout(rest.toInt());
        } else if (verb == "wake-after") {
            channel.setWakeAfterQuiet(rest.toInt());
        } else if (verb == "lost") {
            QVERIFY2(channel.isLost(), where.constData());
        } else if (verb == "urcs") {
            QCOMPARE(urcs.join('|'), rest);
            urcs.clear();
        } else if (verb == "cms-errors") {
            QCOMPARE(cmsErrors.join(QLatin1Char('|')), QString::fromLatin1(rest));
            cmsErrors.clear();
        } else {
            QFAIL(qPrintable(
                    QStringLiteral("unknown directive at %1").arg(QString::fromUtf8(where))));
        }
    }
}

void TestAtChannel::callbackMayQueueAndClose()
{
    // The send-result handler of the gateway sends the next message from inside the callback;
    // a close from inside a callback ends what is queued without touching freed state.
    FakeSerialDevice device;
    AtChannel channel(&device);
    QStringList order;
    channel.send({"AT+A", {}, false, {}, 1000, false}, [&](const AtResult &) {
        order.append(QStringLiteral("A"));
        channel.send({"AT+C", {}, false, {}, 1000, false}, [&](const AtResult &r) {
            order.append(QStringLiteral("C ") + statusName(r.status));
        });
    });
    channel.send({"AT+B", {}, false, {}, 1000, false}, [&](const AtResult &) {
        order.append(QStringLiteral("B"));
        channel.abortAll();
    });
    device.inject("\r\nOK\r\n");
    QCOMPARE(device.takeWritten(), QByteArray("AT+A\rAT+B\r"));
    device.inject("\r\nOK\r\n\r\nOK\r\n");
    QCOMPARE(order,
             QStringList({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C closed")}));
    QVERIFY(channel.isIdle());
    QCOMPARE(device.takeWritten(), QByteArray());
}

void TestAtChannel::dozingModemAnswersCommandAfterQuiet()
{
    ScriptedModemDevice line;
    line.setDozesAfterQuiet(DozeMs);
    line.answer("AT+CSQ", "+CSQ: 18,99\r\n\r\nOK");
    line.answer("AT+CREG?", "+CREG: 1,1\r\n\r\nOK");
    line.answer(Cmgs, "> ");
    AtChannel channel(&line);
    channel.setWakeAfterQuiet(WakeMs);
    QTest::qWait(DozeMs + 100);

    std::optional<AtResult> signal;
    std::optional<AtResult> registration;
    channel.send(query("AT+CSQ", "+CSQ:"), [&](const AtResult &r) { signal = r; });
    channel.send(query("AT+CREG?", "+CREG:"), [&](const AtResult &r) { registration = r; });
    QTRY_VERIFY(registration.has_value());
    QVERIFY(signal->ok());
    QCOMPARE(signal->lines, QByteArrayList{"+CSQ: 18,99"});
    QVERIFY(registration->ok());
    // The wake-up went unanswered, the AT after it was answered; the second query follows the
    // first straight away, with no wake-up of its own.
    QCOMPARE(line.commands, QByteArrayList({"AT", "AT", "AT+CSQ", "AT+CREG?"}));
    QCOMPARE(channel.consecutiveTimeouts(), 0);

    // A message after the next quiet spell goes once, with its text right after the prompt.
    line.commands.clear();
    QTest::qWait(DozeMs + 100);
    std::optional<AtResult> sent;
    channel.send(message(), [&](const AtResult &r) { sent = r; });
    QTRY_VERIFY(sent.has_value());
    QVERIFY(sent->ok());
    QCOMPARE(sent->lines, QByteArrayList{"+CMGS: 7"});
    QCOMPARE(line.commands, QByteArrayList({"AT", "AT", Cmgs, Pdu}));
    QVERIFY(!channel.isLost());
}

void TestAtChannel::awakeModemGetsEveryCommandOnce()
{
    // A modem that does not doze answers the wake-up: one AT, then each command exactly once,
    // and the wake-up's OK is not taken for the command's.
    ScriptedModemDevice line;
    line.answer("AT+CSQ", "+CSQ: 18,99\r\n\r\nOK");
    line.answer(Cmgs, "> ");
    AtChannel channel(&line);
    channel.setWakeAfterQuiet(WakeMs);
    QTest::qWait(WakeMs + 50);
    std::optional<AtResult> signal;
    std::optional<AtResult> sent;
    channel.send(query("AT+CSQ", "+CSQ:"), [&](const AtResult &r) { signal = r; });
    channel.send(message(), [&](const AtResult &r) { sent = r; });
    QTRY_VERIFY(sent.has_value());
    QCOMPARE(signal->lines, QByteArrayList{"+CSQ: 18,99"});
    QCOMPARE(sent->lines, QByteArrayList{"+CMGS: 7"});
    QCOMPARE(line.commands, QByteArrayList({"AT", "AT+CSQ", Cmgs, Pdu}));

    // Off, nothing precedes a command after a quiet spell.
    line.commands.clear();
    channel.setWakeAfterQuiet(0);
    QTest::qWait(WakeMs + 50);
    signal.reset();
    channel.send(query("AT+CSQ", "+CSQ:"), [&](const AtResult &r) { signal = r; });
    QTRY_VERIFY(signal.has_value());
    QCOMPARE(line.commands, QByteArrayList{"AT+CSQ"});
}

void TestAtChannel::slowPromptGetsTextWithoutWakeUp()
{
    // The prompt comes after the line has been quiet long enough for a wake-up: the modem is
    // taking text then, where an AT would become part of the message.
    ScriptedModemDevice line;
    line.setDozesAfterQuiet(DozeMs);
    line.answer(Cmgs, "> ");
    line.delayAnswer(Cmgs, DozeMs + 100);
    AtChannel channel(&line);
    channel.setWakeAfterQuiet(WakeMs);
    std::optional<AtResult> sent;
    channel.send(message(), [&](const AtResult &r) { sent = r; });
    QTRY_VERIFY(sent.has_value());
    QVERIFY(sent->ok());
    QCOMPARE(line.commands, QByteArrayList({Cmgs, Pdu}));
}

void TestAtChannel::timedOutMessageIsNeverWrittenAgain()
{
    // The modem takes the text and never answers: the part times out and is cancelled with ESC,
    // after which this modem loses the next command. The wake-up absorbs that; the message is
    // written once, and the command behind it is answered.
    ScriptedModemDevice line;
    line.setDozesAfterQuiet(DozeMs);
    line.answer(Cmgs, "> ");
    line.answerText({});
    line.answer("AT+CSQ", "+CSQ: 18,99\r\n\r\nOK");
    AtChannel channel(&line);
    channel.setWakeAfterQuiet(WakeMs);
    channel.setResyncTimeout(500);
    std::optional<AtResult> sent;
    std::optional<AtResult> signal;
    QByteArrayList late{"none"};
    connect(&channel, &AtChannel::resynchronised, this,
            [&](const QByteArrayList &lines) { late = lines; });
    channel.send(message(100), [&](const AtResult &r) { sent = r; });
    channel.send(query("AT+CSQ", "+CSQ:"), [&](const AtResult &r) { signal = r; });
    QTRY_VERIFY(signal.has_value());
    QCOMPARE(sent->status, AtResult::Status::Timeout);
    QVERIFY(sent->payloadWritten);
    QVERIFY(signal->ok());
    QCOMPARE(late, QByteArrayList());
    QCOMPARE(line.escapes, 1);
    QCOMPARE(line.commands, QByteArrayList({Cmgs, Pdu, "AT", "AT", "AT+CSQ"}));
    // Only the part's own time-out counts: the modem answered after it.
    QCOMPARE(channel.consecutiveTimeouts(), 0);
    QVERIFY(!channel.isLost());
}

QTEST_GUILESS_MAIN(TestAtChannel)
#include "tst_atchannel.moc"
