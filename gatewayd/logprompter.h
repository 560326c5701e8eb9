#pragma once

#include "core/activitylog.h"
#include "core/prompter.h"

// Nobody answers a message box on a server: what the window would show in one goes to the
// activity log with the prefix "error: ", and the service goes on at once. The only box the
// service can meet is the database-open failure, an error; a front end with warnings to give
// would prefix them "warning: ".
class LogPrompter final : public Prompter
{
public:
    // The engine that owns the log is built with its prompter, so the log comes after.
    void attach(ActivityLog &log) { m_log = &log; }

    void message(const QString &text) override
    {
        if (m_log)
            m_log->WriteLog(QStringLiteral("error: ") + text);
    }

private:
    ActivityLog *m_log = nullptr;
};
