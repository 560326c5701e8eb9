#include "webhooksigner.h"

#include <QMessageAuthenticationCode>

QByteArray WebhookSigner::keyOf(const QString &secret)
{
    const QLatin1String prefix("whsec_");
    if (!secret.startsWith(prefix))
        return {};
    const auto decoded = QByteArray::fromBase64Encoding(secret.mid(prefix.size()).toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? *decoded : QByteArray();
}

QByteArray WebhookSigner::signature(const QByteArray &key, const QString &id, qint64 timestamp,
                                    const QByteArray &body)
{
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, key);
    mac.addData(id.toUtf8());
    mac.addData(".");
    mac.addData(QByteArray::number(timestamp));
    mac.addData(".");
    mac.addData(body);
    return QByteArrayLiteral("v1,") + mac.result().toBase64();
}
