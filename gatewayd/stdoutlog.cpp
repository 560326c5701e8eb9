#include "stdoutlog.h"

#include "logpriority.h"

#include "common/logtext.h"
#include "core/activitylog.h"

#include <QStringList>
#include <sys/stat.h>

namespace {

// "MM-dd HH:mm:ss > "
constexpr qsizetype StampLength = 17;

} // namespace

StdoutLog::StdoutLog(ActivityLog &log, FILE *out, bool toJournal, QObject *parent)
    : QObject(parent), m_out(out), m_toJournal(toJournal)
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(0);
    connect(&m_flushTimer, &QTimer::timeout, this, &StdoutLog::flush);
    connect(&log, &ActivityLog::textReset, this, &StdoutLog::writeLines);
    connect(&log, &ActivityLog::textAppended, this, [this](const QString &piece) {
        writeLines(piece.mid(2)); // without the leading CR LF
    });
}

StdoutLog::~StdoutLog()
{
    flush();
}

void StdoutLog::flush()
{
    m_flushTimer.stop();
    if (m_pending.isEmpty())
        return;
    std::fwrite(m_pending.constData(), 1, size_t(m_pending.size()), m_out);
    std::fflush(m_out);
    m_pending.clear();
}

bool StdoutLog::isJournal(int fd)
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const qsizetype colon = stream.indexOf(':');
    if (colon <= 0)
        return false;
    struct stat st = {};
    if (::fstat(fd, &st) != 0)
        return false;
    bool devOk = false;
    bool inodeOk = false;
    const qulonglong dev = stream.left(colon).toULongLong(&devOk);
    const qulonglong inode = stream.mid(colon + 1).toULongLong(&inodeOk);
    return devOk && inodeOk && dev == st.st_dev && inode == st.st_ino;
}

void StdoutLog::writeLines(const QString &text)
{
    // One log line, one output line: a journal entry must not split a message.
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    // What is left of a received text's controls (ESC, a lone CR, VT) must not drive a terminal
    // or forge a journal line.
    line = loggableText(line);
    if (m_toJournal) {
        line.remove(0, StampLength);
        m_pending += '<' + QByteArray::number(LogPriority::of(line)) + '>';
    }
    m_pending += line.toUtf8();
    m_pending += '\n';
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}
