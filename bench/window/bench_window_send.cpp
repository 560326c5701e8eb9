// The window program under load: its engine on its own thread and the window on the offscreen
// platform, sending pending rows through simulated modems. Reports messages a second, the
// process's CPU time a message (both threads) and the longest wait of the window's thread, seen
// as the lateness of a 5 ms timer there.
//   bench_window_send [rows] [modems] [scanMs]
#include "common/clock.h"
#include "common/inifile.h"
#include "engine/enginebridge.h"
#include "engine/enginethread.h"
#include "engine/service.h"
#include "gatewayparts.h"
#include "messaging/messageflow.h"
#include "messaging/messagestore.h"
#include "modemsimprocess.h"
#include "portlist.h"
#include "smscontrol.h"
#include "testdatabase.h"
#include "window/engineclient.h"
#include "window/frmmain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <atomic>

#include <sys/resource.h>

namespace {

// The whole process's, or with RUSAGE_THREAD the calling thread's.
double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage u{};
    getrusage(who, &u);
    const auto secs = [](const timeval &t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return secs(u.ru_utime) + secs(u.ru_stime);
}

// The longest time the window's thread was kept from a timer due every 5 ms.
class LatenessProbe : public QObject
{
public:
    LatenessProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(Interval);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_longest = qMax(m_longest, m_since.nsecsElapsed() / 1e6 - Interval);
            m_since.start();
        });
    }
    void start()
    {
        m_longest = 0;
        m_since.start();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    double longestMs() const { return m_longest; }

private:
    static constexpr int Interval = 5;
    QTimer m_timer;
    QElapsedTimer m_since;
    double m_longest = 0;
};

struct Figures
{
    double seconds = 0;
    double cpu = 0;
    double windowCpu = 0;
    int batches = 0;
    double longestWaitMs = 0;
};

void writeConfig(const QString &path, const QString &connection, const QString &scan, int modems)
{
    IniFile config(path);
    config.write(QStringLiteral("DBCon"), QStringLiteral("ConSTR"), connection);
    config.write(QStringLiteral("DBCon"), QStringLiteral("ScanDT"), scan);
    config.write(QStringLiteral("SMSCom"), QStringLiteral("Port"), PortList::ports(modems));
    config.write(QStringLiteral("SMSCom"), QStringLiteral("Rate"), PortList::rates(modems));
}

// Starts the service from the window's side and waits, the window's loop turning, until no
// device is offline any more; the devices still offline two minutes after startup began.
int startDevices(EngineThread &engine, EngineClient &client, int modems,
                 const QElapsedTimer &startup)
{
    auto &gw = static_cast<GatewayParts &>(engine.gateway());
    client.startService();
    int offline = modems;
    while (offline > 0 && startup.elapsed() < 120000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        engine.runAndWait([&] {
            offline = 0;
            for (int d = 0; d < modems; ++d)
                offline += gw.pool().state(d) == DeviceState::Offline ? 1 : 0;
        });
    }
    return offline;
}

