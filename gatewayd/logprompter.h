#pragma once

#include "core/activitylog.h"
#include "core/prompter.h"

// Nobody answers a message box on a server: what the window would show in one goes to the
// activity log with a prefix that says how serious it is, and the service goes on at once.
// The only box the service can meet is the database-open failure, an error.
class LogPrompter final : public Prompter
{
public:
    // The engine that owns the log is built with its prompter, so the log comes after.
    void attach(ActivityLog &log) { m_log = &log; }

    void message(const QString &text) override { error(text); }
    void error(const QString &text) { write(QStringLiteral("error: ") + text); }
    void warning(const QString &text) { write(QStringLiteral("warning: ") + text); }

private:
    void write(const QString &line)
    {
        if (m_log)
            m_log->WriteLog(line);
    }

    ActivityLog *m_log = nullptr;
};
