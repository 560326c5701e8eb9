#include "optoutreplies.h"

#include "optoutlist.h"

#include "core/logsink.h"
#include "model/engineevents.h"

OptOutReplies::OptOutReplies(EngineEvents &events, OptOutList &list, LogSink &log, Queue queue,
                             QObject *parent)
    : QObject(parent), m_events(events), m_list(list), m_log(log), m_queue(std::move(queue))
{ }

void OptOutReplies::follow(bool on)
{
    disconnect(m_following);
    if (on)
        m_following = connect(&m_events, &EngineEvents::messageReceived, this,
                              &OptOutReplies::onReceived);
}

void OptOutReplies::onReceived(qint64, const QString &number, const QString &text,
                               const DeviceRef &device, const QDateTime &at)
{
    if (!m_list.enabled())
        return;
    const OptOutSettings &s = m_list.settings();
    if (const QString keyword = s.keywords.match(text); !keyword.isEmpty()) {
        const auto recorded = m_list.record(number, keyword, device.port, at);
        if (recorded == OptOutList::Recorded::Already)
            return;
        const QString canonical = m_list.canonical(number);
        m_log.WriteLog(QStringLiteral("号码%1回复“%2”，已退订").arg(canonical, keyword));
        Q_EMIT m_events.numberOptedOut(canonical, keyword, device, at);
        if (m_afterOptOut)
            m_afterOptOut();
        if (s.reply.isEmpty() || !m_queue)
            return;
        const qint64 id = m_queue(number, s.reply);
        if (id >= 0)
            m_list.exempt(QString::number(id));
        else
            m_log.WriteLog(QStringLiteral("号码%1的退订确认短信未能入库").arg(canonical));
        return;
    }
    if (const QString keyword = s.optInKeywords.match(text); !keyword.isEmpty()) {
        QString error;
        const auto removed = m_list.remove(number, &error);
        if (!removed)
            m_log.WriteLog(QStringLiteral("号码%1回复“%2”，但未能从退订名单中删除：%3")
                                   .arg(m_list.canonical(number), keyword, error));
        else if (*removed > 0)
            m_log.WriteLog(QStringLiteral("号码%1回复“%2”，已恢复接收")
                                   .arg(m_list.canonical(number), keyword));
    }
}
