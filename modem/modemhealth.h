#pragma once

#include "at/atchannel.h"
#include "modemsettings.h"

#include <QObject>
#include <QPointer>

struct ModemNetworkStatus
{
    QString signal;       // "rssi,ber" of AT+CSQ
    QString registration; // <stat> of AT+CREG?
    QString operatorName; // <oper> of AT+COPS?
};

// Signal, registration and operator of an open modem: read on request without piling up
// behind messages, and followed through +CREG reports.
class ModemHealth : public QObject
{
    Q_OBJECT

public:
    explicit ModemHealth(const ModemSettings &settings, QObject *parent = nullptr);

    void attach(AtChannel *channel) { m_channel = channel; }
    // The device is gone: what was known of it no longer holds.
    void detach();

    const ModemNetworkStatus &status() const { return m_status; }
    // 1 home network, 5 roaming.
    bool isRegistered() const;
    // Signal, registration and operator.
    void refreshAll();
    // Signal and registration, unless a reading of them is still on its way.
    void refresh();
    // A +CREG report.
    void onRegistrationReport(const QByteArray &line);

Q_SIGNALS:
    void healthChanged();
    void registrationChanged(bool registered);

private:
    void queueQueries();
    void setRegistration(const QByteArray &stat);
    void setSignal(const QString &signal);

    const ModemSettings &m_settings;
    QPointer<AtChannel> m_channel;
    ModemNetworkStatus m_status;
    int m_queriesQueued = 0;
};