// Turns the window's loop until every row has its result and every status is written.
void waitForResults(GatewayParts &gw, const std::atomic<int> &results, int rows,
                    const QElapsedTimer &wall)
{
    while (results < rows && wall.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // Asked without waiting, so the window's thread is measured and never held up here.
    std::atomic<qsizetype> unwritten = -1;
    while (unwritten != 0 && wall.elapsed() < 600000) {
        unwritten = -1;
        QMetaObject::invokeMethod(
                &gw, [&] { unwritten = gw.flow().store().unwrittenStatuses(); },
                Qt::QueuedConnection);
        while (unwritten < 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// From the first tick to the last row written, with the CPU time of the process and of the
// window's thread.
Figures measure(EngineThread &engine, EngineClient &client, int rows)
{
    auto &gw = static_cast<GatewayParts &>(engine.gateway());
    Figures f;
    std::atomic<int> results = 0;
    // Counted only while measuring: the counters end with this function.
    const QList<QMetaObject::Connection> counters = {
            QObject::connect(
                    &gw.events(), &EngineEvents::messageSent, &gw, [&results] { ++results; },
                    Qt::DirectConnection),
            QObject::connect(
                    &gw.events(), &EngineEvents::messageFailed, &gw, [&results] { ++results; },
                    Qt::DirectConnection),
            QObject::connect(&engine.bridge(), &EngineBridge::batchReady, &client,
                             [&f] { ++f.batches; }),
    };
    LatenessProbe probe;
    probe.start();
    const double cpuBefore = cpuSeconds();
    const double windowCpuBefore = cpuSeconds(RUSAGE_THREAD);
    QElapsedTimer wall;
    wall.start();
    QMetaObject::invokeMethod(
            &gw, [&gw] { gw.flow().Timer1_Timer(); }, Qt::QueuedConnection);
    waitForResults(gw, results, rows, wall);
    f.seconds = double(wall.nsecsElapsed()) / 1e9;
    f.cpu = cpuSeconds() - cpuBefore;
    f.windowCpu = cpuSeconds(RUSAGE_THREAD) - windowCpuBefore;
    probe.stop();
    f.longestWaitMs = probe.longestMs();
    engine.runAndWait([&] { gw.service().mnuGXFW_Click(); });
    for (const QMetaObject::Connection &c : counters)
        QObject::disconnect(c);
    return f;
}

// The real modem control for every device, made on the engine's thread.
bool createControls(EngineThread &engine, QString *error)
{
    bool created = false;
    engine.runAndWait([&] {
        created = engine.gateway().createModemControls(
                [](QString *) -> ModemControl * { return new SmsControl; }, error);
    });
    return created;
}

// The figures of the run, after the heading line.
void report(QTextStream &out, const Figures &f, int rows, int sent, int failed)
{
    out << "\n  first tick to last row at 2: " << QString::number(f.seconds, 'f', 2) << " s, "
        << QString::number(sent / f.seconds, 'f', 0) << " messages/s"
        << "\n  rows at 2: " << sent << ", at -1: " << failed
        << "\n  batches to the window: " << f.batches
        << "\n  CPU (engine and window): " << QString::number(f.cpu * 1000 / rows, 'f', 3)
        << " ms/message, of which the window's thread "
        << QString::number(f.windowCpu * 1000 / rows, 'f', 3)
        << "\n  longest wait of the window's thread: " << QString::number(f.longestWaitMs, 'f', 1)
        << " ms" << Qt::endl;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rows = args.value(1, QStringLiteral("5000")).toInt();
    const int modems = args.value(2, QStringLiteral("128")).toInt();
    const QString scan = args.value(3, QStringLiteral("1000"));
    QTextStream out(stdout);

    ModemSimProcess sim(modems);
    if (!sim.start()) {
        out << "modem simulator: " << sim.errorString() << Qt::endl;
        return 1;
    }
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    TestDatabase db(QStringLiteral("sqlite"));
    QString error;
    if (!db.create(QStringLiteral("bench_window"), &error)) {
        out << "database: " << error << Qt::endl;
        return 1;
    }
    QTemporaryDir programDir;
    writeConfig(programDir.filePath(QStringLiteral("Config.ini")), db.connectionString(), scan,
                modems);

    EngineThread engine(programDir.path(), SystemClock::instance(),
                        [](QString dir, const Clock &clock, Prompter &prompter) {
                            return std::make_unique<GatewayParts>(std::move(dir), clock, prompter);
                        });
    auto &gw = static_cast<GatewayParts &>(engine.gateway());
    if (!createControls(engine, &error)) {
        out << "modem controls: " << error << Qt::endl;
        return 1;
    }
    EngineClient client(gw, engine.bridge());
    FrmMain window(client);
    window.Form_Load();
    window.show();

    QElapsedTimer startup;
    startup.start();
    if (const int offline = startDevices(engine, client, modems, startup); offline > 0) {
        out << offline << " devices did not open" << Qt::endl;
        return 1;
    }
    const double startSeconds = double(startup.nsecsElapsed()) / 1e9;
    if (!db.insertPending(rows)) {
        out << "could not insert the pending rows" << Qt::endl;
        return 1;
    }
    const Figures f = measure(engine, client, rows);

    const int sent = db.scalar(QStringLiteral("select count(*) from SMS where Status=2")).toInt();
    const int failed =
            db.scalar(QStringLiteral("select count(*) from SMS where Status=-1")).toInt();
    out << "window program, sqlite: " << rows << " rows, " << modems << " modems, ScanDT " << scan
        << "\n  start to all idle: " << QString::number(startSeconds, 'f', 2) << " s";
    report(out, f, rows, sent, failed);
    return sent == rows ? 0 : 2;
}
