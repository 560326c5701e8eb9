#include "quarantine.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

QString Quarantine::put(const QString &stem, const QByteArray &content, QString *error)
{
    if (!QDir().mkpath(m_folder)) {
        *error = QStringLiteral("无法创建文件夹 %1").arg(m_folder);
        return {};
    }
    QString path = m_folder + QLatin1Char('/') + stem;
    for (int n = 2; QFile::exists(path); ++n)
        path = m_folder + QLatin1Char('/') + stem + QStringLiteral("-%1").arg(n);
    QFile file(path);
    if (!file.open(QIODevice::NewOnly | QIODevice::WriteOnly)) {
        *error = file.errorString();
        return {};
    }
    if (file.write(content) != content.size() || !file.flush() || ::fsync(file.handle()) != 0) {
        *error = file.errorString();
        file.close();
        QFile::remove(path);
        return {};
    }
    file.close();
    const int fd = ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return path;
}
