// Stands in for regsvr32 in the launcher tests: records each command line (arguments separated
// by tabs) in $VELMORA_TEST_REGSVR32_LOG, then registers the component the way the real tool
// does.
#include "common/componentloader.h"
#include "common/registryfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString log = qEnvironmentVariable("VELMORA_TEST_REGSVR32_LOG");
    {
        QLockFile lock(log + QStringLiteral(".lock"));
        lock.lock();
        QFile file(log);
        if (file.open(QIODevice::Append))
            file.write(args.join(QLatin1Char('\t')).toUtf8() + '\n');
    }
    if (args.size() != 2 || args.at(1) != QLatin1String("-s"))
        return 2;
    QString error;
    const QString progId = ComponentLoader::progIdOf(args.at(0), &error);
    if (progId.isEmpty())
        return 1;
    const bool ok = RegistryFile::systemRegistry().setValue(
            RegistryFile::classKey(progId), RegistryFile::componentFileValue(),
            QFileInfo(args.at(0)).absoluteFilePath());
    return ok ? 0 : 1;
}
