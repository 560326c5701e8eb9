#pragma once

#include <QString>
#include <memory>

class QTcpServer;
struct SmppSettings;

// A listening socket for the settings' address and port, over TLS when a certificate and its
// key (PEM files) are named. nullptr with *error set when it cannot listen.
namespace SmppListener {

std::unique_ptr<QTcpServer> listen(const SmppSettings &settings, QString *error);

} // namespace SmppListener
