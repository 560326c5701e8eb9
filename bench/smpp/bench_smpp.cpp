// The SMPP server of velmora-gatewayd on SQLite with simulated modems: the time from a
// submit_sm to the modem's AT+CMGS for messages sent one at a time, and submit_sm accepted a
// second over one session that keeps a window of 10 unanswered (each asking for a receipt).
// While the window runs the modems take [sendMs] a message, as real ones take a second or more:
// simulated modems that send in no time would turn every accepted submit into a receipt at once.
//   bench_smpp [submits] [one-at-a-time submits] [gapMs] [sendMs] [registered_delivery]
#include "gatewaydprocess.h"
#include "modemsimprocess.h"
#include "portlist.h"
#include "simcontrols.h"
#include "testdatabase.h"

#include "api/tokenstore.h"
#include "common/inifile.h"
#include "smppbodies.h"
#include "smpppdu.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTextStream>
#include <QThread>

#include <algorithm>

using namespace Smpp;

namespace {

constexpr int Modems = 4;
constexpr int Window = 10;

int submitted(ModemSimProcess &sim)
{
    for (const QString &line : sim.command(QStringLiteral("stats")).data) {
        if (line.startsWith(QLatin1String("submitted ")))
            return line.mid(10).toInt();
    }
    return -1;
}

class Session
{
public:
    bool open(quint16 port, const QByteArray &token)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        if (!m_socket.waitForConnected(5000))
            return false;
        send(Command::BindTransmitter, PduWriter()
                                               .cstring("bench")
                                               .cstring(token)
                                               .cstring("")
                                               .u8(0x34)
                                               .u8(0)
                                               .u8(0)
                                               .cstring("")
                                               .data());
        Pdu resp;
        return next(&resp) && resp.status == Status::Ok;
    }
    // With a receipt asked for, as SMS platforms do, its journal is synced before the answer.
    void submit(int n)
    {
        PduWriter w;
        const QByteArray number = "1390000" + QByteArray::number(n % 10000).rightJustified(4, '0');
        const QByteArray text = "bench " + QByteArray::number(n);
        w.cstring("").u8(0).u8(0).cstring("").u8(0).u8(0).cstring(number);
        w.u8(0).u8(0).u8(0).cstring("").cstring("").u8(registered).u8(0).u8(0).u8(0);
        w.u8(quint8(text.size())).bytes(text);
        send(Command::SubmitSm, w.data());
    }
    bool next(Pdu *pdu)
    {
        for (;;) {
            if (takeFrame(m_buffer, pdu) == Frame::Complete)
                return true;
            if (!m_socket.waitForReadyRead(10000))
                return false;
            m_buffer += m_socket.readAll();
        }
    }

private:
    void send(quint32 command, const QByteArray &body)
    {
        m_socket.write(encode({command, 0, ++m_sequence, body}));
        m_socket.flush();
    }

public:
    quint8 registered = 1;

private:
    QTcpSocket m_socket;
    QByteArray m_buffer;
    quint32 m_sequence = 0;
};

