// Stands in for the gateway in the launcher and updater tests: appends to
// $VELMORA_TEST_GATEWAY_REPORT what it created through the registration of the two components.
#include "common/componentloader.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QFile report(qEnvironmentVariable("VELMORA_TEST_GATEWAY_REPORT"));
    if (!report.open(QIODevice::Append))
        return 1;
    ComponentLoader loader = ComponentLoader::forSystemRegistry();
    for (const char *progId : {"SMSCONTROLLib.Smscontrol", "WinXPC_Engine.WindowsXPC"}) {
        QObject *object = loader.create(QString::fromLatin1(progId));
        if (object)
            report.write("created " + object->objectName().toUtf8() + '\n');
        else
            report.write("failed " + QByteArray(progId) + ' ' + loader.errorString().toUtf8()
                         + '\n');
        delete object;
    }
    return 0;
}
