// The window program under load: its engine on its own thread and the window on the offscreen
// platform, sending pending rows through simulated modems. Reports messages a second, the
// process's CPU time a message (both threads) and the longest wait of the window's thread, seen
// as the lateness of a 5 ms timer there.
//   bench_window_send [rows] [modems] [scanMs]
#include "common/clock.h"
#include "common/inifile.h"
#include "core/service.h"
#include "core/ui/engineclient.h"
#include "core/ui/frmmain.h"
#include "engine/enginebridge.h"
#include "engine/enginethread.h"
#include "engine/gateway.h"
#include "messaging/messageflow.h"
#include "messaging/messagestore.h"
#include "modemsimprocess.h"
#include "smscontrol.h"
#include "testdatabase.h"

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
    IniFile config(programDir.filePath(QStringLiteral("Config.ini")));
    QStringList ports;
    QStringList rates;
    for (int p = 1; p <= modems; ++p) {
        ports << QString::number(p);
        rates << QStringLiteral("115200");
    }
    config.write(QStringLiteral("DBCon"), QStringLiteral("ConSTR"), db.connectionString());
    config.write(QStringLiteral("DBCon"), QStringLiteral("ScanDT"), scan);
    config.write(QStringLiteral("SMSCom"), QStringLiteral("Port"), ports.join(QLatin1Char(',')));
    config.write(QStringLiteral("SMSCom"), QStringLiteral("Rate"), rates.join(QLatin1Char(',')));

    EngineThread engine(programDir.path(), SystemClock::instance());
    Gateway &gw = engine.gateway();
    bool created = false;
    engine.runAndWait([&] {
        created = gw.pool().create([](QString *) -> ModemControl * { return new SmsControl; },
                                   &error);
    });
    if (!created) {
        out << "modem controls: " << error << Qt::endl;
        return 1;
    }
    EngineClient client(gw, engine.bridge());
    FrmMain window(client);
    window.Form_Load();
    window.show();

    QElapsedTimer startup;
    startup.start();
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
    if (offline > 0) {
        out << offline << " devices did not open" << Qt::endl;
        return 1;
    }
    const double startSeconds = double(startup.nsecsElapsed()) / 1e9;
    if (!db.insertPending(rows)) {
        out << "could not insert the pending rows" << Qt::endl;
        return 1;
    }

    std::atomic<int> results = 0;
    QObject::connect(
            &gw.events(), &EngineEvents::messageSent, &gw, [&results] { ++results; },
            Qt::DirectConnection);
    QObject::connect(
            &gw.events(), &EngineEvents::messageFailed, &gw, [&results] { ++results; },
            Qt::DirectConnection);
    int batches = 0;
    QObject::connect(&engine.bridge(), &EngineBridge::batchReady, &client,
                     [&batches] { ++batches; });
    LatenessProbe probe;
    probe.start();
    const double cpuBefore = cpuSeconds();
    const double windowCpuBefore = cpuSeconds(RUSAGE_THREAD);
    QElapsedTimer wall;
    wall.start();
    QMetaObject::invokeMethod(
            &gw, [&gw] { gw.flow().Timer1_Timer(); }, Qt::QueuedConnection);
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
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;
    const double windowCpu = cpuSeconds(RUSAGE_THREAD) - windowCpuBefore;
    probe.stop();
    engine.runAndWait([&] { gw.service().mnuGXFW_Click(); });

    const int sent = db.scalar(QStringLiteral("select count(*) from SMS where Status=2")).toInt();
    const int failed =
            db.scalar(QStringLiteral("select count(*) from SMS where Status=-1")).toInt();
    out << "window program, sqlite: " << rows << " rows, " << modems << " modems, ScanDT " << scan
        << "\n  start to all idle: " << QString::number(startSeconds, 'f', 2) << " s"
        << "\n  first tick to last row at 2: " << QString::number(seconds, 'f', 2) << " s, "
        << QString::number(sent / seconds, 'f', 0) << " messages/s"
        << "\n  rows at 2: " << sent << ", at -1: " << failed
        << "\n  batches to the window: " << batches
        << "\n  CPU (engine and window): " << QString::number(cpu * 1000 / rows, 'f', 3)
        << " ms/message, of which the window's thread "
        << QString::number(windowCpu * 1000 / rows, 'f', 3)
        << "\n  longest wait of the window's thread: " << QString::number(probe.longestMs(), 'f', 1)
        << " ms" << Qt::endl;
    return sent == rows ? 0 : 2;
}
