#pragma once

#include <QHostAddress>
#include <QString>

// [Smpp] in Config.ini, read at every start of the service.
struct SmppSettings
{
    quint16 port = 0; // off
    QHostAddress address{QHostAddress::LocalHost};
    QString tlsCertificate;
    QString tlsKey;
    int sessionsPerToken = 4;
    int rate = 100; // submits a second per token
    int idleSeconds = 120;
    int windowSize = 10; // deliver_sm a session may have unanswered
    int keepHours = 72;  // receipts and received messages nobody binds for
    // [SMSCom] StatusReport: receipts then wait for the network's report.
    bool deliveryReports = false;

    bool tls() const { return !tlsCertificate.isEmpty() || !tlsKey.isEmpty(); }
    // The settings of the file; what cannot be used is named in *problems (one line each) and
    // its default kept, a bad port turning the server off.
    static SmppSettings read(const QString &configPath, QStringList *problems);
};
