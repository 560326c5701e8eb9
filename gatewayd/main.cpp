#include "databasecommand.h"
#include "gatewaydaemon.h"
#include "signalpipe.h"
#include "stdoutlog.h"
#include "tokencommands.h"

#include "common/installlayout.h"
#include "common/privatefiles.h"
#include "messaging/messageflow.h"
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
    // Standard error is the journal too under systemd: the line is an error there.
    const char *priority = StdoutLog::isJournal(STDERR_FILENO) ? "<3>" : "";
    std::fprintf(stderr, "%svelmora-gatewayd: %s\n", priority, qUtf8Printable(text));
}

QString lockRefusal(QLockFile &lock, const QString &programDir)
{
    if (lock.error() != QLockFile::LockFailedError)
        return QStringLiteral("cannot lock %1").arg(programDir);
    qint64 pid = 0;
    QString host;
    QString name;
    lock.getLockInfo(&pid, &host, &name);
    if (name == QLatin1String("Velmora"))
        return QStringLiteral("the window program runs on %1 (pid %2)").arg(programDir).arg(pid);
    return QStringLiteral("a service already runs on %1 (pid %2)").arg(programDir).arg(pid);
}

} // namespace

namespace {

QCommandLineOption describeOptions(QCommandLineParser &parser)
{
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
    return programDirOption;
}

// The service itself, once the command line asked for nothing else.
int runService(const QString &programDir)
{
    // The serial-port links belong to the program folder, wherever the program itself is.
    if (qEnvironmentVariableIsEmpty("VELMORA_PORTS_DIR"))
        qputenv("VELMORA_PORTS_DIR", QFile::encodeName(programDir + QStringLiteral("/ports")));

    // One gateway per program folder, service or window program: two would fight over its
    // modems and replay its spool.
    QLockFile lock(InstallLayout::folderLockFile(programDir));
    if (!lock.tryLock(0)) {
        fail(lockRefusal(lock, programDir));
        return 1;
    }

    SignalPipe signalPipe;
    keepMessageFilesPrivate(programDir, MessageFlow::messageFiles());
    GatewayDaemon daemon(programDir, StdoutLog::isJournal(STDOUT_FILENO));
    QString error;
    if (!daemon.configReadable(QStringLiteral("服务不启动")))
        return GatewayDaemon::ConfigExit;
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-gatewayd"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION_TEXT));

    QCommandLineParser parser;
    const QCommandLineOption programDirOption = describeOptions(parser);
    TokenCommands::addOptions(parser);
    const DatabaseCommand databaseCommand(parser);
    parser.process(app);

    const QString programDir = parser.isSet(programDirOption)
            ? QDir(parser.value(programDirOption)).absolutePath()
            : InstallLayout::programDir();
    if (!QFileInfo(programDir).isDir()) {
        fail(QStringLiteral("%1 is not a folder").arg(programDir));
        return 2;
    }
    if (const auto done = TokenCommands::run(parser, programDir))
        return *done;
    if (databaseCommand.requested(parser))
        return databaseCommand.run(parser, programDir);
    return runService(programDir);
}
