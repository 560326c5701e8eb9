#include "webhooksettings.h"

#include "webhooksigner.h"

#include "common/inifile.h"

#include <QUrl>

namespace {

const QString Section = QStringLiteral("Webhooks");

QStringList listOf(const QString &text)
{
    QStringList items;
    for (const QString &item : text.split(QLatin1Char(','))) {
        if (!item.trimmed().isEmpty())
            items << item.trimmed();
    }
    return items;
}

int seconds(const IniFile &ini, const QString &key, int fallback,
            const std::function<void(const QString &)> &log)
{
    const QString text = ini.read(Section, key, QString::number(fallback));
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (ok && value > 0)
        return value;
    log(QStringLiteral("配置项%1的值“%2”不是有效的秒数，改用%3").arg(key, text).arg(fallback));
    return fallback;
}

} // namespace

QStringList WebhookSettings::allEvents()
{
    return {QStringLiteral("message.received"), QStringLiteral("message.sent"),
            QStringLiteral("message.failed"), QStringLiteral("message.delivered"),
            QStringLiteral("number.opted_out"), QStringLiteral("device.balance_low")};
}

WebhookSettings WebhookSettings::read(const IniFile &ini,
                                      const std::function<void(const QString &)> &log)
{
    WebhookSettings s;
    for (const QString &url : listOf(ini.read(Section, QStringLiteral("Url"), QString()))) {
        const QUrl parsed(url, QUrl::StrictMode);
        if (parsed.isValid() && !parsed.host().isEmpty()
            && (parsed.scheme() == QLatin1String("http")
                || parsed.scheme() == QLatin1String("https")))
            s.urls << url;
        else
            log(QStringLiteral("配置项Url中的“%1”不是有效的http或https地址，已忽略").arg(url));
    }
    if (s.urls.isEmpty())
        return s;
    const QString secret = ini.read(Section, QStringLiteral("Secret"), QString()).trimmed();
    s.key = WebhookSigner::keyOf(secret);
    if (s.key.isEmpty())
        log(QStringLiteral("配置项Secret不是whsec_加base64编码的密钥，Webhook不发送"));
    const QStringList known = allEvents();
    // Absent, the key means every event.
    const QString events =
            ini.read(Section, QStringLiteral("Events"), known.join(QLatin1Char(',')));
    for (const QString &event : listOf(events)) {
        if (known.contains(event))
            s.events.insert(event);
        else
            log(QStringLiteral("配置项Events中的“%1”不是已知的事件，已忽略").arg(event));
    }
    s.retryFirstSeconds = seconds(ini, QStringLiteral("RetryFirst"), s.retryFirstSeconds, log);
    s.retryMaxSeconds = seconds(ini, QStringLiteral("RetryMax"), s.retryMaxSeconds, log);
    s.retryForSeconds = seconds(ini, QStringLiteral("RetryFor"), s.retryForSeconds, log);
    return s;
}
