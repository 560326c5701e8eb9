#include "programresources.h"

#include <QFile>

ProgramResources::ProgramResources(QString root) : m_root(std::move(root)) { }

std::optional<QByteArray> ProgramResources::data(int id) const
{
    QFile file(m_root + QStringLiteral("/CUSTOM/") + QString::number(id));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

std::optional<QString> ProgramResources::string(int id) const
{
    QFile file(m_root + QStringLiteral("/STRING/") + QString::number(id));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(file.readAll());
}

std::optional<qint32> ProgramResources::toInt32(const QString &text)
{
    bool ok = false;
    const qint32 value = text.trimmed().toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<QByteArray> ProgramResources::leadingBytes(int id, qint32 count, QString *error) const
{
    const std::optional<QByteArray> bytes = data(id);
    if (!bytes) {
        *error = QStringLiteral("resource %1 is missing").arg(id);
        return std::nullopt;
    }
    if (count > bytes->size()) {
        *error = QStringLiteral("resource %1 holds %2 bytes, fewer than the %3 to write")
                         .arg(id)
                         .arg(bytes->size())
                         .arg(count);
        return std::nullopt;
    }
    return bytes->left(count);
}
