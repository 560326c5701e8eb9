#include "settings.h"

#include "common/inifile.h"

namespace {

QStringList splitList(const QString &text)
{
    if (text.isEmpty())
        return {};
    return text.split(QLatin1Char(','));
}

} // namespace

QString Settings::defaultConnectionString(const QString &programDir)
{
    return QStringLiteral("Provider=SQLite; Data Source=") + programDir
            + QStringLiteral("/DataBase/SMS.db; User Id=admin; Password=");
}

Settings LoadSettings(const IniFile &ini, const QString &programDir,
                      const std::function<void(const QString &)> &log)
{
    Settings s;
    s.ConnectionString = ini.read(QStringLiteral("DBCon"), QStringLiteral("ConSTR"),
                                  Settings::defaultConnectionString(programDir));
    s.DevicePorts = splitList(
            ini.read(QStringLiteral("SMSCom"), QStringLiteral("Port"), QStringLiteral("1")));
    s.DeviceRates = splitList(
            ini.read(QStringLiteral("SMSCom"), QStringLiteral("Rate"), QStringLiteral("9600")));
    ini.read(QStringLiteral("SMSCom"), QStringLiteral("SMSCenter"), QString());
    s.ForwardMobile = ini.read(QStringLiteral("SMSCom"), QStringLiteral("RMobile"), QString());

    const QString rcount =
            ini.read(QStringLiteral("DBCon"), QStringLiteral("RCount"), QStringLiteral("3"));
    bool ok = false;
    rcount.trimmed().toInt(&ok);
    if (!ok)
        log(QStringLiteral("配置项RCount的值“%1”不是整数，已忽略").arg(rcount));

    const QString scan =
            ini.read(QStringLiteral("DBCon"), QStringLiteral("ScanDT"), QStringLiteral("15000"));
    const int interval = scan.trimmed().toInt(&ok);
    if (ok && interval >= 0) {
        s.scanIntervalMs = interval;
    } else {
        log(QStringLiteral("配置项ScanDT的值“%1”不是有效的毫秒数，改用%2")
                    .arg(scan)
                    .arg(Settings::DefaultScanIntervalMs));
        s.scanIntervalMs = Settings::DefaultScanIntervalMs;
    }

    s.listedDevices = int(s.DevicePorts.size());
    // Every port needs its rate; a short Rate list would leave devices without one.
    if (s.DeviceRates.size() < s.DevicePorts.size()) {
        log(QStringLiteral("配置项Rate的个数(%1)少于Port的个数(%2)，缺少的波特率按9600处理")
                    .arg(s.DeviceRates.size())
                    .arg(s.DevicePorts.size()));
        while (s.DeviceRates.size() < s.DevicePorts.size())
            s.DeviceRates << QStringLiteral("9600");
    }
    s.DeviceCount = short(qMin(s.listedDevices, 32767));
    if (s.DeviceCount > Settings::MaxDevices) {
        log(QStringLiteral("可用端口超过128个，本程序只支持最大128口，更多的串口将不被使用!"));
        s.DeviceCount = Settings::MaxDevices;
    }
    return s;
}
