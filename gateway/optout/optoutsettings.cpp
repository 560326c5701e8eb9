#include "optoutsettings.h"

#include "common/inifile.h"

namespace {

const QString Section = QStringLiteral("OptOut");

QStringList listOf(const QString &text)
{
    QStringList items;
    for (const QString &item : text.split(QLatin1Char(','))) {
        if (!item.trimmed().isEmpty())
            items << item.trimmed();
    }
    return items;
}

} // namespace

OptOutSettings OptOutSettings::read(const IniFile &ini,
                                    const std::function<void(const QString &)> &log)
{
    OptOutSettings s;
    s.enabled = ini.read(Section, QStringLiteral("Enabled"), QStringLiteral("0")).trimmed()
            == QLatin1String("1");
    s.keywords = OptOutKeywords(
            listOf(ini.read(Section, QStringLiteral("Keywords"), defaultKeywords())));
    s.optInKeywords =
            OptOutKeywords(listOf(ini.read(Section, QStringLiteral("OptInKeywords"), QString())));
    s.reply = ini.read(Section, QStringLiteral("Reply"), QString());
    s.countryCode = ini.read(Section, QStringLiteral("CountryCode"), QString()).trimmed();
    if (s.countryCode.startsWith(QLatin1Char('+')))
        s.countryCode.remove(0, 1);
    if (!s.countryCode.isEmpty()
        && !std::all_of(s.countryCode.begin(), s.countryCode.end(),
                        [](QChar c) { return c.isDigit(); })) {
        if (log)
            log(QStringLiteral("配置项[OptOut] CountryCode的值“%1”不是国家代码，号码按原样比较")
                        .arg(s.countryCode));
        s.countryCode.clear();
    }
    if (s.enabled && s.keywords.isEmpty() && log)
        log(QStringLiteral("配置项[OptOut] Keywords为空，不会有号码退订"));
    return s;
}
