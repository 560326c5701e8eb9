#include "modemcheck.h"
#include "portscan.h"
#include "programfolder.h"
#include "signalpipe.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <csignal>

namespace {

void describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
            QStringLiteral("Opens a modem the way the gateway does and tells what it learns."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("PORT"), QStringLiteral("COMn or a device path"));
    const QCommandLineOption rate(QStringLiteral("rate"),
                                  QStringLiteral("baud rate (default: 115200, then 9600)"),
                                  QStringLiteral("N"));
    const QCommandLineOption send(QStringLiteral("send"),
                                  QStringLiteral("send TEXT (the argument after PORT) to NUMBER"),
                                  QStringLiteral("NUMBER"));
    const QCommandLineOption watch(QStringLiteral("watch"),
                                   QStringLiteral("print messages, calls and signal until Ctrl-C"));
    const QCommandLineOption scan(QStringLiteral("scan"),
                                  QStringLiteral("try every serial port (no PORT) and say which "
                                                 "answer AT"));
    const QCommandLineOption programDir(
            QStringLiteral("program-dir"),
            QStringLiteral("the gateway's program folder, whose ports/ links and Config.ini ports "
                           "COMn means (default: %1 when it exists, else the MainApp folder "
                           "beside this tool; $VELMORA_PORTS_DIR names the ports folder alone)")
                    .arg(QStringLiteral(VELMORA_SERVICE_DATA_DIR)),
            QStringLiteral("DIR"));
    parser.addOptions({rate, send, watch, scan, programDir});
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-modemcheck"));
    QCommandLineParser parser;
    describe(parser);
    parser.process(app);
    const QStringList args = parser.positionalArguments();
    const bool scan = parser.isSet(QStringLiteral("scan"));
    const bool send = parser.isSet(QStringLiteral("send"));
    if (scan ? !args.isEmpty() : args.isEmpty() || (send && args.size() < 2))
        parser.showHelp(2);

    const QString folder = ProgramFolder::choose(parser.value(QStringLiteral("program-dir")),
                                                 QStringLiteral(VELMORA_SERVICE_DATA_DIR));
    // The driver and the port names read the ports folder from the environment.
    if (qEnvironmentVariableIsEmpty("VELMORA_PORTS_DIR"))
        qputenv("VELMORA_PORTS_DIR", QFile::encodeName(folder + QStringLiteral("/ports")));
    const QString rate = parser.value(QStringLiteral("rate"));
    const QList<int> rates = rate.isEmpty() ? QList<int>{115200, 9600} : QList<int>{rate.toInt()};
    QTextStream out(stdout);
    // Ctrl-C and kill close the port properly: a lock file left in the lock folder would keep
    // the gateway, running as another user, out of the modem.
    SignalPipe endSignals;
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        endSignals.watch(s);

    if (scan) {
        PortScan portScan(out);
        QObject::connect(&endSignals, &SignalPipe::received, &portScan, &PortScan::interrupt);
        return portScan.run(rates, ProgramFolder::configuredPorts(folder));
    }
    ModemCheck::Options options;
    options.port = args[0];
    options.rates = rates;
    if (send) {
        options.sendTo = parser.value(QStringLiteral("send"));
        options.text = args.mid(1).join(QLatin1Char(' '));
    }
    options.watch = parser.isSet(QStringLiteral("watch"));
    ModemCheck check(out);
    QObject::connect(&endSignals, &SignalPipe::received, &check, &ModemCheck::interrupt);
    return check.run(options);
}
