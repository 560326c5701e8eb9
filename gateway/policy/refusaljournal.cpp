#include "refusaljournal.h"

namespace {

QByteArray line(const QString &sysNo, const QString &port)
{
    return sysNo.toUtf8() + ' ' + port.toUtf8() + '\n';
}

} // namespace

RefusalJournal::RefusalJournal(QString path) : m_file(std::move(path))
{
    load();
}

void RefusalJournal::load()
{
    for (const QByteArray &l : m_file.readLines()) {
        const qsizetype blank = l.indexOf(' ');
        if (blank <= 0 || blank + 1 >= l.size())
            continue;
        m_refused[QString::fromUtf8(l.left(blank))].append(QString::fromUtf8(l.mid(blank + 1)));
    }
}

bool RefusalJournal::add(const QString &sysNo, const QString &port, QString *error)
{
    // Kept in memory also when the disk fails: this run still honours it.
    m_refused[sysNo].append(port);
    return m_file.append(line(sysNo, port), error);
}

bool RefusalJournal::forget(const QString &sysNo, QString *error)
{
    return forget(QStringList{sysNo}, error);
}

bool RefusalJournal::forget(const QStringList &sysNos, QString *error)
{
    qsizetype removed = 0;
    for (const QString &sysNo : sysNos)
        removed += m_refused.remove(sysNo);
    if (removed == 0)
        return true;
    QByteArray data;
    for (auto it = m_refused.cbegin(); it != m_refused.cend(); ++it) {
        for (const QString &port : it.value())
            data += line(it.key(), port);
    }
    // A crash leaves the old file or the new one; the old one only keeps a row that ended,
    // which no load meets again.
    return m_file.replace(data, error);
}
