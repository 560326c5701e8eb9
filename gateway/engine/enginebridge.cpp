#include "enginebridge.h"

#include "gateway.h"

EngineBridge::EngineBridge(QObject *parent) : QObject(parent), m_flushTimer(this)
{
    qRegisterMetaType<EngineBatch>();
    qRegisterMetaType<EngineReply>();
    m_flushTimer.setSingleShot(true);
    connect(&m_flushTimer, &QTimer::timeout, this, &EngineBridge::flush);
}

void EngineBridge::attach(Gateway &gateway)
{
    m_gw = &gateway;
    connect(&gateway.log(), &ActivityLog::textReset, this, [this](const QString &text) {
        EngineBatch &b = pending();
        b.logText = text;
        b.logAppended.clear();
    });
    connect(&gateway.log(), &ActivityLog::textAppended, this,
            [this](const QString &piece) { pending().logAppended += piece; });
    DeviceTable *table = &gateway.devices();
    connect(table, &DeviceTable::modelReset, this,
            [this] { tableChanged(TableChange::Reset, 0, m_gw->devices().rowCount() - 1); });
    // Changed rows are taken as they are before rows move under them.
    connect(table, &DeviceTable::rowsAboutToBeInserted, this, [this] { takeUpdatedRows(); });
    connect(table, &DeviceTable::rowsAboutToBeRemoved, this, [this] { takeUpdatedRows(); });
    connect(table, &DeviceTable::rowsInserted, this,
            [this](const QModelIndex &, int f, int l) { tableChanged(TableChange::Insert, f, l); });
    connect(table, &DeviceTable::rowsRemoved, this,
            [this](const QModelIndex &, int f, int l) { tableChanged(TableChange::Remove, f, l); });
    connect(table, &DeviceTable::dataChanged, this,
            [this](const QModelIndex &from, const QModelIndex &to) {
                rowsUpdated(from.row(), to.row());
            });
    connect(&gateway, &Gateway::statusPanelChanged, this,
            [this](const QString &text) { pending().statusPanel = text; });
    connect(&gateway, &Gateway::serviceRunningChanged, this,
            [this](bool running) { pending().running = running; });
}

EngineBatch &EngineBridge::pending()
{
    if (!m_flushTimer.isActive()) {
        const qint64 since = m_sinceBatch.isValid() ? m_sinceBatch.elapsed() : FrameMs;
        m_flushTimer.start(int(qMax<qint64>(0, FrameMs - since)));
    }
    return m_batch;
}

void EngineBridge::tableChanged(TableChange::Kind kind, int first, int last)
{
    EngineBatch &b = pending();
    if (kind == TableChange::Reset) {
        b.table.clear();
        m_updatedFirst = m_updatedLast = -1;
    }
    TableChange change{kind, first, last, {}};
    if (kind != TableChange::Remove)
        change.devices = m_gw->devices().statuses().mid(first, last - first + 1);
    b.table.append(std::move(change));
}

void EngineBridge::rowsUpdated(int first, int last)
{
    pending();
    if (m_updatedFirst < 0) {
        m_updatedFirst = first;
        m_updatedLast = last;
    } else {
        m_updatedFirst = qMin(m_updatedFirst, first);
        m_updatedLast = qMax(m_updatedLast, last);
    }
}

void EngineBridge::takeUpdatedRows()
{
    // Unchanged rows inside the span go along: a copy shares their texts, and the window then
    // refreshes the span once instead of once a row.
    const int last = qMin(m_updatedLast, m_gw->devices().rowCount() - 1);
    if (m_updatedFirst >= 0 && m_updatedFirst <= last) {
        m_batch.table.append(TableChange{
                TableChange::Update, m_updatedFirst, last,
                m_gw->devices().statuses().mid(m_updatedFirst, last - m_updatedFirst + 1)});
    }
    m_updatedFirst = m_updatedLast = -1;
}

void EngineBridge::flush()
{
    m_flushTimer.stop();
    takeUpdatedRows();
    EngineBatch batch = std::exchange(m_batch, {});
    if (batch.logText || !batch.logAppended.isEmpty() || !batch.table.isEmpty() || batch.statusPanel
        || batch.running) {
        m_sinceBatch.start();
        Q_EMIT batchReady(batch);
    }
}

void EngineBridge::sendSnapshot()
{
    EngineBatch &b = pending();
    m_updatedFirst = m_updatedLast = -1;
    if (!m_gw->log().text().isEmpty())
        b.logText = m_gw->log().text();
    b.logAppended.clear();
    b.table = {TableChange{TableChange::Reset, 0, m_gw->devices().rowCount() - 1,
                           m_gw->devices().statuses()}};
    b.statusPanel = m_gw->statusPanel();
    b.running = m_gw->ServiceRunning();
    flush();
}

void EngineBridge::message(const QString &text)
{
    flush();
    Q_EMIT messageRequested(text);
}
