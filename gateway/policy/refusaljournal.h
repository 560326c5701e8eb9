#pragma once

#include "common/durableappendfile.h"

#include <QHash>
#include <QString>
#include <QStringList>

// The devices that refused each pending row for certain, kept in a file of this gateway's
// own so that a reload of the queue, a stop and start or a crash never offers a row again to
// a SIM that refused it, nor gives it its attempts anew. A line is on the disk before the
// row is pending again; a row that ended is dropped by rewriting the file, which holds only
// the few rows that wait for another device. Readable by the owner alone, as the counts.
class RefusalJournal
{
public:
    explicit RefusalJournal(QString path);

    const QString &path() const { return m_file.path(); }
    bool isEmpty() const { return m_refused.isEmpty(); }
    // The ports that refused the row, oldest first.
    QStringList refusedBy(const QString &sysNo) const { return m_refused.value(sysNo); }
    bool add(const QString &sysNo, const QString &port, QString *error);
    // The row ended (sent, failed, expired): nothing more to keep of it.
    bool forget(const QString &sysNo, QString *error);
    // The same for several rows, with one rewrite of the file.
    bool forget(const QStringList &sysNos, QString *error);
    // The rows it keeps.
    QStringList rows() const { return m_refused.keys(); }

private:
    void load();

    DurableAppendFile m_file;
    QHash<QString, QStringList> m_refused;
};
