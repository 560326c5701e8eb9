#include "sendjournal.h"

#include <charconv>
#include <iterator>

void SendJournal::appendLine(QByteArray &data, const SendRecord &r)
{
    char digits[24];
    data.append(digits, std::to_chars(digits, std::end(digits), r.at).ptr - digits);
    data.append(' ');
    data.append(r.device.toUtf8());
    data.append(' ');
    data.append(digits, std::to_chars(digits, std::end(digits), r.parts).ptr - digits);
    data.append(' ');
    data.append(r.number.toUtf8());
    data.append('\n');
}

QList<SendRecord> SendJournal::load()
{
    QList<SendRecord> records;
    for (const QByteArray &l : m_file.readLines()) {
        const QList<QByteArray> f = l.split(' ');
        if (f.size() < 4)
            continue;
        SendRecord r;
        bool okAt = false;
        bool okParts = false;
        r.at = f.at(0).toLongLong(&okAt);
        r.device = QString::fromUtf8(f.at(1));
        r.parts = f.at(2).toInt(&okParts);
        r.number = QString::fromUtf8(l.mid(f.at(0).size() + f.at(1).size() + f.at(2).size() + 3));
        if (okAt && okParts && r.parts > 0)
            records.append(r);
    }
    return records;
}

bool SendJournal::append(const QList<SendRecord> &records, QString *error)
{
    QByteArray data;
    data.reserve(48 * records.size());
    for (const SendRecord &record : records)
        appendLine(data, record);
    return m_file.append(data, error);
}

bool SendJournal::rewrite(const QList<SendRecord> &records, QString *error)
{
    QByteArray data;
    data.reserve(48 * records.size());
    for (const SendRecord &r : records)
        appendLine(data, r);
    return m_file.replace(data, error);
}
