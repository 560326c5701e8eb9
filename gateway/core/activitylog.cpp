#include "activitylog.h"

#include "common/clock.h"

namespace {
const QString CrLf = QStringLiteral("\r\n");
}

ActivityLog::ActivityLog(const Clock &clock, QObject *parent) : QObject(parent), m_clock(clock) { }

QString ActivityLog::stamp() const
{
    const QDateTime now = m_clock.now();
    // Read from the date and time as shown, which are at hand, rather than from the time since
    // the epoch, which a local time would have to be converted for.
    const qint64 second =
            now.date().toJulianDay() * 86400 + now.time().msecsSinceStartOfDay() / 1000;
    if (second != m_stampSecond) {
        m_stampSecond = second;
        m_stampText = now.toString(QStringLiteral("MM-dd HH:mm:ss > "));
    }
    return m_stampText;
}

void ActivityLog::setFirstLine(const QString &message)
{
    m_text = stamp() + message;
    m_separators = int(message.count(CrLf));
    Q_EMIT textReset(m_text);
    if (!m_started) {
        m_started = true;
        const QStringList early = std::exchange(m_early, {});
        for (const QString &line : early)
            WriteLog(line);
    }
}

void ActivityLog::WriteLog(const QString &message)
{
    if (!m_started)
        m_early.append(message);
    if (lineCount() > MaxLines)
        setFirstLine(QStringLiteral("行日志已清除……"));
    const QString piece = CrLf + stamp() + message;
    m_text += piece;
    m_separators += int(piece.count(CrLf));
    Q_EMIT textAppended(piece);
}
