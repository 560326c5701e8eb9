#include "settings.h"

#include "common/inifile.h"
#include "common/serialportnames.h"
#include "policyloader.h"

namespace {

QStringList splitList(const QString &text)
{
    if (text.isEmpty())
        return {};
    return text.split(QLatin1Char(','));
}

bool isWholeNumber(const QString &text, int *value)
{
    bool ok = false;
    *value = text.trimmed().toInt(&ok);
    return ok;
}

// A device whose port or rate cannot be used would otherwise only ever show a failed connection.
void checkDevices(Settings &s, const std::function<void(const QString &)> &log)
{
    for (short d = 0; d < s.DeviceCount; ++d) {
        int rate = 0;
        if (!isWholeNumber(s.DeviceRates.at(d), &rate) || rate <= 0) {
            log(QStringLiteral("配置项Rate的值“%1”不是有效的波特率，改用%2")
                        .arg(s.DeviceRates.at(d), QString::number(Settings::DefaultBaudRate)));
            s.DeviceRates[d] = QString::number(Settings::DefaultBaudRate);
        }
        int port = 0;
        if (!isWholeNumber(s.DevicePorts.at(d), &port) || SerialPortNames::resolve(port).isEmpty())
            log(QStringLiteral("配置项Port的值“%1”不对应任何串口，该设备无法连接")
                        .arg(s.DevicePorts.at(d)));
    }
}

} // namespace

QString Settings::defaultConnectionString(const QString &programDir)
{
    return QStringLiteral("Provider=SQLite; Data Source=") + programDir
            + QStringLiteral("/DataBase/SMS.db; User Id=admin; Password=");
}

namespace {

// A whole number of [Service] key from low on, or the default with one line that says so.
int serviceNumber(const IniFile &ini, const QString &key, int fallback, int low,
                  const QString &unit, const std::function<void(const QString &)> &log)
{
    const QString text =
            ini.read(QStringLiteral("Service"), key, QString::number(fallback)).trimmed();
    bool ok = false;
    const int value = text.toInt(&ok);
    if (ok && value >= low)
        return value;
    log(QStringLiteral("配置项%1的值“%2”不是%3，使用%4").arg(key, text, unit).arg(fallback));
    return fallback;
}

void readServiceTimes(const IniFile &ini, Settings &s,
                      const std::function<void(const QString &)> &log)
{
    s.stopWaitMs =
            qMin(serviceNumber(ini, QStringLiteral("StopWait"), 10, 0, QStringLiteral("秒数"), log),
                 600)
            * 1000;
    s.stuckAfterMinutes =
            serviceNumber(ini, QStringLiteral("StuckAfter"), 10, 1, QStringLiteral("分钟数"), log);
}

// RCount is only checked, so that a bad value is told; nothing else reads it.
void readScanTimes(const IniFile &ini, Settings &s, const std::function<void(const QString &)> &log)
{
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
}

void countDevices(Settings &s, const std::function<void(const QString &)> &log)
{
    s.listedDevices = int(s.DevicePorts.size());
    // Every port needs its rate; a short Rate list would leave devices without one.
    if (s.DeviceRates.size() < s.DevicePorts.size()) {
        log(QStringLiteral("配置项Rate的个数(%1)少于Port的个数(%2)，缺少的波特率按9600处理")
                    .arg(s.DeviceRates.size())
                    .arg(s.DevicePorts.size()));
        while (s.DeviceRates.size() < s.DevicePorts.size())
            s.DeviceRates << QString::number(Settings::DefaultBaudRate);
    }
    s.DeviceCount = short(qMin(s.listedDevices, 32767));
    if (s.DeviceCount > Settings::MaxDevices) {
        log(QStringLiteral("可用端口超过128个，本程序只支持最大128口，更多的串口将不被使用!"));
        s.DeviceCount = Settings::MaxDevices;
    }
}

} // namespace

Settings LoadSettings(const IniFile &file, const QString &programDir,
                      const std::function<void(const QString &)> &log)
{
    // A file saved as UTF-16 or overwritten with binary data would read as all defaults, which
    // looks to the operator like a gateway that ignores its configuration.
    const bool readable = file.holdsText();
    if (!readable)
        log(QStringLiteral(
                    "配置文件%1不是可读的文本（如UTF-16编码或二进制内容），全部设置使用默认值")
                    .arg(file.path()));
    const IniFile ini = readable ? file : IniFile(QString());
    Settings s;
    s.ConnectionString = ini.read(QStringLiteral("DBCon"), QStringLiteral("ConSTR"),
                                  Settings::defaultConnectionString(programDir));
    s.DevicePorts = splitList(
            ini.read(QStringLiteral("SMSCom"), QStringLiteral("Port"), QStringLiteral("1")));
    s.DeviceRates = splitList(
            ini.read(QStringLiteral("SMSCom"), QStringLiteral("Rate"), QStringLiteral("9600")));
    ini.read(QStringLiteral("SMSCom"), QStringLiteral("SMSCenter"), QString());
    s.ForwardMobile = ini.read(QStringLiteral("SMSCom"), QStringLiteral("RMobile"), QString());
    s.GatewayName = ini.read(QStringLiteral("DBCon"), QStringLiteral("GatewayName"), QString());
    s.StatusReport =
            ini.read(QStringLiteral("SMSCom"), QStringLiteral("StatusReport"), QStringLiteral("0"))
                    .trimmed()
            == QLatin1String("1");

    s.watchQueue =
            ini.read(QStringLiteral("DBCon"), QStringLiteral("WatchQueue"), QStringLiteral("1"))
                    .trimmed()
            != QLatin1String("0");
    readServiceTimes(ini, s, log);

    readScanTimes(ini, s, log);
    countDevices(s, log);
    checkDevices(s, log);
    s.Policy = LoadPolicy(ini, s.DevicePorts.mid(0, s.DeviceCount), log);
    return s;
}

bool WriteDeviceList(const IniFile &ini, const QString &ports, const QString &rates,
                     const std::function<void(const QString &)> &log)
{
    QString error;
    if (ini.write(QStringLiteral("SMSCom"), QStringLiteral("Port"), ports, &error)
        && ini.write(QStringLiteral("SMSCom"), QStringLiteral("Rate"), rates, &error))
        return true;
    log(QStringLiteral("写入配置文件%1失败（%2），设备列表的修改未保存").arg(ini.path(), error));
    return false;
}
