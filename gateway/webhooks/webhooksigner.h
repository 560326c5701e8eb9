#pragma once

#include <QByteArray>
#include <QString>

// Signatures as the Standard Webhooks convention makes them, so that receivers verify with the
// libraries they already have: HMAC-SHA256 over "id.timestamp.body", base64, after "v1,".
class WebhookSigner
{
public:
    // The key of a secret written whsec_<base64>; empty when the text is not one.
    static QByteArray keyOf(const QString &secret);
    static QByteArray signature(const QByteArray &key, const QString &id, qint64 timestamp,
                                const QByteArray &body);
};
