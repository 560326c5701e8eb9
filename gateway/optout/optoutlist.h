#pragma once

#include "optoutsettings.h"
#include "optoutstore.h"

#include "storage/queuedmessage.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>

class Clock;
class DBHelper;
class LogSink;

// The opt-out list as the gateway uses it: numbers recorded and removed in canonical form, and
// the rows of the queue screened against it before any reaches a modem. A number that could
// not be written to the table (the database was away) is held here and written later, and
// counts as opted out meanwhile: a subscriber's request is never lost to an outage.
class OptOutList
{
public:
    OptOutList(DBHelper &db, LogSink &log, const Clock &clock);

    // At every start.
    void configure(const OptOutSettings &settings);
    const OptOutSettings &settings() const { return m_settings; }
    bool enabled() const { return m_settings.enabled; }
    QString canonical(const QString &number) const;

    enum class Recorded { Added, Already, Held };
    Recorded record(const QString &number, const QString &keyword, const QString &port,
                    const QDateTime &at);
    // The rows removed; nullopt with *error when the database failed.
    std::optional<int> remove(const QString &number, QString *error);
    std::optional<QList<OptOutStore::Entry>> list(QString *error);

    // A row the gateway queued itself to an opted-out number (the confirmation): it goes.
    void exempt(const QString &sysNo) { m_exempt.insert(sysNo); }

    // Loaded rows to a listed number go to -1 with the reason "opted out", are logged, and
    // leave rows. When the list cannot be read, every row stays pending in the table and
    // leaves rows too: nothing goes out until the list can be checked again.
    void screen(QList<QueuedMessage> &rows);

private:
    void writeHeld();
    void refuse(const QueuedMessage &row);

    DBHelper &m_db;
    LogSink &m_log;
    const Clock &m_clock;
    OptOutSettings m_settings;
    OptOutStore m_store;
    QList<OptOutStore::Entry> m_held;
    QSet<QString> m_exempt;
    bool m_unreadable = false;
};
