#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

struct SimSettings;

// A voice call ringing at a simulated modem: RING every second, +CLIP when the modem's settings
// ask for it, until it is hung up or the caller gives up.
class SimCall : public QObject
{
    Q_OBJECT

public:
    using UrcWriter = std::function<void(const QByteArray &)>;

    SimCall(const SimSettings &settings, UrcWriter writeUrc, QObject *parent = nullptr);

    void ring(const QString &caller);
    // ATH or AT+CHUP: counted only when there was a call to hang up.
    void hangUp();
    // The modem lost power or was unplugged: the call is gone without a word.
    void drop();
    bool isRinging() const { return m_ringsLeft > 0; }
    int hangUps() const { return m_hangUps; }

private:
    void ringOnce();

    const SimSettings &m_settings;
    UrcWriter m_writeUrc;
    QString m_caller;
    int m_ringsLeft = 0;
    int m_hangUps = 0;
    QTimer m_ringTimer;
};
