#pragma once

#include "httplimits.h"

#include <QHostAddress>
#include <QString>

class QHttpServer;
class QSslConfiguration;

// Puts an HTTP server on an address with the connection limits, over TLS when a certificate
// and its key are named (PEM files).
namespace HttpListener {

struct Tls
{
    QString certificate;
    QString key;
    bool enabled() const { return !certificate.isEmpty() || !key.isEmpty(); }
};

// The certificate chain and its key (RSA or EC) as a server's TLS configuration; false with
// *error in the operator's words when a file cannot be read or holds no PEM.
bool readTls(const Tls &tls, QSslConfiguration *out, QString *error);
// The names a server on this address answers to, for HttpLimits::allowedHosts: its own for a
// loopback address, any (empty) otherwise.
QStringList ownNames(const QHostAddress &address);
// The port listened on, or 0 with *error set.
quint16 listen(QHttpServer &server, const QHostAddress &address, quint16 port,
               const HttpLimits &limits, const Tls &tls, QString *error);

} // namespace HttpListener
