// The window program's start: its engine on its own thread and the window on the offscreen
// platform, from the start command to every one of 128 simulated modems idle, as the engine's
// own status reports them (the status page and the API read the same).
//   bench_devices_window_run plain|dozing [modems]
#include "common/clock.h"
#include "common/inifile.h"
#include "devicebenches.h"
#include "engine/enginethread.h"
#include "engine/gateway.h"
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

namespace {

constexpr qint64 TimeoutMs = 150000;

void writeConfig(const QString &path, const QString &connection, int modems)
{
    IniFile config(path);
    config.write(QStringLiteral("DBCon"), QStringLiteral("ConSTR"), connection);
    config.write(QStringLiteral("SMSCom"), QStringLiteral("Port"), PortList::ports(modems));
    config.write(QStringLiteral("SMSCom"), QStringLiteral("Rate"), PortList::rates(modems));
}

int devicesUp(EngineThread &engine)
{
    int up = 0;
    engine.runAndWait([&] { up = engine.gateway().status().devicesUp(); });
    return up;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const QString kind = app.arguments().value(1);
    if (kind != QLatin1String("plain") && kind != QLatin1String("dozing")) {
        out << "usage: bench_devices_window_run plain|dozing [modems]" << Qt::endl;
        return 2;
    }
    const bool dozing = kind == QLatin1String("dozing");
    const int modems = app.arguments().value(2, QString::number(DeviceBenches::Modems)).toInt();
    const QString what = QStringLiteral("start to all %1 idle, window program, sqlite, %2: ")
                                 .arg(modems)
                                 .arg(dozing ? QStringLiteral("modems needing the retry, first "
                                                              "answer 300 ms late")
                                             : QStringLiteral("simulator as is"));

    ModemSimProcess sim(modems, 1, dozing ? DeviceBenches::dozingModems() : QStringList());
    if (!sim.start()) {
        out << what << "simulator: " << sim.errorString() << Qt::endl;
        return 1;
    }
    qputenv("VELMORA_PORTS_DIR", sim.portsDir().toUtf8());
    TestDatabase db(QStringLiteral("sqlite"));
    QString error;
    if (!db.create(QStringLiteral("bench_devices_window"), &error)) {
        out << what << "database: " << error << Qt::endl;
        return 1;
    }
    QTemporaryDir programDir;
    writeConfig(programDir.filePath(QStringLiteral("Config.ini")), db.connectionString(), modems);

    EngineThread engine(programDir.path(), SystemClock::instance());
    bool created = false;
    engine.runAndWait([&] {
        created = engine.gateway().createModemControls(
                [](QString *) -> ModemControl * { return new SmsControl; }, &error);
    });
    if (!created) {
        out << what << "modem controls: " << error << Qt::endl;
        return 1;
    }
    EngineClient client(engine.gateway(), engine.bridge());
    FrmMain window(client);
    window.Form_Load();
    window.show();

    // The window's loop turns all along, as it does for a user watching the list fill; the
    // engine is asked every 50 ms, not in a spin that would take its CPU.
    QElapsedTimer startup;
    startup.start();
    client.startService();
    int up = 0;
    qint64 ms = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        up = devicesUp(engine);
        ms = startup.elapsed();
        // exit(), not quit(): the window declines to close, and that would cancel a quit.
        if (up >= modems || ms > TimeoutMs)
            QCoreApplication::exit(0);
    });
    poll.start(50);
    QApplication::exec();
    if (up < modems)
        out << what << "not within " << QString::number(TimeoutMs / 1000) << " s (" << up << " up)"
            << Qt::endl;
    else
        out << what << QString::number(double(ms) / 1000, 'f', 2) << " s" << Qt::endl;
    engine.runAndWait([&] { engine.gateway().stop(); });
    return 0;
}
