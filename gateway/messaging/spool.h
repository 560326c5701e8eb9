#pragma once

#include "storage/queuedmessage.h"

#include <QMap>
#include <QString>
#include <QStringList>

// One piece of work the database could not take when it happened.
struct SpoolEntry
{
    enum class Kind { Received, Status, Report };

    qint64 id = 0;
    Kind kind = Kind::Received;

    // A received message: stored into smsrecv, then (when forwardNumber is set) forwarded.
    QString sender;
    QString text;
    QString timeStamp;  // as the modem reported it
    QString receivedAt; // when the gateway read it, as the tables hold times
    QString forwardNumber;
    QString port; // the device it came in on, for those told of it once it is stored
    bool stored = false; // the smsrecv row exists; only the forwarding row is still due
    // A write of it was given up on while it committed: it may be in the database already.
    bool inDoubt = false;

    // A status write for a row of SMS, bound to the database it belongs to.
    QString sysNo;
    RowStatus status = RowStatus::Pending;
    QString handleTime;
    QString target;

    // A delivery report for a row of SMS (sysNo): the recipient, TP-ST and the times.
    QString reportNumber;
    int reportStatus = 0;
    QString deliveryTime;
    QString reportTime;
};

// A durable local spool: one file per entry in a folder of its own, each written to a temporary
// name, flushed to the disk and renamed into place, so an entry that add() reported written
// survives a crash of the gateway or of the machine. Entries come back in the order they were
// added.
class Spool
{
public:
    explicit Spool(QString folder);

    const QString &folder() const { return m_folder; }
    // Reads the folder. Files that cannot be read are set aside (renamed *.bad) and named in
    // the result.
    QStringList load();

    bool add(SpoolEntry &entry, QString *error);
    bool update(const SpoolEntry &entry, QString *error);
    bool remove(qint64 id, QString *error);

    // An entry as its file holds it.
    static QByteArray serialize(const SpoolEntry &entry);

    const QMap<qint64, SpoolEntry> &entries() const { return m_entries; }
    bool isEmpty() const { return m_entries.isEmpty(); }
    qsizetype size() const { return m_entries.size(); }

private:
    QString pathOf(qint64 id) const;
    bool write(const SpoolEntry &entry, QString *error);
    bool ensureFolder(QString *error);
    void syncFolder();

    QString m_folder;
    QMap<qint64, SpoolEntry> m_entries;
    qint64 m_nextId = 1;
    bool m_folderReady = false;
};
