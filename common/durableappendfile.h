#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A file that grows by whole lines, each on the disk before append() returns, until replace()
// puts new contents in its place in one step. Readable by the owner alone. A line cut off by a
// crash or a failed write is left out when the file is read and cut away before the next line
// is added, so it never runs into a good one nor is completed into a wrong one.
class DurableAppendFile
{
public:
    explicit DurableAppendFile(QString path);
    ~DurableAppendFile();
    DurableAppendFile(const DurableAppendFile &) = delete;
    DurableAppendFile &operator=(const DurableAppendFile &) = delete;

    const QString &path() const { return m_path; }
    // The file's complete lines, without their line breaks; none when it cannot be read.
    QList<QByteArray> readLines();
    // Adds lines, each ended by a line break, with one wait for the disk. false, with the
    // system's reason in *error, when they may not all be on the disk.
    bool append(const QByteArray &lines, QString *error);
    bool replace(const QByteArray &lines, QString *error);

private:
    bool openForAppend(QString *error);
    void closeFile();

    QString m_path;
    int m_fd = -1;
    // The file ends inside a line, after m_wholeSize bytes of whole lines (-1: not known).
    bool m_cutOff = false;
    qint64 m_wholeSize = -1;
};
