#include "smpplistener.h"

#include "smppsettings.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>

namespace {

bool readTls(const SmppSettings &s, QSslConfiguration *out, QString *error)
{
    QFile certFile(s.tlsCertificate);
    QFile keyFile(s.tlsKey);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取证书或私钥：%1 %2").arg(s.tlsCertificate, s.tlsKey);
        return false;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
    const QByteArray keyPem = keyFile.readAll();
    QSslKey key(keyPem, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyPem, QSsl::Ec, QSsl::Pem);
    if (chain.isEmpty() || key.isNull()) {
        *error = QStringLiteral("证书或私钥不是PEM格式：%1 %2").arg(s.tlsCertificate, s.tlsKey);
        return false;
    }
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setLocalCertificateChain(chain);
    conf.setPrivateKey(key);
    conf.setPeerVerifyMode(QSslSocket::VerifyNone);
    *out = conf;
    return true;
}

} // namespace

namespace SmppListener {

std::unique_ptr<QTcpServer> listen(const SmppSettings &s, QString *error)
{
    std::unique_ptr<QTcpServer> server;
    if (s.tls()) {
        QSslConfiguration conf;
        if (!readTls(s, &conf, error))
            return nullptr;
        auto ssl = std::make_unique<QSslServer>();
        ssl->setSslConfiguration(conf);
        server = std::move(ssl);
    } else {
        server = std::make_unique<QTcpServer>();
    }
    if (!server->listen(s.address, s.port)) {
        *error = server->errorString();
        return nullptr;
    }
    return server;
}

} // namespace SmppListener
