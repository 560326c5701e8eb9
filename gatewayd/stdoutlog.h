#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdio>

class ActivityLog;

// Writes the activity log to standard output, one line per log line, as it grows. When standard
// output is the journal, the journal stamps each line itself, so the log's own stamp is left off,
// and each line starts with its priority ("<3>" for a failure), which the journal takes as the
// entry's level. The lines of one event-loop turn are written together.
class StdoutLog : public QObject
{
    Q_OBJECT

public:
    StdoutLog(ActivityLog &log, FILE *out, bool toJournal, QObject *parent = nullptr);
    ~StdoutLog() override;

    void flush();

    // True when $JOURNAL_STREAM names the device and inode of the given descriptor.
    static bool isJournal(int fd);

private:
    void writeLines(const QString &text);

    FILE *m_out;
    bool m_toJournal;
    QByteArray m_pending;
    QTimer m_flushTimer;
};
