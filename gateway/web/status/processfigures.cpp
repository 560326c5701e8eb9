#include "processfigures.h"

#include <QDir>
#include <QFile>
#include <QList>

#include <sys/resource.h>
#include <unistd.h>

namespace {

QByteArray readProcFile(const char *path)
{
    QFile f(QString::fromLatin1(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The boot time in seconds since the epoch ("btime" of /proc/stat).
qint64 bootTime()
{
    for (const QByteArray &line : readProcFile("/proc/stat").split('\n')) {
        if (line.startsWith("btime "))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

void readStat(ProcessFigures &f)
{
    // The command name in parentheses may hold blanks; the fields follow its last ')'.
    const QByteArray stat = readProcFile("/proc/self/stat");
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    // Counted from field 3 (state): utime 14, stime 15, starttime 22, vsize 23, rss 24.
    const auto field = [&fields](int n) {
        return fields.value(n - 3).toLongLong();
    };
    const double ticks = double(::sysconf(_SC_CLK_TCK));
    const long page = ::sysconf(_SC_PAGESIZE);
    if (ticks <= 0 || fields.size() < 22)
        return;
    f.cpuSeconds = double(field(14) + field(15)) / ticks;
    f.virtualBytes = field(23);
    f.residentBytes = field(24) * page;
    if (const qint64 boot = bootTime(); boot >= 0)
        f.startTimeSeconds = double(boot) + double(field(22)) / ticks;
}

} // namespace

ProcessFigures ProcessFigures::read()
{
    ProcessFigures f;
    readStat(f);
    const QDir fds(QStringLiteral("/proc/self/fd"));
    if (fds.exists())
        f.openFds = fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
    struct rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        f.maxFds = qint64(limit.rlim_cur);
    return f;
}
