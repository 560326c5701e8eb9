#include "configcheck.h"

#include <QFile>
#include <QFileInfo>

namespace ConfigCheck {

QString problem(const QString &configPath)
{
    const QFileInfo info(configPath);
    if (!info.exists() && !info.isSymLink())
        return {};
    if (info.isDir())
        return QStringLiteral("是文件夹");
    QFile file(configPath);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    // Opened is not yet read: an I/O error or a special file shows only now.
    char byte = 0;
    if (file.read(&byte, 1) < 0)
        return file.errorString();
    return {};
}

} // namespace ConfigCheck
