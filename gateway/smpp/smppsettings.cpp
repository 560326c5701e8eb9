#include "smppsettings.h"

#include "common/inifile.h"

namespace {

const QString Section = QStringLiteral("Smpp");

int number(const IniFile &ini, const QString &key, int fallback, int min, int max,
           QStringList *problems)
{
    const QString text = ini.read(Section, key, {}).trimmed();
    if (text.isEmpty())
        return fallback;
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < min || v > max) {
        *problems << QStringLiteral("[Smpp] %1=%2 无效（%3至%4），使用%5")
                             .arg(key, text)
                             .arg(min)
                             .arg(max)
                             .arg(fallback);
        return fallback;
    }
    return v;
}

} // namespace

SmppSettings SmppSettings::read(const QString &configPath, QStringList *problems)
{
    const IniFile ini(configPath);
    SmppSettings s;
    s.port = quint16(number(ini, QStringLiteral("Port"), 0, 0, 65535, problems));
    const QString address = ini.read(Section, QStringLiteral("Address"), {}).trimmed();
    if (!address.isEmpty()) {
        const QHostAddress parsed(address);
        if (parsed.isNull()) {
            *problems << QStringLiteral("[Smpp] Address=%1 不是地址，SMPP服务未开启").arg(address);
            s.port = 0;
        } else {
            s.address = parsed;
        }
    }
    s.tlsCertificate = ini.read(Section, QStringLiteral("TlsCertificate"), {}).trimmed();
    s.tlsKey = ini.read(Section, QStringLiteral("TlsKey"), {}).trimmed();
    s.sessionsPerToken =
            number(ini, QStringLiteral("SessionsPerToken"), s.sessionsPerToken, 1, 1000, problems);
    s.rate = number(ini, QStringLiteral("Rate"), s.rate, 1, 1000000, problems);
    s.idleSeconds = number(ini, QStringLiteral("IdleSeconds"), s.idleSeconds, 1, 86400, problems);
    s.windowSize = number(ini, QStringLiteral("Window"), s.windowSize, 1, 100, problems);
    s.keepHours = number(ini, QStringLiteral("KeepHours"), s.keepHours, 1, 24 * 365, problems);
    s.deliveryReports =
            ini.read(QStringLiteral("SMSCom"), QStringLiteral("StatusReport"), {}).trimmed()
            == QLatin1String("1");
    return s;
}
