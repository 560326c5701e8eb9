#pragma once

// Starts velmora-modemsim with N modems linked as comK into a temporary ports folder and
// talks to its control socket. For tests of anything that drives modems:
//
//   ModemSimProcess sim(4);               // com1..com4
//   QVERIFY2(sim.start(), qPrintable(sim.errorString()));
//   qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
//   sim.deliver(1, "+8613812345678", "你好");
//   QCOMPARE(sim.submitted(2).size(), 1);
//
// The program is found through $VELMORA_MODEMSIM, else $VELMORA_BUILD_DIR/install-root/tools.

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

class ModemSimProcess
{
public:
    struct Reply
    {
        bool ok = false;
        QStringList data;
        QString error;
    };

    struct Submitted
    {
        QString destination;
        QString text;
        int parts = 0;
    };

    explicit ModemSimProcess(int count = 1, int firstPort = 1, QStringList extraArguments = {})
        : m_count(count), m_first(firstPort), m_extra(std::move(extraArguments))
    { }
    ~ModemSimProcess() { stop(); }
    ModemSimProcess(const ModemSimProcess &) = delete;
    ModemSimProcess &operator=(const ModemSimProcess &) = delete;

    static QString program()
    {
        const QString fromEnv = qEnvironmentVariable("VELMORA_MODEMSIM");
        if (!fromEnv.isEmpty())
            return fromEnv;
        return qEnvironmentVariable("VELMORA_BUILD_DIR")
                + QStringLiteral("/install-root/tools/velmora-modemsim");
    }

    // Starts the simulator and waits (at most 10 s) until its ports and socket exist.
    bool start()
    {
        if (!m_dir.isValid())
            return fail(QStringLiteral("no temporary folder"));
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList args{QStringLiteral("--ports"),   portsDir(),
                         QStringLiteral("--count"),   QString::number(m_count),
                         QStringLiteral("--first"),   QString::number(m_first),
                         QStringLiteral("--control"), controlPath()};
        args += m_extra;
        m_process->start(program(), args);
        if (!m_process->waitForStarted(5000))
            return fail(QStringLiteral("%1 did not start: %2")
                                .arg(program(), m_process->errorString()));
        const QDeadlineTimer deadline(10000);
        QByteArray out;
        while (!out.contains('\n')) {
            if (deadline.hasExpired()
                || !m_process->waitForReadyRead(int(deadline.remainingTime())))
                return fail(QStringLiteral("simulator not ready: %1").arg(QString::fromUtf8(out)));
            out += m_process->readAllStandardOutput();
        }
        if (!out.startsWith("ready"))
            return fail(QString::fromUtf8(out));
        m_socket = std::make_unique<QLocalSocket>();
        m_socket->connectToServer(controlPath());
        if (!m_socket->waitForConnected(5000))
            return fail(QStringLiteral("control socket: %1").arg(m_socket->errorString()));
        return true;
    }

    void stop()
    {
        if (m_socket && m_socket->state() == QLocalSocket::ConnectedState) {
            m_socket->write("quit\n");
            m_socket->waitForBytesWritten(1000);
        }
        m_socket.reset();
        if (m_process) {
            if (!m_process->waitForFinished(3000)) {
                m_process->terminate();
                if (!m_process->waitForFinished(3000))
                    m_process->kill();
                m_process->waitForFinished(1000);
            }
            m_process.reset();
        }
    }

    QString errorString() const { return m_error; }
    QString portsDir() const { return m_dir.path() + QStringLiteral("/ports"); }
    QString controlPath() const { return m_dir.path() + QStringLiteral("/modemsim.sock"); }
    QString portPath(int port) const { return portsDir() + QStringLiteral("/com%1").arg(port); }
    int count() const { return m_count; }
    int firstPort() const { return m_first; }

