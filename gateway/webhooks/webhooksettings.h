#pragma once

#include <QByteArray>
#include <QSet>
#include <QStringList>
#include <functional>

class IniFile;

// [Webhooks] in Config.ini: where events go, the key that signs them, which events, and how
// long a receiver that does not take one is tried again.
struct WebhookSettings
{
    QStringList urls;
    QByteArray key; // the secret's bytes, decoded from whsec_<base64>
    QSet<QString> events;
    int retryFirstSeconds = 1;
    int retryMaxSeconds = 3600;
    int retryForSeconds = 24 * 3600;

    bool enabled() const { return !urls.isEmpty() && !key.isEmpty(); }
    bool wants(const QString &event) const { return events.contains(event); }

    static QStringList allEvents();
    // Values that cannot be used are logged and left out (or their default kept).
    static WebhookSettings read(const IniFile &ini,
                                const std::function<void(const QString &)> &log);
};
