#include "smpplistener.h"

#include "api/httplistener.h"

#include "smppsettings.h"

#include <QSslConfiguration>
#include <QSslServer>

namespace SmppListener {

std::unique_ptr<QTcpServer> listen(const SmppSettings &s, QString *error)
{
    std::unique_ptr<QTcpServer> server;
    if (s.tls()) {
        QSslConfiguration conf;
        if (!HttpListener::readTls({s.tlsCertificate, s.tlsKey}, &conf, error))
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
