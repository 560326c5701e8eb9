#include "processcpu.h"

#include <QFile>
#include <QList>
#include <QProcess>
#include <QStringList>

#include <unistd.h>

double ProcessCpu::seconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double ticks = double(f.value(11).toLongLong() + f.value(12).toLongLong());
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

void ProcessCpu::toggleProfile(const char *state, qint64 pid)
{
    const QStringList command = qEnvironmentVariable("VELMORA_BENCH_PROFILE")
                                        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (command.isEmpty())
        return;
    QProcess::execute(command.first(),
                      command.mid(1) << QString::fromLatin1(state) << QString::number(pid));
}
