#pragma once

#include "core/prompter.h"
#include "enginebatch.h"

#include <QList>
#include <QObject>

class Gateway;

// The engine's side of the window: collects what the engine shows during one turn of its event
// loop and sends it as one queued batch, and posts the operator's messages instead of showing
// them, so the engine never waits for the window. Lives on the engine's thread.
class EngineBridge : public QObject, public Prompter
{
    Q_OBJECT

public:
    explicit EngineBridge(QObject *parent = nullptr);

    void attach(Gateway &gateway);

    // The box follows the lines and rows that came before it.
    void message(const QString &text) override;
    // Everything the window shows, as a batch of its own; what was pending is part of it.
    void sendSnapshot();
    void flush();

Q_SIGNALS:
    void batchReady(const EngineBatch &batch);
    void messageRequested(const QString &text);
    void searchProgress(int percent);
    void searchFinished();
    void testProgress(int percent);
    void replied(const EngineReply &reply);

private:
    EngineBatch &pending();
    void tableChanged(TableChange::Kind kind, int first, int last);
    void rowsUpdated(int first, int last);
    // Turns the rows marked changed into Update changes with their values now.
    void takeUpdatedRows();

    Gateway *m_gw = nullptr;
    EngineBatch m_batch;
    bool m_scheduled = false;
    // Rows changed since the last insert, removal or batch: copied once, when that comes.
    QList<int> m_updatedRows;
    QList<bool> m_updated;
};
