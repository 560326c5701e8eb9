#include "balancesettings.h"

#include "common/inifile.h"

namespace {

const QString Section = QStringLiteral("Balance");

QString value(const IniFile &ini, const QString &label, const QString &key)
{
    const QString all = ini.read(Section, key, QString());
    return ini.read(Section + QLatin1Char('.') + label, key, all).trimmed();
}

QRegularExpression expression(const QString &text, const QString &key, const QString &label,
                              const BalanceSettings::Log &log)
{
    QRegularExpression re(text);
    if (!text.isEmpty() && (!re.isValid() || re.captureCount() < 1) && log) {
        log(QStringLiteral("%1口的配置项[Balance] %2“%3”不是含一个分组的正则表达式")
                    .arg(label, key, text));
        return QRegularExpression(QStringLiteral("("), QRegularExpression::NoPatternOption);
    }
    return re;
}

std::optional<double> number(const QString &text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

} // namespace

BalanceSettings BalanceSettings::read(const IniFile &ini, const QString &label, const Log &log)
{
    BalanceSettings s;
    s.code = value(ini, label, QStringLiteral("Code"));
    s.pattern = expression(value(ini, label, QStringLiteral("Pattern")), QStringLiteral("Pattern"),
                           label, log);
    if (s.code.isEmpty() || value(ini, label, QStringLiteral("Pattern")).isEmpty())
        s.pattern = QRegularExpression(QStringLiteral("("));
    const QString every = value(ini, label, QStringLiteral("Every"));
    if (const auto hours = number(every); hours && *hours > 0)
        s.everyHours = *hours;
    else if (!every.isEmpty() && log)
        log(QStringLiteral("%1口的配置项[Balance] Every“%2”不是小时数，改用24").arg(label, every));
    const QString low = value(ini, label, QStringLiteral("Low"));
    s.low = number(low);
    if (!low.isEmpty() && !s.low && log)
        log(QStringLiteral("%1口的配置项[Balance] Low“%2”不是金额，不设下限").arg(label, low));
    s.stopBelowLow = value(ini, label, QStringLiteral("StopBelowLow")) == QLatin1String("1");
    s.numberCode = value(ini, label, QStringLiteral("NumberCode"));
    const QString numberPattern = value(ini, label, QStringLiteral("NumberPattern"));
    s.numberPattern = numberPattern.isEmpty()
            ? QRegularExpression(QStringLiteral("("))
            : expression(numberPattern, QStringLiteral("NumberPattern"), label, log);
    return s;
}

int BalanceSettings::ussdTimeoutSeconds(const IniFile &ini)
{
    bool ok = false;
    const int s = ini.read(QStringLiteral("Ussd"), QStringLiteral("Timeout"), QStringLiteral("30"))
                          .trimmed()
                          .toInt(&ok);
    return ok && s > 0 ? s : 30;
}

std::optional<double> BalanceSettings::amountIn(const QRegularExpression &pattern,
                                                const QString &text)
{
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch() || pattern.captureCount() < 1)
        return std::nullopt;
    QString group = m.captured(1).trimmed();
    group.remove(QLatin1Char(','));
    group.remove(QLatin1Char(' '));
    // A currency sign or unit the pattern let into the group.
    while (!group.isEmpty() && !group.back().isDigit())
        group.chop(1);
    while (!group.isEmpty() && !group.front().isDigit() && group.front() != u'-')
        group.remove(0, 1);
    return number(group);
}

QString BalanceSettings::numberIn(const QRegularExpression &pattern, const QString &text)
{
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch() || pattern.captureCount() < 1)
        return {};
    QString n = m.captured(1).trimmed();
    n.remove(QLatin1Char(' '));
    n.remove(QLatin1Char('-'));
    return n;
}