    // One command line; waits up to timeoutMs for its answer.
    Reply command(const QString &line, int timeoutMs = 5000)
    {
        Reply reply;
        if (!m_socket) {
            reply.error = QStringLiteral("not started");
            return reply;
        }
        m_socket->write(line.toUtf8() + '\n');
        m_socket->flush();
        const QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            while (m_socket->canReadLine()) {
                const QString l = QString::fromUtf8(m_socket->readLine()).chopped(1);
                if (l.startsWith(QLatin1String("= "))) {
                    reply.data.append(l.mid(2));
                } else if (l == QLatin1String("OK")) {
                    reply.ok = true;
                    return reply;
                } else if (l.startsWith(QLatin1String("ERR"))) {
                    reply.error = l.mid(4);
                    return reply;
                }
            }
            if (deadline.hasExpired()
                || !m_socket->waitForReadyRead(int(deadline.remainingTime()))) {
                reply.error = QStringLiteral("no answer to %1").arg(line);
                return reply;
            }
        }
    }

    QString numberOf(int port)
    {
        const Reply r = command(QStringLiteral("number %1").arg(port));
        return r.ok ? r.data.value(0) : QString();
    }

    // A message from sender arrives at the modem on port, split into parts as a network would;
    // order lists the parts in the order they arrive (1-based), duplicates come again at the end.
    // Returns the number of parts, 0 on failure.
    int deliver(int port, const QString &sender, const QString &text, const QList<int> &order = {},
                const QList<int> &duplicates = {}, const QString &options = {})
    {
        QString line = QStringLiteral("deliver %1 %2 %3")
                               .arg(port)
                               .arg(sender, QString::fromLatin1(QUrl::toPercentEncoding(text)));
        if (!order.isEmpty()) {
            QStringList n;
            for (int i : order)
                n.append(QString::number(i));
            line += QStringLiteral(" order=") + n.join(QLatin1Char(','));
        }
        for (int d : duplicates)
            line += QStringLiteral(" dup=%1").arg(d);
        if (!options.isEmpty())
            line += QLatin1Char(' ') + options;
        const Reply r = command(line);
        return r.ok ? r.data.value(0).toInt() : 0;
    }

    // Exactly these octets (hexadecimal) arrive at the modem on port; options "mem=ME".
    bool deliverPdu(int port, const QByteArray &hex, const QString &options = {})
    {
        return ok(QStringLiteral("deliverpdu %1 %2 %3")
                          .arg(port)
                          .arg(QString::fromLatin1(hex), options)
                          .trimmed());
    }
    bool setDirect(int port, bool direct)
    {
        return ok(QStringLiteral("direct %1 %2").arg(port).arg(direct ? 1 : 0));
    }

    bool ring(int port, const QString &caller)
    {
        return ok(QStringLiteral("ring %1 %2").arg(port).arg(caller));
    }
    bool failNextSend(int port, int cmsError = 500)
    {
        return ok(QStringLiteral("failnext %1 %2").arg(port).arg(cmsError));
    }
    bool setSilent(int port, bool silent)
    {
        return ok(QStringLiteral("silent %1 %2").arg(port).arg(silent ? 1 : 0));
    }
    bool vanish(int port) { return ok(QStringLiteral("vanish %1").arg(port)); }
    // port 0: every modem.
    bool setSendDelay(int port, int ms)
    {
        return ok(port == 0 ? QStringLiteral("delay all %1").arg(ms)
                            : QStringLiteral("delay %1 %2").arg(port).arg(ms));
    }
    bool unsolicited(int port, const QString &line)
    {
        return ok(QStringLiteral("urc %1 %2")
                          .arg(port)
                          .arg(QString::fromLatin1(QUrl::toPercentEncoding(line))));
    }

    QList<Submitted> submitted(int port)
    {
        QList<Submitted> out;
        for (const QString &d : command(QStringLiteral("sent %1").arg(port)).data) {
            const QStringList f = d.split(QLatin1Char(' '));
            out.append({f.value(0), QUrl::fromPercentEncoding(f.value(1).toUtf8()),
                        f.value(2).toInt()});
        }
        return out;
    }

    // "ringing", "hangups", "stored", "heldback", "echo", "silent", "gone", "own", "acks" of a
    // modem.
    int status(int port, const QString &item)
    {
        for (const QString &d : command(QStringLiteral("status %1").arg(port)).data) {
            if (d.startsWith(item + QLatin1Char(' ')))
                return d.mid(item.size() + 1).toInt();
        }
        return -1;
    }

private:
    bool fail(const QString &error)
    {
        m_error = error;
        stop();
        return false;
    }
    bool ok(const QString &line) { return command(line).ok; }

    int m_count;
    int m_first;
    QStringList m_extra;
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<QLocalSocket> m_socket;
    QString m_error;
};
