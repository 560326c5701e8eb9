#include "messageflow.h"

#include "core/gateway.h"
#include "core/prompter.h"

MessageFlow::MessageFlow(Gateway &gateway)
    : m_gw(gateway), m_store(spoolFolder(gateway.programDir()), gateway.clock(),
                             [&gateway](const QString &line) { gateway.WriteLog(line); }),
      m_dispatch(gateway, m_store), m_results(gateway, m_dispatch),
      m_receiver(gateway, m_store, m_dispatch), m_calls(gateway)
{ }

MessageFlow::~MessageFlow() = default;

QString MessageFlow::spoolFolder(const QString &programDir)
{
    return programDir + QStringLiteral("/spool");
}

bool MessageFlow::OpenConnection(const QString &connectionString)
{
    QString error;
    if (m_store.open(connectionString, &error))
        return true;
    m_gw.prompter().message(error);
    return false;
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
