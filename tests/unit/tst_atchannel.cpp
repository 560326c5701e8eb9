#include "at/atchannel.h"
#include "fakeserialdevice.h"

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
//   lost                   the channel has given the modem up after time-outs in a row
class TestAtChannel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void transcript_data();
    void transcript();
    void callbackMayQueueAndClose();
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

QTEST_GUILESS_MAIN(TestAtChannel)
#include "tst_atchannel.moc"
