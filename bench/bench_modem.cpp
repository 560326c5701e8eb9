// Messages a second through simulated modems with no network delay, and the driver's CPU time
// a message (user + system of this process; the simulator runs in a process of its own).
//
//   bench_modem [--modems 1,16] [--seconds 5] [--receive 200]   (receive: per modem)
#include "modemsimprocess.h"
#include "smscontrol.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
            + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Figures
{
    qint64 messages = 0;
    double wall = 0;
    double cpu = 0;
};

void report(const char *what, int modems, const Figures &f)
{
    std::printf(
            "%-8s modems=%-3d %7lld messages in %6.2f s = %8.0f msg/s; driver CPU %.3f ms/msg\n",
            what, modems, static_cast<long long>(f.messages), f.wall,
            f.wall > 0 ? double(f.messages) / f.wall : 0.0,
            f.messages > 0 ? f.cpu * 1000.0 / double(f.messages) : 0.0);
    std::fflush(stdout);
}

using Controls = std::vector<std::unique_ptr<SmsControl>>;

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void disconnectAll(const QList<QMetaObject::Connection> &connections)
{
    for (const QMetaObject::Connection &c : connections)
        QObject::disconnect(c);
}

// A driver on each simulated modem, opened as the gateway opens them; false, with the reason
// printed, when one does not open.
bool openControls(int count, Controls *controls)
{
    QElapsedTimer openTime;
    openTime.start();
    for (int port = 1; port <= count; ++port) {
        auto c = std::make_unique<SmsControl>();
        QString empty;
        c->SetParam(10, empty, port);
        c->SetParam(11, empty, 115200);
        c->SetParam(14, empty, 0);
        c->SetParam(7, empty, 0);
        c->SetParam(17, empty, 2);
        if (c->OpenComm() != 0) {
            QString why;
            c->GetInfo(SmsControl::InfoLastError, why);
            std::fprintf(stderr, "COM%d: %s\n", port, qPrintable(why));
            return false;
        }
        controls->push_back(std::move(c));
    }
    std::printf("open     modems=%-3d in %.3f s\n", count, double(openTime.elapsed()) / 1000.0);
    return true;
}

// Sending: every modem sends the next message as soon as the last one is through.
void sendPhase(Controls &controls, int count, int seconds)
{
    Figures send;
    bool sending = true;
    qint64 failures = 0;
    const QString text = QStringLiteral("Benchmark message through the Velmora modem driver.");
    QList<QMetaObject::Connection> connections;
    for (auto &c : controls) {
        SmsControl *control = c.get();
        connections << QObject::connect(control, &ModemControl::OnSndMsg, control, [&, control] {
            ++send.messages;
            if (control->GetIndexOfLastSnd() < 1)
                ++failures;
            if (sending)
                control->SendMSG(QStringLiteral("+8613700000000"), text);
        });
    }
    QElapsedTimer wall;
    const double cpu0 = cpuSeconds();
    wall.start();
    for (auto &c : controls)
        c->SendMSG(QStringLiteral("+8613700000000"), text);
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, [&] {
        sending = false;
        loop.quit();
    });
    loop.exec();
    send.wall = double(wall.nsecsElapsed()) / 1e9;
    send.cpu = cpuSeconds() - cpu0;
    settle(200); // drain the messages still in flight
    disconnectAll(connections);
    report("send", count, send);
    if (failures > 0)
        std::printf("         %lld sends failed\n", static_cast<long long>(failures));
}

// Receiving: a burst on every modem, each read, stored elsewhere and deleted from the SIM.
bool receivePhase(ModemSimProcess &sim, Controls &controls, int count, int receivePerModem)
{
    Figures receive;
    const qint64 expected = qint64(receivePerModem) * count;
    QEventLoop done;
    QList<QMetaObject::Connection> connections;
    for (auto &c : controls) {
        SmsControl *control = c.get();
        connections << QObject::connect(control, &ModemControl::OnRecvMsg, control, [&, control] {
            QString sca, sender, body, ts;
            if (control->ReadMsgForVB(sca, sender, body, ts) == 0 && ++receive.messages == expected)
                done.quit();
        });
    }
    for (int port = 1; port <= count; ++port) {
        for (int i = 0; i < receivePerModem; ++i)
            sim.deliver(port, QStringLiteral("+8613812345678"), QStringLiteral("burst %1").arg(i));
    }
    const double cpu1 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(120000, &done, &QEventLoop::quit);
    if (receive.messages < expected)
        done.exec();
    receive.wall = double(wall.nsecsElapsed()) / 1e9;
    receive.cpu = cpuSeconds() - cpu1;
    disconnectAll(connections);
    report("receive", count, receive);
    if (receive.messages != expected)
        std::printf("         only %lld of %lld received\n",
                    static_cast<long long>(receive.messages), static_cast<long long>(expected));
    return receive.messages == expected;
}

bool run(int count, int seconds, int receivePerModem)
{
    ModemSimProcess sim(count, 1, {QStringLiteral("--storage"), QStringLiteral("255")});
    if (!sim.start()) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorString()));
        return false;
    }
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());

    Controls controls;
    if (!openControls(count, &controls))
        return false;
    settle(300); // let the listing and status queries after the open finish
    sendPhase(controls, count, seconds);
    const bool received = receivePhase(sim, controls, count, receivePerModem);
    for (auto &c : controls)
        c->CloseComm();
    return received;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption modems(QStringLiteral("modems"), QStringLiteral("Modem counts."),
                                    QStringLiteral("list"), QStringLiteral("1,16"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("Send phase length."), QStringLiteral("s"),
                                     QStringLiteral("5"));
    const QCommandLineOption receive(QStringLiteral("receive"),
                                     QStringLiteral("Messages delivered to each modem."),
                                     QStringLiteral("n"), QStringLiteral("200"));
    parser.addOptions({modems, seconds, receive});
    parser.process(app);
    if (qEnvironmentVariableIsEmpty("VELMORA_BUILD_DIR")
        && qEnvironmentVariableIsEmpty("VELMORA_MODEMSIM"))
        qputenv("VELMORA_MODEMSIM", QByteArray(VELMORA_MODEMSIM_PATH));
    bool ok = true;
    for (const QString &n : parser.value(modems).split(QLatin1Char(','))) {
        const int count = n.toInt();
        ok = run(count, parser.value(seconds).toInt(), parser.value(receive).toInt()) && ok;
    }
    return ok ? 0 : 1;
}
