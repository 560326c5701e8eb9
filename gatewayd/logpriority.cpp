#include "logpriority.h"

#include <QStringList>

namespace LogPriority {

int of(const QString &line)
{
    static const QStringList errorWords = {QStringLiteral("error: "), QStringLiteral("失败"),
                                           QStringLiteral("错误"),    QStringLiteral("无法"),
                                           QStringLiteral("不能"),    QStringLiteral("未能"),
                                           QStringLiteral("拒绝")};
    static const QStringList warningWords = {QStringLiteral("warning: "), QStringLiteral("警告")};
    for (const QString &word : errorWords) {
        if (line.contains(word))
            return Error;
    }
    for (const QString &word : warningWords) {
        if (line.contains(word))
            return Warning;
    }
    return Info;
}

} // namespace LogPriority
