#include "messageflow.h"
#include "schemaupgrade.h"

#include "core/logsink.h"
#include "core/prompter.h"
#include "core/settings.h"

MessageFlow::MessageFlow(const QString &programDir, const Clock &clock, const Parts &parts)
    : m_settings(parts.settings), m_prompter(parts.prompter),
      m_store(spoolFolder(programDir), clock,
              [&log = parts.log](const QString &line) { log.WriteLog(line); }),
      m_claims(m_store.db(), clock,
               [&log = parts.log](const QString &line) { log.WriteLog(line); }),
      m_dispatch(parts.settings, parts.pool, parts.table, parts.panel, parts.timings, m_store,
                 m_claims),
      m_reports(parts.settings, parts.pool, parts.log, clock, m_store),
      m_results(parts.settings, parts.pool, parts.table, parts.log, parts.timings, m_dispatch,
                m_reports),
      m_receiver(parts.settings, parts.pool, parts.table, parts.log, parts.panel, m_store,
                 m_dispatch),
      m_calls(parts.pool, parts.log),
      m_health(parts.settings, parts.pool, parts.table, parts.log, m_dispatch),
      m_loss(parts.settings, parts.pool, parts.table, parts.log, m_dispatch), m_log(parts.log),
      m_programDir(programDir),
      m_policy(parts.settings, parts.pool, clock, programDir,
               [&log = parts.log](const QString &line) { log.WriteLog(line); })
{
    m_dispatch.setPolicy(&m_policy);
}

MessageFlow::~MessageFlow() = default;

QStringList MessageFlow::rowsInFlight() const
{
    QStringList rows;
    for (const QueuedMessage &job : m_dispatch.deviceJobs()) {
        if (!job.isEmpty())
            rows << job.SysNo;
    }
    return rows;
}

QString MessageFlow::spoolFolder(const QString &programDir)
{
    return programDir + QStringLiteral("/spool");
}

bool MessageFlow::OpenConnection(const QString &connectionString)
{
    QString error;
    // A gateway told to share the queue never sends from a table where it cannot claim rows.
    if (m_store.open(connectionString, &error)
        && (m_settings.GatewayName.isEmpty() || m_claims.tableReady(&error)))
        return true;
    m_prompter.message(error);
    return false;
}

void MessageFlow::connectionOpened()
{
    m_store.writeOutSpool();
    QString error;
    const auto missing = SchemaUpgrade(m_store.db()).missing(&error);
    if (missing && !missing->isEmpty())
        m_log.WriteLog(SchemaUpgrade::notice(*missing, m_programDir));
}

bool MessageFlow::queueReady()
{
    QString error;
    return m_store.isOpen() && (m_settings.GatewayName.isEmpty() || m_claims.tableReady(&error));
}

void MessageFlow::Timer1_Timer()
{
    m_store.keepUp(false);
    m_dispatch.Timer1_Timer();
}

void MessageFlow::supervise()
{
    m_store.keepUp(true);
}
