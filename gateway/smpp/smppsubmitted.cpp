#include "smppsubmitted.h"

#include "common/writefully.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QByteArray field(const QByteArray &b)
{
    return b.toBase64();
}

QByteArray watchLine(qint64 id, const SmppWatch &w)
{
    return "+ " + QByteArray::number(id) + ' ' + field(w.token.toUtf8()) + ' '
            + QByteArray::number(w.registeredDelivery) + ' '
            + QByteArray::number(w.submitted.toMSecsSinceEpoch()) + ' '
            + QByteArray::number(w.source.ton) + ' ' + QByteArray::number(w.source.npi) + ' '
            + field(w.source.address) + ' ' + QByteArray::number(w.destination.ton) + ' '
            + QByteArray::number(w.destination.npi) + ' ' + field(w.destination.address) + ' '
            + field(w.text.toUtf8()) + '\n';
}

bool parseWatch(const QList<QByteArray> &f, qint64 *id, SmppWatch *w)
{
    // Fields may be empty: base64 of nothing.
    if (f.size() != 12)
        return false;
    bool ok = true;
    auto num = [&ok](const QByteArray &s) {
        bool good = false;
        const qint64 v = s.toLongLong(&good);
        ok = ok && good;
        return v;
    };
    *id = num(f.at(1));
    w->token = QString::fromUtf8(QByteArray::fromBase64(f.at(2)));
    w->registeredDelivery = quint8(num(f.at(3)));
    w->submitted = QDateTime::fromMSecsSinceEpoch(num(f.at(4)));
    w->source = {quint8(num(f.at(5))), quint8(num(f.at(6))), QByteArray::fromBase64(f.at(7))};
    w->destination = {quint8(num(f.at(8))), quint8(num(f.at(9))),
                      QByteArray::fromBase64(f.at(10))};
    w->text = QString::fromUtf8(QByteArray::fromBase64(f.at(11)));
    return ok && !w->token.isEmpty();
}

} // namespace

SmppSubmitted::~SmppSubmitted()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SmppSubmitted::load(const QDateTime &cutOff, QString *error)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_watches.clear();
    QFile file(m_path);
    if (file.open(QIODevice::ReadOnly)) {
        // A line cut off by a kill has no newline: it was never answered, so it is dropped.
        const QByteArray all = file.readAll();
        const QList<QByteArray> lines = all.left(all.lastIndexOf('\n') + 1).split('\n');
        for (const QByteArray &line : lines) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() == 2 && f.at(0) == "-") {
                m_watches.remove(f.at(1).toLongLong());
                continue;
            }
            qint64 id = 0;
            SmppWatch w;
            if (f.value(0) == "+" && parseWatch(f, &id, &w) && w.submitted >= cutOff)
                m_watches.insert(id, w);
        }
    }
    return rewrite(error);
}

bool SmppSubmitted::rewrite(QString *error)
{
    if (m_fd >= 0)
        ::close(m_fd);
    QByteArray fresh;
    for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it)
        fresh += watchLine(it.key(), it.value());
    m_lines = m_watches.size();
    m_dirty = false;
    m_fd = replaceFileDurably(m_path, fresh)
            ? ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC)
            : -1;
    if (m_fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

void SmppSubmitted::append(const QByteArray &line)
{
    if (m_fd >= 0 && writeFully(m_fd, line)) {
        m_dirty = true;
        ++m_lines;
    }
}

void SmppSubmitted::add(qint64 id, const SmppWatch &watch)
{
    m_watches.insert(id, watch);
    append(watchLine(id, watch));
}

bool SmppSubmitted::sync()
{
    // Settled lines pile up in a running gateway: written afresh when they are most of it.
    if (m_lines > 4 * m_watches.size() + 10000) {
        QString error;
        return rewrite(&error);
    }
    if (!m_dirty)
        return m_fd >= 0;
    m_dirty = false;
    return ::fdatasync(m_fd) == 0;
}

const SmppWatch *SmppSubmitted::find(qint64 id) const
{
    auto it = m_watches.constFind(id);
    return it == m_watches.cend() ? nullptr : &it.value();
}

void SmppSubmitted::settle(qint64 id)
{
    // Not synced: lost, it only leaves a watch that no event will ever find.
    if (m_watches.remove(id))
        append("- " + QByteArray::number(id) + '\n');
}
