// velmora-modemsim: simulated GSM modems on pseudo-terminals, linked as comK into a folder,
// with a network between them and a control socket. See README.md.
#include "controlserver.h"
#include "portopenwatcher.h"
#include "simmodem.h"
#include "simnetwork.h"
#include "simoptions.h"

#include <QCoreApplication>
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

// The modems with their links and habits; false, with the reason printed, when a link cannot
// be made.
bool createModems(const SimOptions &o, SimNetwork *network, PortOpenWatcher *openWatcher,
                  QObject *parent, QList<SimModem *> *modems)
{
    for (int i = 0; i < o.count; ++i) {
        const int port = o.first + i;
        auto *modem = new SimModem(port, QStringLiteral("+%1").arg(o.numberBase + qulonglong(port)),
                                   network, parent);
        modem->setModel(o.model);
        modem->setCapacity(qMax(1, o.storage));
        modem->setQuietSpell(o.ignoreFirstAfterMs);
        modem->setSilent(o.silentPorts.contains(port));
        QString error;
        if (!modem->create(o.portsDir + QStringLiteral("/com%1").arg(port), &error)) {
            std::fprintf(stderr, "velmora-modemsim: %s\n", qPrintable(error));
            return false;
        }
        if (o.firstAnswerDelayMs > 0)
            modem->setFirstAnswerDelay(o.firstAnswerDelayMs, openWatcher);
        network->add(modem);
        modems->append(modem);
    }
    for (int port : o.silentPorts) {
        if (!network->byPort(port)) {
            std::fprintf(stderr, "velmora-modemsim: --silent: no modem on port %d\n", port);
            return false;
        }
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
    SimOptions options;
    if (!options.parse(app))
        return 2;

    // Declared before the modems: they leave their watches on the way out.
    PortOpenWatcher openWatcher;
    QString error;
    if (options.firstAnswerDelayMs > 0 && !openWatcher.start(&error)) {
        std::fprintf(stderr, "velmora-modemsim: %s\n", qPrintable(error));
        return 1;
    }
    SimNetwork network;
    QList<SimModem *> modems;
    if (!createModems(options, &network, &openWatcher, &app, &modems)) {
        qDeleteAll(modems);
        return 1;
    }
    ControlServer server(&network);
    if (!server.listen(options.control, &error)) {
        std::fprintf(stderr, "velmora-modemsim: %s: %s\n", qPrintable(options.control),
                     qPrintable(error));
        qDeleteAll(modems);
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
