#pragma once

#include "logsink.h"

#include <QObject>
#include <QString>
#include <QStringList>

class Clock;

// The operator's activity log: lines "MM-dd hh:mm:ss > message" separated by CR LF, held in
// memory only and cleared when it grows past 1000 lines.
class ActivityLog : public QObject, public LogSink
{
    Q_OBJECT

public:
    explicit ActivityLog(const Clock &clock, QObject *parent = nullptr);

    static constexpr int MaxLines = 1000;

    // Replaces the whole log with one line (the start-up line). Lines written before the
    // first such line follow it, so nothing reported while the engine was being built is lost.
    void setFirstLine(const QString &message);
    void WriteLog(const QString &message) override;

    const QString &text() const { return m_text; }
    // Lines as the next clearing check counts them.
    int lineCount() const { return m_separators + 1; }
    QString stamp() const;

Q_SIGNALS:
    void textReset(const QString &text);
    // The piece appended to the text: CR LF, the time stamp and the message.
    void textAppended(const QString &piece);

private:
    const Clock &m_clock;
    // Lines come many to a second: the stamp's text is made once a second.
    mutable qint64 m_stampSecond = -1;
    mutable QString m_stampText;
    QString m_text;
    int m_separators = 0;
    bool m_started = false;
    QStringList m_early;
};
