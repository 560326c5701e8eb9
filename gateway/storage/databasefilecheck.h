#pragma once

#include <QString>
#include <sys/types.h>

// The SQLite file the gateway's connection was opened on, looked at again at every supervision
// tick: applications insert into the file at that path, so a file that was moved away, replaced
// or made unreadable means their rows no longer reach the gateway, although its own connection
// still works on the old file. Other databases have no file to look at.
class DatabaseFileCheck
{
public:
    // Notes the file of a connection just opened; forgets it for other databases.
    void opened(const QString &connectionString);
    void forget() { m_path.clear(); }
    // Why the file is not the one opened, in the operator's words; empty while it is.
    QString problem() const;

private:
    QString m_path;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};
