#include "databasecommand.h"
#include "gatewaydaemon.h"
#include "signalpipe.h"

#include "common/installlayout.h"
#include "version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

void fail(const QString &text)
{
    std::fprintf(stderr, "velmora-gatewayd: %s\n", qUtf8Printable(text));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-gatewayd"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION_TEXT));

    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("The Velmora SMS gateway as a service: starts at once, stops on SIGTERM "
                           "or SIGINT, reloads Config.ini on SIGHUP."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption programDirOption(
            QStringLiteral("program-dir"),
            QStringLiteral("Folder that holds Config.ini, DataBase/, spool/ and ports/ "
                           "(default: the folder of this program)."),
            QStringLiteral("DIR"));
    parser.addOption(programDirOption);
    const DatabaseCommand databaseCommand(parser);
    parser.process(app);

    const QString programDir = parser.isSet(programDirOption)
            ? QDir(parser.value(programDirOption)).absolutePath()
            : InstallLayout::programDir();
    if (!QFileInfo(programDir).isDir()) {
        fail(QStringLiteral("%1 is not a folder").arg(programDir));
        return 2;
    }
    if (databaseCommand.requested(parser))
        return databaseCommand.run(parser, programDir);
    // The serial-port links belong to the program folder, wherever the program itself is.
    if (qEnvironmentVariableIsEmpty("VELMORA_PORTS_DIR"))
        qputenv("VELMORA_PORTS_DIR", QFile::encodeName(programDir + QStringLiteral("/ports")));

    // One service per program folder: two would fight over its modems and its spool.
    QLockFile lock(programDir + QStringLiteral("/velmora-gatewayd.lock"));
    if (!lock.tryLock(0)) {
        qint64 pid = 0;
        QString host;
        QString name;
        lock.getLockInfo(&pid, &host, &name);
        fail(lock.error() == QLockFile::LockFailedError
                     ? QStringLiteral("a service already runs on %1 (pid %2)")
                               .arg(programDir)
                               .arg(pid)
                     : QStringLiteral("cannot lock %1").arg(programDir));
        return 1;
    }

    SignalPipe signalPipe;
    GatewayDaemon daemon(programDir, !StdoutLog::isJournal(STDOUT_FILENO));
    QString error;
    if (!daemon.createControls(&error)) {
        fail(error);
        return 1;
    }
    for (int s : {SIGTERM, SIGINT, SIGHUP}) {
        if (!signalPipe.watch(s)) {
            fail(QStringLiteral("cannot handle signal %1").arg(s));
            return 1;
        }
    }
    QObject::connect(&signalPipe, &SignalPipe::received, &daemon, &GatewayDaemon::handleSignal);
    // Started from inside the event loop, so a stop during the start's first tick can end it.
    QTimer::singleShot(0, &daemon, &GatewayDaemon::start);
    return QCoreApplication::exec();
}