QString stats(QList<double> ms)
{
    if (ms.isEmpty())
        return QStringLiteral("no samples");
    std::sort(ms.begin(), ms.end());
    return QStringLiteral("median %1 ms, p90 %2 ms, max %3 ms (%4 samples)")
            .arg(ms.at(ms.size() / 2), 0, 'f', 1)
            .arg(ms.at(int(ms.size() * 0.9)), 0, 'f', 1)
            .arg(ms.last(), 0, 'f', 1)
            .arg(ms.size());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int total = args.value(1, QStringLiteral("5000")).toInt();
    const int single = args.value(2, QStringLiteral("50")).toInt();
    const int gapMs = args.value(3, QStringLiteral("100")).toInt();
    const int sendMs = args.value(4, QStringLiteral("1000")).toInt();
    const int registered = args.value(5, QStringLiteral("1")).toInt();
    QTextStream out(stdout);

    RegisteredControls controls;
    ModemSimProcess sim(Modems);
    TestDatabase tdb(QStringLiteral("sqlite"));
    QString error;
    if (!controls.isRegistered() || !sim.start()
        || !tdb.create(QStringLiteral("bench_smpp"), &error)) {
        out << "setup: " << controls.errorString() << sim.errorString() << error << Qt::endl;
        return 1;
    }
    QTemporaryDir folder;
    const quint16 httpPort = GatewaydProcess::freePort();
    const quint16 smppPort = GatewaydProcess::freePort();
    IniFile ini(folder.path() + QStringLiteral("/Config.ini"));
    ini.write(QStringLiteral("DBCon"), QStringLiteral("ConSTR"), tdb.connectionString());
    ini.write(QStringLiteral("SMSCom"), QStringLiteral("Port"), PortList::ports(Modems));
    ini.write(QStringLiteral("SMSCom"), QStringLiteral("Rate"), PortList::rates(Modems));
    ini.write(QStringLiteral("Service"), QStringLiteral("HttpPort"), QString::number(httpPort));
    ini.write(QStringLiteral("Smpp"), QStringLiteral("Port"), QString::number(smppPort));
    ini.write(QStringLiteral("Smpp"), QStringLiteral("Rate"), QStringLiteral("1000000"));
    const QString token = TokenStore(TokenStore::fileIn(folder.path()))
                                  .add(QStringLiteral("bench"), TokenStore::Role::Send, &error);

    GatewaydProcess daemon;
    if (!daemon.start(sim.portsDir(), folder.path())
        || daemon.waitForDevices(httpPort, Modems, 60000) < 0) {
        out << "velmora-gatewayd: the devices did not come up" << Qt::endl;
        return 1;
    }
    Session session;
    session.registered = quint8(registered);
    if (!session.open(smppPort, token.toLatin1())) {
        out << "bind refused" << Qt::endl;
        return 1;
    }

    // One at a time, spaced out: each submit waits for nothing but the modem.
    QList<double> toCmgs;
    QList<double> toResp;
    QElapsedTimer clock;
    clock.start();
    Pdu resp;
    for (int i = 0; i <= single; ++i) {
        const int before = submitted(sim);
        const qint64 begin = clock.nsecsElapsed();
        session.submit(100000 + i);
        if (!session.next(&resp) || resp.status != Status::Ok)
            break;
        const qint64 answered = clock.nsecsElapsed();
        while (submitted(sim) <= before && clock.nsecsElapsed() - begin < 30'000'000'000LL)
            ;
        // The first only wakes everything up.
        if (i > 0) {
            toResp << double(answered - begin) / 1e6;
            toCmgs << double(clock.nsecsElapsed() - begin) / 1e6;
        }
        QThread::msleep(gapMs);
    }

    // A window of 10: a new submit for every answer.
    sim.setSendDelay(0, sendMs);
    int sent = 0;
    int accepted = 0;
    int answers = 0;
    clock.restart();
    for (; sent < std::min(Window, total); ++sent)
        session.submit(sent);
    while (answers < sent) {
        if (!session.next(&resp))
            break;
        ++answers;
        accepted += resp.status == Status::Ok;
        if (sent < total)
            session.submit(sent++);
    }
    const double seconds = clock.elapsed() / 1000.0;
    daemon.stop();

    out << "smpp sqlite, " << Modems << " simulated modems, one session:"
        << "\n  window of " << Window << " (modems " << sendMs
        << " ms a message, registered_delivery " << registered << "): " << accepted << " of " << total << " accepted in "
        << QString::number(seconds, 'f', 2) << " s: " << QString::number(accepted / seconds, 'f', 0)
        << " submit_sm/s"
        << "\n  one at a time every " << gapMs << " ms, submit_sm to submit_sm_resp: "
        << stats(toResp) << "\n  one at a time, submit_sm to AT+CMGS: " << stats(toCmgs)
        << "\n  rows in SMS: " << tdb.scalar(QStringLiteral("select count(*) from SMS")).toInt()
        << Qt::endl;
    return accepted == total ? 0 : 1;
}
