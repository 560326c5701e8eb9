#pragma once

#include "at/atchannel.h"
#include "modemsettings.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

// Incoming voice calls: RING and the caller's number from +CLIP, announced once per call, and
// hung up on request.
class ModemCalls : public QObject
{
    Q_OBJECT

public:
    explicit ModemCalls(const ModemSettings &settings, QObject *parent = nullptr);

    void attach(AtChannel *channel) { m_channel = channel; }
    // The port closes: a call ringing now is no longer seen.
    void detach();

    bool isRinging() const { return m_ringing; }
    QString callerNumber() const { return m_callerNumber; }
    void hangUp();

    void onRing();
    // +CLIP line.
    void onCallerId(const QByteArray &line);
    // NO CARRIER, or a vendor's own end of call.
    void onCallEnded() { m_ringing = false; }

Q_SIGNALS:
    void ringing();

private:
    void announce();

    const ModemSettings &m_settings;
    QPointer<AtChannel> m_channel;
    bool m_ringing = false;
    bool m_announcePending = false;
    QString m_callerNumber;
    QTimer m_clipWait;
    QTimer m_ringExpiry;
};
