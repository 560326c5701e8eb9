#pragma once

#include "sendcounts.h"

#include "common/durableappendfile.h"

#include <QList>
#include <QString>

// The messages handed to modems, one line each, in a file that only this gateway writes (a
// gateway that shares the database keeps its own SIMs' counts). A line is on the disk before
// its message goes to the modem, so neither a kill nor a power cut loses a count; a line cut
// off by either is dropped at the next load. rewrite() keeps only what the counts still need,
// replacing the file in one step. Readable by the owner alone: it holds numbers.
class SendJournal
{
public:
    explicit SendJournal(QString path) : m_file(std::move(path)) { }

    const QString &path() const { return m_file.path(); }
    QList<SendRecord> load();
    bool append(const SendRecord &record, QString *error)
    {
        return append(QList<SendRecord>{record}, error);
    }
    // Several records with one wait for the disk.
    bool append(const QList<SendRecord> &records, QString *error);
    bool rewrite(const QList<SendRecord> &records, QString *error);

private:
    // Adds the record's line to data. Written for every message, so without a string per field.
    static void appendLine(QByteArray &data, const SendRecord &record);

    DurableAppendFile m_file;
};
