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

struct Options
{
    QString portsDir;
    int count = 1;
    int first = 1;
    qulonglong numberBase = 0;
    QString control;
    QString model;
    int storage = 255;
};

// The command line; false, with the reason printed, when the simulator cannot start with it.
bool parseOptions(const QCoreApplication &app, Options *o)
{
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
        return false;
    }
    o->portsDir = QDir(parser.value(portsOption)).absolutePath();
    QDir().mkpath(o->portsDir);
    o->count = parser.value(countOption).toInt();
    o->first = parser.value(firstOption).toInt();
    o->numberBase = parser.value(numberOption).toULongLong();
    o->control = parser.isSet(controlOption) ? parser.value(controlOption)
                                             : o->portsDir + QStringLiteral("/modemsim.sock");
    o->model = parser.value(modelOption);
    o->storage = parser.value(storageOption).toInt();
    if (o->count < 1 || o->first < 1) {
        std::fprintf(stderr, "velmora-modemsim: --count and --first must be 1 or more\n");
        return false;
    }
    return true;
}

// The modems with their links; false, with the reason printed, when a link cannot be made.
bool createModems(const Options &o, SimNetwork *network, QObject *parent, QList<SimModem *> *modems)
{
    for (int i = 0; i < o.count; ++i) {
        const int port = o.first + i;
        auto *modem = new SimModem(port, QStringLiteral("+%1").arg(o.numberBase + qulonglong(port)),
                                   network, parent);
        modem->setModel(o.model);
        modem->setCapacity(qMax(1, o.storage));
        QString error;
        if (!modem->create(o.portsDir + QStringLiteral("/com%1").arg(port), &error)) {
            std::fprintf(stderr, "velmora-modemsim: %s\n", qPrintable(error));
            return false;
        }
        network->add(modem);
        modems->append(modem);
    }
    return true;
}

void quitOnSignals(QCoreApplication &app)
{
    if (::pipe(signalPipe) != 0)
        return;
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-modemsim"));
    Options options;
    if (!parseOptions(app, &options))
        return 2;

    SimNetwork network;
    QList<SimModem *> modems;
    if (!createModems(options, &network, &app, &modems))
        return 1;
    ControlServer server(&network);
    QString error;
    if (!server.listen(options.control, &error)) {
        std::fprintf(stderr, "velmora-modemsim: %s: %s\n", qPrintable(options.control),
                     qPrintable(error));
        return 1;
    }
    QObject::connect(&server, &ControlServer::quitRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    quitOnSignals(app);

    std::printf("ready %d %s\n", options.count, qPrintable(options.control));
    std::fflush(stdout);
    const int rc = app.exec();
    qDeleteAll(modems); // removes the links
    return rc;
}
