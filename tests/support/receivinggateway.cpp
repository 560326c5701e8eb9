// The gateway engine without its windows, for tests that kill it mid-flow: the program folder
// is the only argument, modem controls come from the registry of $VELMORA_SYSTEM_DIR and ports
// from $VELMORA_PORTS_DIR. Starts the service, says "started" and runs until it is killed.

#include "recordingprompter.h"

#include "common/clock.h"
#include "common/componentloader.h"
#include "core/activitylog.h"
#include "engine/service.h"
#include "gatewayparts.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM-DIR\n", argv[0]);
        return 2;
    }
    RecordingPrompter prompter;
    GatewayParts gateway(QString::fromLocal8Bit(argv[1]), SystemClock::instance(), prompter);
    ComponentLoader loader = ComponentLoader::forSystemRegistry();
    QString error;
    if (!gateway.pool().createRegistered(loader, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    // The activity log on standard error, for the test's output when something goes wrong.
    QObject::connect(&gateway.log(), &ActivityLog::textAppended, &gateway,
                     [](const QString &piece) { std::fprintf(stderr, "%s", qPrintable(piece)); });
    gateway.FormLoad();
    // As the window and the service start it: with the webhooks of Config.ini.
    gateway.start();
    std::printf("started\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
