#pragma once

#include "storage/connectionstring.h"

#include <QObject>
#include <QSqlDatabase>
#include <QTimer>

class QThread;

// LISTENs on the channel the trigger sms_queued notifies, on a connection of its own and on a
// thread of its own: the client library blocks while it connects, and a server that does not
// answer must hold up neither the modems nor the engine's loop. The engine hears of it through
// a queued signal. A lost connection is found at the next look and made again; once it listens
// (at the start too) it announces that rows may be waiting, since notifications sent while it
// did not listen are gone.
class PostgresListener : public QObject
{
    Q_OBJECT

public:
    static constexpr int CheckIntervalMs = 2000;

    // A listener at work on a new thread.
    static PostgresListener *start(const ConnectionString &target);
    // Ends the listener's thread; both go once it has ended, without anyone waiting for a
    // server that does not answer.
    static void finish(PostgresListener *listener);

Q_SIGNALS:
    // Emitted on the listener's thread.
    void notified();

private:
    explicit PostgresListener(const ConnectionString &target);
    ~PostgresListener() override;

    void begin();
    void check();
    bool listen();
    void close();

    ConnectionString m_target;
    QString m_name;
    QSqlDatabase m_db;
    QTimer *m_timer = nullptr;
};
