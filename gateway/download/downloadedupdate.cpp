#include "downloadedupdate.h"

#include "versioncheck.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

DownloadedUpdate::DownloadedUpdate(QString receivedPath, QString targetPath)
    : m_received(std::move(receivedPath)), m_target(std::move(targetPath))
{ }

QString DownloadedUpdate::receivingPathFor(const QString &targetPath)
{
    // A target that names no file stays as it is, for the download control to refuse.
    const QString name = targetPath.mid(targetPath.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return targetPath;
    static int windows = 0;
    return QStringLiteral("%1.%2-%3.part")
            .arg(targetPath)
            .arg(QCoreApplication::applicationPid())
            .arg(++windows);
}

bool DownloadedUpdate::install(const QByteArray &expectedSha256, qint64 announcedLength)
{
    const qint64 size = QFileInfo(m_received).size();
    if (!expectedSha256.isEmpty()) {
        if (!VersionCheck::fileHasSha256(m_received, expectedSha256))
            return reject(QStringLiteral("下载的文件 %1 与版本文件给出的 SHA-256 "
                                         "校验值不符，已删除，未运行")
                                  .arg(m_target));
    } else if (announcedLength <= 0) {
        return reject(QStringLiteral("下载的文件 %1 没有 SHA-256 校验值，服务器也未给出长度，"
                                     "无法确认下载完整，已删除，未运行")
                              .arg(m_target));
    } else if (size != announcedLength) {
        return reject(
                QStringLiteral("下载的文件 %1 收到 %2 字节，服务器给出的长度为 %3 字节，"
                               "已删除，未运行")
                        .arg(m_target, QString::number(size), QString::number(announcedLength)));
    }
    // A file fetched over the network carries no mode; it runs as a program.
    QFile::setPermissions(m_received,
                          QFile::permissions(m_received) | QFileDevice::ExeOwner
                                  | QFileDevice::ExeUser | QFileDevice::ExeGroup
                                  | QFileDevice::ExeOther);
    // rename() replaces the target in one step: there is always a whole updater in place.
    if (std::rename(QFile::encodeName(m_received).constData(),
                    QFile::encodeName(m_target).constData())
        != 0)
        return reject(QStringLiteral("无法用下载的文件替换 %1，已删除，未运行").arg(m_target));
    return true;
}

bool DownloadedUpdate::reject(const QString &reason)
{
    QFile::remove(m_received);
    m_error = reason;
    return false;
}
