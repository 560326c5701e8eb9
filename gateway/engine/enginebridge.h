#pragma once

#include "core/prompter.h"
#include "enginebatch.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class Gateway;

// The engine's side of the window: collects what the engine shows and sends it as one queued
// batch, and posts the operator's messages instead of showing them, so the engine never waits for
// the window. A quiet engine's change goes at the end of the turn that made it; a busy engine's
// changes go at most once a frame, since the window lays out and paints once for each batch and
// cannot show more than a frame anyway. Lives on the engine's thread.
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
    // Turns the rows changed since the last insert, removal or batch into one Update change
    // with their values now.
    void takeUpdatedRows();

    static constexpr int FrameMs = 16;

    Gateway *m_gw = nullptr;
    EngineBatch m_batch;
    QTimer m_flushTimer;
    QElapsedTimer m_sinceBatch;
    // The span of rows changed since the last insert, removal or batch: copied once, when that
    // comes.
    int m_updatedFirst = -1;
    int m_updatedLast = -1;
};
