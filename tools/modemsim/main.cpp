// velmora-modemsim: simulated GSM modems on pseudo-terminals, linked as comK into a folder,
// with a network between them and a control socket. See README.md.
#include "controlserver.h"
#include "simmodem.h"
#include "simnetwork.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-modemsim"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated GSM modems for tests and demos."));
    parser.addHelpOption();
    const QCommandLineOption portsOption(QStringLiteral("ports"),
                                         QStringLiteral("Folder for the comK links."),
                                         QStringLiteral("dir"));
    const QCommandLineOption countOption(QStringLiteral("count"),
                                         QStringLiteral("Number of modems (default 1)."),
                                         QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption firstOption(
            QStringLiteral("first"), QStringLiteral("Port number of the first modem (default 1)."),
            QStringLiteral("k"), QStringLiteral("1"));
    const QCommandLineOption controlOption(
            QStringLiteral("control"),
            QStringLiteral("Path of the control socket (default <dir>/modemsim.sock)."),
            QStringLiteral("path"));
    const QCommandLineOption numberOption(
            QStringLiteral("number-base"),
            QStringLiteral("Modem on port k has the number +(base + k) (default 8613900000000)."),
            QStringLiteral("digits"), QStringLiteral("8613900000000"));
    const QCommandLineOption modelOption(
            QStringLiteral("model"), QStringLiteral("Model text of AT+CGMM."),
            QStringLiteral("text"), QStringLiteral("Velmora GSM Simulator"));
    const QCommandLineOption storageOption(
            QStringLiteral("storage"), QStringLiteral("Message slots of each SIM (default 255)."),
            QStringLiteral("n"), QStringLiteral("255"));
    parser.addOptions({portsOption, countOption, firstOption, controlOption, numberOption,
                       modelOption, storageOption});
    parser.process(app);
    if (!parser.isSet(portsOption)) {
        std::fprintf(stderr, "velmora-modemsim: --ports is required\n");
        return 2;
    }
    const QString portsDir = QDir(parser.value(portsOption)).absolutePath();
    QDir().mkpath(portsDir);
    const int count = parser.value(countOption).toInt();
    const int first = parser.value(firstOption).toInt();
    const qulonglong base = parser.value(numberOption).toULongLong();
    const QString control = parser.isSet(controlOption)
            ? parser.value(controlOption)
            : portsDir + QStringLiteral("/modemsim.sock");
    if (count < 1 || first < 1) {
        std::fprintf(stderr, "velmora-modemsim: --count and --first must be 1 or more\n");
        return 2;
    }

    SimNetwork network;
    QList<SimModem *> modems;
    for (int i = 0; i < count; ++i) {
        const int port = first + i;
        auto *modem = new SimModem(port, QStringLiteral("+%1").arg(base + qulonglong(port)),
                                   &network, &app);
        modem->setModel(parser.value(modelOption));
        modem->setCapacity(qMax(1, parser.value(storageOption).toInt()));
        QString error;
        if (!modem->create(portsDir + QStringLiteral("/com%1").arg(port), &error)) {
            std::fprintf(stderr, "velmora-modemsim: %s\n", qPrintable(error));
            return 1;
        }
        network.add(modem);
        modems.append(modem);
    }
    ControlServer server(&network);
    QString error;
    if (!server.listen(control, &error)) {
        std::fprintf(stderr, "velmora-modemsim: %s: %s\n", qPrintable(control), qPrintable(error));
        return 1;
    }
    QObject::connect(&server, &ControlServer::quitRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    if (::pipe(signalPipe) == 0) {
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    }

    std::printf("ready %d %s\n", count, qPrintable(control));
    std::fflush(stdout);
    const int rc = app.exec();
    qDeleteAll(modems); // removes the links
    return rc;
}
