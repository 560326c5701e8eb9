// The engine's side of the SIM pool: USSD to a device and the opt-out list, for the front ends.
#include "gateway.h"

#include "common/clock.h"
#include "messaging/messageflow.h"
#include "messaging/messagequeuer.h"
#include "modemapi/modemcontrol.h"
#include "policy/sendingpolicy.h"
#include "simpool/simpool.h"

#include <QMetaObject>

namespace {

UssdResult failed(const QString &port, const QString &code, const QString &error)
{
    UssdResult r;
    r.port = port;
    r.code = code;
    r.status = UssdResult::Status::Failed;
    r.error = error;
    return r;
}

// What AT+CUSD can carry: printable ASCII without quotes, as codes and menu replies are.
bool validCode(const QString &code)
{
    return !code.isEmpty() && code.size() <= 160
            && std::all_of(code.begin(), code.end(), [](QChar c) {
                   return c.unicode() >= 0x20 && c.unicode() < 0x7f && c != u'"';
               });
}

} // namespace

void Gateway::createSimPool()
{
    m_simPool = std::make_unique<SimPool>(
            m_pool, m_events, m_flow->db(), m_log, m_clock,
            [this](const QString &number, const QString &text) -> qint64 {
                const QueueResult queued = m_queuer->queue({OutgoingMessage{number, text}});
                return queued.ok() && queued.ids.size() == 1 ? queued.ids.first() : -1;
            },
            [this](int d) {
                ModemControl *c = m_pool.control(d);
                return c ? c->infoText(ModemControl::InfoOwnNumber) : QString();
            });
    m_flow->dispatch().setOptOut(&m_simPool->optOuts());
    // Rows loaded before an opt-out are loaded again, and so checked, on the next turn: the
    // queue may hold a campaign's row to the number that just opted out.
    m_simPool->optOutReplies().setAfterOptOut([this] {
        QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!ServiceRunning())
                        return;
                    m_flow->resetSendQueue();
                    m_flow->pollQueue();
                },
                Qt::QueuedConnection);
    });
    m_flow->policy().setStopped(
            [this](int d) { return m_simPool && m_simPool->balance().stopped(d); });
}

UssdResult Gateway::requestUssd(const QString &port, const QString &code, qint64 session)
{
    const int d = deviceOf(port);
    if (d < 0)
        return failed(port, code, QStringLiteral("no_device"));
    if (!validCode(code))
        return failed(port, code, QStringLiteral("invalid_code"));
    if (!ServiceRunning())
        return failed(port, code, QStringLiteral("not_running"));
    return m_simPool->ussd().ask(d, port, settings().deviceLabel(d), code, session);
}

std::optional<UssdResult> Gateway::ussdResult(qint64 id) const
{
    return m_simPool->ussd().result(id);
}

std::optional<QList<OptOutEntry>> Gateway::optOuts(QString *error)
{
    if (!m_flow->store().isOpen()) {
        *error = QStringLiteral("数据库未连接");
        return std::nullopt;
    }
    return m_simPool->optOuts().list(error);
}

std::optional<bool> Gateway::addOptOut(const QString &number, QString *error)
{
    if (!m_flow->store().isOpen()) {
        *error = QStringLiteral("数据库未连接");
        return std::nullopt;
    }
    OptOutList &list = m_simPool->optOuts();
    const auto recorded = list.record(number, QString(), QStringLiteral("api"), m_clock.now());
    if (recorded == OptOutList::Recorded::Held) {
        *error = QStringLiteral("暂未写入数据库，稍后重试");
        return std::nullopt;
    }
    const bool added = recorded == OptOutList::Recorded::Added;
    if (added)
        WriteLog(QStringLiteral("号码%1已加入退订名单").arg(list.canonical(number)));
    return added;
}

std::optional<int> Gateway::removeOptOut(const QString &number, QString *error)
{
    if (!m_flow->store().isOpen()) {
        *error = QStringLiteral("数据库未连接");
        return std::nullopt;
    }
    OptOutList &list = m_simPool->optOuts();
    const auto removed = list.remove(number, error);
    if (removed && *removed > 0)
        WriteLog(QStringLiteral("号码%1已从退订名单中删除").arg(list.canonical(number)));
    return removed;
}
