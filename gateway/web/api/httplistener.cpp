#include "httplistener.h"

#include "guardedsslserver.h"
#include "guardedtcpserver.h"

#include <QFile>
#include <QHttpServer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>

namespace HttpListener {

bool readTls(const Tls &tls, QSslConfiguration *out, QString *error)
{
    QFile certFile(tls.certificate);
    QFile keyFile(tls.key);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取证书或私钥：%1 %2")
                         .arg(certFile.errorString(), keyFile.errorString());
        return false;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
    const QByteArray keyPem = keyFile.readAll();
    QSslKey key(keyPem, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyPem, QSsl::Ec, QSsl::Pem);
    if (chain.isEmpty() || key.isNull()) {
        *error = QStringLiteral("证书或私钥不是有效的PEM文件");
        return false;
    }
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setLocalCertificateChain(chain);
    conf.setPrivateKey(key);
    conf.setPeerVerifyMode(QSslSocket::VerifyNone);
    *out = conf;
    return true;
}


QStringList ownNames(const QHostAddress &address)
{
    if (!address.isLoopback())
        return {};
    QStringList names{QStringLiteral("localhost"), QStringLiteral("127.0.0.1"),
                      QStringLiteral("::1")};
    names << address.toString().toLower();
    return names;
}

quint16 listen(QHttpServer &server, const QHostAddress &address, quint16 port,
               const HttpLimits &limits, const Tls &tls, QString *error)
{
    QTcpServer *listener = nullptr;
    if (tls.enabled()) {
        QSslConfiguration conf;
        if (!readTls(tls, &conf, error))
            return 0;
        auto *ssl = new GuardedSslServer(limits);
        ssl->setSslConfiguration(conf);
        listener = ssl;
    } else {
        listener = new GuardedTcpServer(limits);
    }
    if (!listener->listen(address, port)) {
        *error = listener->errorString();
        delete listener;
        return 0;
    }
    server.bind(listener);
    return listener->serverPort();
}

} // namespace HttpListener
