#include "devicerecheck.h"

#include "modemapi/modemcontrol.h"

#include <QTimer>
#include <utility>

DeviceRecheck::DeviceRecheck(DevicePool &pool, QObject *parent) : QObject(parent), m_pool(pool) { }

void DeviceRecheck::ask(int d, const QString &notOpen, Done done)
{
    ModemControl *control = d >= 0 && d < DevicePool::Count ? m_pool.control(d) : nullptr;
    if (!notOpen.isEmpty() || !control) {
        if (done)
            done({notOpen.isEmpty() ? QStringLiteral("短信猫未连接") : notOpen});
        return;
    }
    QList<Done> &waiting = m_waiting[std::size_t(d)];
    waiting.append(std::move(done));
    if (waiting.size() > 1)
        return;
    m_finished[std::size_t(d)] = connect(control, &ModemControl::CheckFinished, this, [this, d] {
        ModemControl *c = m_pool.control(d);
        answer(d,
               c ? c->infoText(ModemControl::InfoCheckReport).split(QLatin1Char('\n'))
                 : QStringList());
    });
    const quint64 serial = ++m_serial[std::size_t(d)];
    if (!control->Check()) {
        answer(d, {QStringLiteral("短信猫未连接")});
        return;
    }
    QTimer::singleShot(GuardMs, this, [this, d, serial] {
        if (m_serial[std::size_t(d)] == serial && !m_waiting[std::size_t(d)].isEmpty())
            answer(d, {QStringLiteral("短信猫未及时应答")});
    });
}

void DeviceRecheck::answer(int d, const QStringList &report)
{
    disconnect(m_finished[std::size_t(d)]);
    ++m_serial[std::size_t(d)];
    const QList<Done> waiting = std::exchange(m_waiting[std::size_t(d)], {});
    for (const Done &done : waiting) {
        if (done)
            done(report);
    }
}
