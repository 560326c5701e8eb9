#include "serialportnames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <algorithm>

namespace SerialPortNames {
namespace {

struct Range
{
    int first;
    const char *prefix;
};
constexpr Range WineRanges[] = {{1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}};

constexpr const char ActiveConsolesFile[] = "/sys/class/tty/console/active";

QString activeConsoles()
{
    QFile file{QLatin1String(ActiveConsolesFile)};
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll());
}

} // namespace

QString portsDir()
{
    const QString fromEnv = qEnvironmentVariable("VELMORA_PORTS_DIR");
    if (!fromEnv.isEmpty())
        return QDir::cleanPath(fromEnv);
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ports");
}

QString wineDevice(int n)
{
    for (const Range &r : WineRanges) {
        if (n >= r.first && n < r.first + 32)
            return QLatin1String(r.prefix) + QString::number(n - r.first);
    }
    return {};
}

int comNumberOfDevice(const QString &devicePath)
{
    for (const Range &r : WineRanges) {
        const QLatin1String prefix(r.prefix);
        if (!devicePath.startsWith(prefix))
            continue;
        bool ok = false;
        const int k = devicePath.mid(prefix.size()).toInt(&ok);
        if (ok && k >= 0 && k < 32)
            return r.first + k;
    }
    return 0;
}

QString resolve(int n, const QString &dir)
{
    if (n < 1)
        return {};
    const QString link = dir + QStringLiteral("/com") + QString::number(n);
    const QFileInfo info(link);
    if (info.exists() || info.isSymLink())
        return link;
    return wineDevice(n);
}

QString resolve(int n)
{
    return resolve(n, portsDir());
}

QList<int> existing(const QString &dir)
{
    QList<int> out;
    const QDir ports(dir);
    const QFileInfoList links = ports.entryInfoList(
            {QStringLiteral("com*")}, QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &f : links) {
        bool ok = false;
        const int n = f.fileName().mid(3).toInt(&ok);
        if (ok && n > 0 && f.exists())
            out.append(n);
    }
    const QString consoles = activeConsoles();
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        const int n = comNumberOfDevice(info.systemLocation());
        // A ports link of the same number stands in for the system device.
        if (n > 0 && !QFileInfo::exists(dir + QStringLiteral("/com") + QString::number(n))
            && !isConsole(info.systemLocation(), consoles))
            out.append(n);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

QList<int> existing()
{
    return existing(portsDir());
}

bool isConsole(const QString &devicePath)
{
    return isConsole(devicePath, activeConsoles());
}

bool isConsole(const QString &devicePath, const QString &activeList)
{
    const QFileInfo info(devicePath);
    const QString canonical = info.canonicalFilePath();
    const QString path = canonical.isEmpty() ? QDir::cleanPath(devicePath) : canonical;
    if (!path.startsWith(QLatin1String("/dev/")))
        return false;
    const QString name = path.mid(5);
    static const QRegularExpression terminal(QStringLiteral("^(console|tty|tty\\d+|vc/\\d+)$"));
    if (terminal.match(name).hasMatch())
        return true;
    // The kernel lists each console by its tty name: "ttyS0", "ttyUSB0", "hvc0".
    const QStringList active =
            activeList.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    return active.contains(name);
}

} // namespace SerialPortNames
