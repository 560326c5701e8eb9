#include "smppoutbox.h"

#include "common/writefully.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

const QString Suffix = QStringLiteral(".json");

} // namespace

bool makePrivateFolder(const QString &path, QString *error)
{
    if (!QDir().mkpath(path)) {
        *error = QStringLiteral("cannot make %1").arg(path);
        return false;
    }
    if (::chmod(QFile::encodeName(path).constData(), 0700) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

bool SmppOutbox::prepare(QString *error)
{
    return makePrivateFolder(m_folder, error);
}

bool SmppOutbox::add(SmppDelivery &entry, QString *error)
{
    // Sorts in the order of creation and is unique within the folder.
    entry.file = QStringLiteral("%1-%2%3")
                         .arg(entry.created.toMSecsSinceEpoch(), 15, 10, QLatin1Char('0'))
                         .arg(++m_serial, 10, 10, QLatin1Char('0'))
                         .arg(Suffix);
    const QJsonObject json{{QStringLiteral("token"), entry.token},
                           {QStringLiteral("created"), entry.created.toMSecsSinceEpoch()},
                           {QStringLiteral("body"), QString::fromLatin1(entry.body.toBase64())}};
    if (!replaceFileDurably(m_folder + QLatin1Char('/') + entry.file,
                            QJsonDocument(json).toJson(QJsonDocument::Compact))) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

void SmppOutbox::remove(const SmppDelivery &entry)
{
    // A removal lost to a power cut only offers the deliver_sm again.
    QFile::remove(m_folder + QLatin1Char('/') + entry.file);
}

QList<SmppDelivery> SmppOutbox::load()
{
    QDir dir(m_folder);
    QList<SmppDelivery> entries;
    for (const QString &name :
         dir.entryList({QLatin1Char('*') + Suffix}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        const QJsonObject json = file.open(QIODevice::ReadOnly)
                ? QJsonDocument::fromJson(file.readAll()).object()
                : QJsonObject();
        SmppDelivery entry{
                name, json.value(QStringLiteral("token")).toString(),
                QDateTime::fromMSecsSinceEpoch(json.value(QStringLiteral("created")).toInteger()),
                QByteArray::fromBase64(json.value(QStringLiteral("body")).toString().toLatin1())};
        if (entry.token.isEmpty() || entry.body.isEmpty()) {
            file.remove();
            continue;
        }
        entries.append(entry);
    }
    return entries;
}
