#include "messageflow.h"

#include "schemaupgrade.h"
#include "storage/statements.h"

#include "common/clock.h"
#include "core/logsink.h"
#include "core/prompter.h"
#include "core/settings.h"
#include "model/engineevents.h"
#include "model/enginehistory.h"

MessageFlow::MessageFlow(const QString &programDir, const FlowContext &context, Prompter &prompter)
    : m_settings(context.settings), m_clock(context.clock), m_prompter(prompter),
      m_store(spoolFolder(programDir), context.clock,
              [&log = context.log](const QString &line) { log.WriteLog(line); }),
      m_claims(m_store.db(), context.clock,
               [&log = context.log](const QString &line) { log.WriteLog(line); }),
      m_dispatch(context, m_store, m_claims), m_reports(context, m_store),
      m_results(context, m_dispatch, m_reports), m_receiver(context, m_store, m_dispatch),
      m_calls(context), m_health(context), m_loss(context, m_dispatch),
      m_log(context.log), m_history(context.history), m_programDir(programDir),
      m_policy(context.settings, context.pool, context.clock, programDir,
               [&log = context.log](const QString &line) { log.WriteLog(line); }),
      m_figureReader(m_store.db())
{
    m_dispatch.setPolicy(&m_policy);
    m_store.setBeforeStatusWrite([&events = context.events] { Q_EMIT events.committing(); });
}

MessageFlow::~MessageFlow() = default;

void MessageFlow::notice(int d, const QString &text)
{
    if (!text.isEmpty())
        m_log.WriteLog(m_settings.deviceLabel(d) + QStringLiteral("口：") + text);
}

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

bool MessageFlow::sharing() const
{
    return !m_settings.GatewayName.isEmpty();
}

bool MessageFlow::OpenConnection(const QString &connectionString)
{
    QString error;
    m_queueRefusal.clear();
    m_handed.clear();
    m_countsAt = {};
    m_fileCheck.forget();
    m_figureReader.forget();
    const bool opened = m_store.open(connectionString, &error);
    if (opened)
        m_fileCheck.opened(connectionString);
    // A gateway told to share the queue never sends from a table where it cannot claim rows.
    if (opened && (!sharing() || m_claims.tableReady(&error))) {
        refreshFigures();
        return true;
    }
    if (opened)
        m_queueRefusal = error;
    m_prompter.message(error);
    return false;
}

void MessageFlow::connectionOpened()
{
    m_store.writeOutSpool();
    QString error;
    const auto missing = SchemaUpgrade(m_store.db()).missing(&error);
    const QString upgrade = missing ? SchemaUpgrade::notice(*missing, m_programDir) : QString();
    if (!upgrade.isEmpty())
        m_log.WriteLog(upgrade);
}

bool MessageFlow::queueReady()
{
    QString error;
    return m_store.isOpen() && (!sharing() || m_claims.tableReady(&error));
}

QString MessageFlow::cannotSend() const
{
    if (!m_store.isOpen())
        return QStringLiteral("数据库未连接");
    // Looked at each time rather than at the supervision tick: /healthz must tell a file that
    // went away within seconds, and a stat costs next to nothing.
    if (const QString file = m_fileCheck.problem(); !file.isEmpty())
        return file;
    return m_queueRefusal;
}

void MessageFlow::countStuckRows()
{
    m_rowsStuck = -1;
    if (!m_store.isOpen())
        return;
    const QDateTime before = m_clock.now().addSecs(-60LL * m_settings.stuckAfterMinutes);
    const auto rows =
            m_store.db().readRows(Statements::countHandedBefore(Statements::timeText(before)));
    if (rows && !rows->isEmpty())
        m_rowsStuck = rows->first().value(0).toLongLong();
}

QString MessageFlow::databaseReason() const
{
    if (m_store.isOpen())
        return {};
    const QString why = m_store.downReason();
    return why.isEmpty() ? QStringLiteral("数据库未连接") : why;
}

int MessageFlow::deviceHolding(qint64 id) const
{
    const QList<QueuedMessage> &jobs = m_dispatch.deviceJobs();
    for (int d = 0; d < jobs.size(); ++d) {
        if (!jobs.at(d).isEmpty() && jobs.at(d).SysNo.toLongLong() == id)
            return d;
    }
    return -1;
}

QString MessageFlow::holderOf(qint64 id, const QString &gateway) const
{
    const int d = deviceHolding(id);
    return d < 0 ? gateway : m_settings.deviceLabel(d);
}

int MessageFlow::requeueRows(const QList<qint64> &ids, QString *error)
{
    if (!m_store.isOpen()) {
        *error = databaseReason();
        return -1;
    }
    DBHelper &db = m_store.db();
    const bool grouped = db.beginTransaction();
    int moved = 0;
    for (const qint64 id : ids) {
        if (deviceHolding(id) >= 0 || m_store.statusPending(QString::number(id)))
            continue;
        const std::optional<int> n =
                db.ExecSQLString(Statements::requeue(id, m_settings.GatewayName));
        if (!n) {
            *error = db.lastError();
            if (grouped)
                db.rollbackTransaction();
            return -1;
        }
        moved += *n;
    }
    if (grouped && !db.commitTransaction()) {
        *error = db.lastError();
        return -1;
    }
    return moved;
}

void MessageFlow::readQueueFigures()
{
    m_queue = m_figureReader.read(
            m_clock.now(), m_settings.stuckAfterMinutes, sharing(),
            [this](qint64 id, const QString &gateway) { return holderOf(id, gateway); });
    m_serverVersion = m_figureReader.serverVersion();
}

void MessageFlow::refreshFigures()
{
    countStuckRows();
    readQueueFigures();
    if (!sharing() || !m_store.isOpen())
        return;
    QString error;
    if (!m_claims.tableReady(&error)) {
        m_queueRefusal = error;
        return;
    }
    m_queueRefusal.clear();
    refreshCounts();
}

void MessageFlow::refreshCounts()
{
    m_handed = m_claims.handedByGateway();
    m_countsAt = m_clock.now();
}

void MessageFlow::Timer1_Timer()
{
    m_lastPoll = m_clock.now();
    m_store.keepUp(false);
    m_dispatch.Timer1_Timer();
    m_history.queueLength(m_dispatch.queueLength(), m_lastPoll);
    // Between ticks the shared queue's counts are read again at a poll once they are this old,
    // so the page follows a dead gateway's rows within seconds; a request never reads them.
    if (sharing() && m_store.isOpen()
        && (!m_countsAt.isValid() || m_countsAt.secsTo(m_lastPoll) >= CountsMaxAgeSeconds))
        refreshCounts();
}

void MessageFlow::supervise()
{
    m_store.keepUp(true);
    refreshFigures();
    m_history.queueLength(m_dispatch.queueLength(), m_clock.now());
}
