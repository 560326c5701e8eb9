#include "deliveryreports.h"

#include "model/engineevents.h"

#include "messagestore.h"
#include "storage/queuedmessage.h"
#include "storage/statements.h"

#include "common/clock.h"
#include "core/devicepool.h"
#include "core/logsink.h"
#include "core/settings.h"
#include "modemapi/modemcontrol.h"

#include <QDateTime>
#include <QTimeZone>

namespace {

QString digits(const QString &number)
{
    QString out;
    for (QChar c : number) {
        if (c.isDigit())
            out += c;
    }
    // A national trunk prefix or an international access code.
    while (out.startsWith(QLatin1Char('0')))
        out.remove(0, 1);
    return out;
}

// TP-ST 32..63: the network is still trying; a final report follows.
bool finalStatus(int status)
{
    return status < 32 || status > 63;
}

} // namespace

DeliveryReports::DeliveryReports(const FlowContext &context, MessageStore &store)
    : m_ctx(context), m_store(store)
{ }

bool DeliveryReports::sameNumber(const QString &a, const QString &b)
{
    const QString x = digits(a);
    const QString y = digits(b);
    if (x.isEmpty() || y.isEmpty())
        return false;
    return x.size() <= y.size() ? y.endsWith(x) : x.endsWith(y);
}

QString DeliveryReports::deliveryTime(const QString &dischargeTime)
{
    const QString stamp = dischargeTime.trimmed();
    const QDateTime local = QDateTime::fromString(stamp.left(12), QStringLiteral("yyMMddHHmmss"));
    bool zoneOk = false;
    const int quarters = stamp.mid(12).toInt(&zoneOk);
    if (!local.isValid() || !zoneOk)
        return Statements::ConvertTimeStamp(stamp);
    // Two-digit years are of this century: the network's clock, not a birth date.
    const QDateTime at(local.date().addYears(local.date().year() < 2000 ? 100 : 0), local.time(),
                       QTimeZone(quarters * 15 * 60));
    return Statements::timeText(at.toLocalTime());
}

void DeliveryReports::sent(int d, const QueuedMessage &message)
{
    if (!m_ctx.settings.StatusReport || d < 0 || d >= int(m_sent.size()))
        return;
    ModemControl *control = m_ctx.pool.control(d);
    if (!control)
        return;
    const int reference = control->GetReferenceOfLastSnd();
    if (reference < 0)
        return;
    QList<Sent> &sent = m_sent[std::size_t(d)];
    sent.append({reference, message.CellNumber, message.SysNo});
    if (sent.size() > Remembered)
        sent.removeFirst();
}

void DeliveryReports::statusReportWaiting(int d)
{
    ModemControl *control = m_ctx.pool.control(d);
    if (!control || d < 0 || d >= int(m_sent.size()))
        return;
    QList<Sent> &sent = m_sent[std::size_t(d)];
    const QString port = m_ctx.settings.deviceLabel(d);
    int reference = -1;
    QString recipient;
    int status = 0;
    QString dischargeTime;
    while (control->ReadStatusReport(reference, recipient, status, dischargeTime)) {
        // The newest first: after 256 messages a reference is given again.
        qsizetype match = -1;
        for (qsizetype i = sent.size() - 1; i >= 0; --i) {
            if (sent.at(i).reference == reference && sameNumber(sent.at(i).number, recipient)) {
                match = i;
                break;
            }
        }
        if (match < 0) {
            m_ctx.log.WriteLog(port + QStringLiteral("口收到的状态报告找不到对应短信，已丢弃-")
                               + recipient);
            continue;
        }
        const Sent message = sent.at(match);
        if (finalStatus(status))
            sent.removeAt(match);
        // Told before it is stored: a kill between the two never leaves a stored report untold.
        Q_EMIT m_ctx.events.messageDelivered(message.sysNo.toLongLong(), message.number, status,
                                             m_ctx.clock.now());
        Q_EMIT m_ctx.events.committing();
        if (!m_store.saveReport(message.sysNo, message.number, status, deliveryTime(dischargeTime)))
            m_ctx.log.WriteLog(port + QStringLiteral("口状态报告入库失败-") + message.number
                               + QLatin1Char(':') + QString::number(status));
    }
}
