#include "ussdrequests.h"

#include "common/clock.h"
#include "core/logsink.h"
#include "modemapi/modemcontrol.h"

#include <QTimer>

namespace {

QString reasonOf(const QString &error)
{
    if (error == QLatin1String("timeout"))
        return QStringLiteral("网络未及时应答");
    if (error == QLatin1String("unsupported"))
        return QStringLiteral("短信猫或网络不支持该代码");
    if (error == QLatin1String("refused"))
        return QStringLiteral("网络拒绝");
    if (error == QLatin1String("closed"))
        return QStringLiteral("串口已关闭");
    return error;
}

} // namespace

UssdRequests::UssdRequests(DevicePool &pool, LogSink &log, const Clock &clock, QObject *parent)
    : QObject(parent), m_pool(pool), m_log(log), m_clock(clock)
{ }

bool UssdRequests::busy(int d) const
{
    return d >= 0 && d < DevicePool::Count && m_waiting[std::size_t(d)].id != 0;
}

std::optional<UssdResult> UssdRequests::result(qint64 id) const
{
    const auto it = m_results.constFind(id);
    if (it == m_results.constEnd())
        return std::nullopt;
    return *it;
}

UssdResult &UssdRequests::keep(UssdResult result)
{
    m_order.append(result.id);
    while (m_order.size() > KeptResults)
        m_results.remove(m_order.takeFirst());
    return m_results[result.id] = std::move(result);
}

UssdResult UssdRequests::ask(int d, const QString &port, const QString &label,
                             const QString &code, qint64 session, Done done)
{
    UssdResult r;
    r.id = m_nextId++;
    r.port = port;
    r.code = code;
    r.session = session;
    r.askedAt = m_clock.now();
    ModemControl *control = d >= 0 && d < DevicePool::Count ? m_pool.control(d) : nullptr;
    const auto failNow = [&](const QString &error) {
        r.status = UssdResult::Status::Failed;
        r.error = error;
        r.answeredAt = r.askedAt;
        return keep(r);
    };
    if (!control || m_pool.state(d) == DeviceState::Offline)
        return failNow(QStringLiteral("not_open"));
    if (busy(d))
        return failNow(QStringLiteral("busy"));
    const bool inSession = session != 0;
    if (inSession && m_openSession[std::size_t(d)] != session)
        return failNow(QStringLiteral("session_closed"));
    Waiting &w = m_waiting[std::size_t(d)];
    w.id = r.id;
    w.label = label;
    w.done = std::move(done);
    w.serial = ++m_serial;
    w.connection = connect(control, &ModemControl::UssdFinished, this, [this, d] { answer(d); });
    if (!control->Ussd(code, inSession, m_timeoutSeconds)) {
        disconnect(w.connection);
        w = Waiting{};
        return failNow(QStringLiteral("busy"));
    }
    m_log.WriteLog(QStringLiteral("%1口发送USSD：%2").arg(label, code));
    const quint64 serial = w.serial;
    QTimer::singleShot(m_timeoutSeconds * 1000 + GuardMarginMs, this, [this, d, serial] {
        if (m_waiting[std::size_t(d)].serial != serial || m_waiting[std::size_t(d)].id == 0)
            return;
        const auto kept = result(m_waiting[std::size_t(d)].id);
        UssdResult r = kept ? *kept : UssdResult{};
        r.status = UssdResult::Status::Failed;
        r.error = QStringLiteral("timeout");
        end(d, r);
    });
    return keep(r);
}

void UssdRequests::answer(int d)
{
    const Waiting &w = m_waiting[std::size_t(d)];
    const auto kept = result(w.id);
    UssdResult r = kept ? *kept : UssdResult{};
    r.id = w.id;
    if (ModemControl *c = m_pool.control(d)) {
        r.text = c->infoText(ModemControl::InfoUssdText);
        bool ok = false;
        r.state = c->infoText(ModemControl::InfoUssdState).toInt(&ok);
        if (!ok)
            r.state = -1;
        r.error = c->infoText(ModemControl::InfoUssdError);
    }
    r.status = r.error.isEmpty() ? UssdResult::Status::Answered : UssdResult::Status::Failed;
    end(d, r);
}

void UssdRequests::end(int d, UssdResult r)
{
    Waiting w = std::exchange(m_waiting[std::size_t(d)], Waiting{});
    disconnect(w.connection);
    r.answeredAt = m_clock.now();
    m_openSession[std::size_t(d)] = r.status == UssdResult::Status::Answered && r.state == 1 ? r.id : 0;
    if (r.status == UssdResult::Status::Answered)
        m_log.WriteLog(QStringLiteral("%1口USSD应答：%2").arg(w.label, r.text));
    else
        m_log.WriteLog(QStringLiteral("%1口USSD %2 未成功：%3").arg(w.label, r.code, reasonOf(r.error)));
    if (m_results.contains(r.id))
        m_results[r.id] = r;
    if (w.done)
        w.done(r);
    Q_EMIT finished(r);
}
