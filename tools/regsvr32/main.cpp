// regsvr32 FILE [-s] [-u]: records (or with -u removes) the ProgID a component library serves
// and the library's absolute path in the registry file of the system directory.
#include "common/componentloader.h"
#include "common/registryfile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

namespace {

bool isFlag(const QString &arg, QLatin1Char letter)
{
    return arg.size() == 2 && (arg[0] == QLatin1Char('-') || arg[0] == QLatin1Char('/'))
            && arg[1].toLower() == letter;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bool silent = false;
    bool unregister = false;
    QString file;
    for (const QString &arg : app.arguments().mid(1)) {
        if (isFlag(arg, QLatin1Char('s')))
            silent = true;
        else if (isFlag(arg, QLatin1Char('u')))
            unregister = true;
        else if (file.isEmpty())
            file = arg;
    }
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (file.isEmpty()) {
        err << "usage: regsvr32 FILE [-s] [-u]\n";
        return 2;
    }
    const QString path = QFileInfo(file).absoluteFilePath();
    QString error;
    const QString progId = ComponentLoader::progIdOf(path, &error);
    if (progId.isEmpty()) {
        err << "regsvr32: " << path << ": " << error << '\n';
        return 1;
    }
    const RegistryFile registry = RegistryFile::systemRegistry();
    const QString key = RegistryFile::classKey(progId);
    const bool ok = unregister ? registry.removeValue(key, RegistryFile::componentFileValue())
                               : registry.setValue(key, RegistryFile::componentFileValue(), path);
    if (!ok) {
        err << "regsvr32: cannot write " << registry.path() << '\n';
        return 1;
    }
    if (!silent) {
        out << (unregister ? "unregistered " : "registered ") << progId << " -> " << path << '\n';
    }
    return 0;
}
