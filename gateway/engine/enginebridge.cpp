#include "enginebridge.h"

#include "gateway.h"

#include <QTimer>

EngineBridge::EngineBridge(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<EngineBatch>();
    qRegisterMetaType<EngineReply>();
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
    if (!m_scheduled) {
        m_scheduled = true;
        QTimer::singleShot(0, this, &EngineBridge::flush);
    }
    return m_batch;
}

void EngineBridge::tableChanged(TableChange::Kind kind, int first, int last)
{
    EngineBatch &b = pending();
    if (kind == TableChange::Reset) {
        b.table.clear();
        m_updatedRows.clear();
        m_updated.fill(false);
    }
    TableChange change{kind, first, last, {}};
    if (kind != TableChange::Remove)
        change.rows = m_gw->devices().rows().mid(first, last - first + 1);
    b.table.append(std::move(change));
}

void EngineBridge::rowsUpdated(int first, int last)
{
    pending();
    if (last >= m_updated.size())
        m_updated.resize(last + 1, false);
    for (int r = first; r <= last; ++r) {
        if (!m_updated.at(r)) {
            m_updated[r] = true;
            m_updatedRows.append(r);
        }
    }
}

void EngineBridge::takeUpdatedRows()
{
    const DeviceTable &table = m_gw->devices();
    for (int r : std::as_const(m_updatedRows)) {
        m_updated[r] = false;
        if (r < table.rowCount())
            m_batch.table.append(TableChange{TableChange::Update, r, r, {table.row(r)}});
    }
    m_updatedRows.clear();
}

void EngineBridge::flush()
{
    m_scheduled = false;
    takeUpdatedRows();
    EngineBatch batch = std::exchange(m_batch, {});
    if (batch.logText || !batch.logAppended.isEmpty() || !batch.table.isEmpty() || batch.statusPanel
        || batch.running)
        Q_EMIT batchReady(batch);
}

void EngineBridge::sendSnapshot()
{
    EngineBatch &b = pending();
    m_updatedRows.clear();
    m_updated.fill(false);
    if (!m_gw->log().text().isEmpty())
        b.logText = m_gw->log().text();
    b.logAppended.clear();
    b.table = {TableChange{TableChange::Reset, 0, m_gw->devices().rowCount() - 1,
                           m_gw->devices().rows()}};
    b.statusPanel = m_gw->statusPanel();
    b.running = m_gw->ServiceRunning();
    flush();
}

void EngineBridge::message(const QString &text)
{
    flush();
    Q_EMIT messageRequested(text);
}
