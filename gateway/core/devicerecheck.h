#pragma once

#include "devicepool.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QStringList>
#include <array>
#include <functional>

// The operator's re-check of a device, asked through its modem control on the engine's thread
// and answered when the modem has, so the loop never waits for it. Asks of one device while
// its check is on its way share the answer; a control that never answers is answered for
// after GuardMs, so no caller waits for ever.
class DeviceRecheck : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(QStringList report)>;

    // Longer than the six commands behind the longest message a modem may be sending.
    static constexpr int GuardMs = 120000;

    explicit DeviceRecheck(DevicePool &pool, QObject *parent = nullptr);

    // Asks device d; with notOpen set, answers that at once instead.
    void ask(int d, const QString &notOpen, Done done);

private:
    void answer(int d, const QStringList &report);

    DevicePool &m_pool;
    std::array<QList<Done>, DevicePool::Count> m_waiting;
    std::array<QMetaObject::Connection, DevicePool::Count> m_finished;
    std::array<quint64, DevicePool::Count> m_serial{};
};
