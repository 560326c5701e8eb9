#include "payloadwriter.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

PayloadWriter::PayloadWriter(ProgramResources resources, QString installFolder)
    : m_resources(std::move(resources)), m_installFolder(std::move(installFolder))
{ }

int PayloadWriter::entryCount() const
{
    const std::optional<QString> text = m_resources.string(CountId);
    if (!text)
        return 0;
    return ProgramResources::toInt32(*text).value_or(0);
}

bool PayloadWriter::writeAll(const std::function<void(int percent)> &progress)
{
    const int n = entryCount();
    for (int i = 1; i <= n; ++i) {
        if (!writeEntry(CountId + i))
            return false;
        progress(int(double(i) / n * 100));
    }
    return true;
}

bool PayloadWriter::writeEntry(int id)
{
    const std::optional<QString> descriptor = m_resources.string(id);
    if (!descriptor)
        return fail(QStringLiteral("string-table entry %1 is missing").arg(id));
    // Further parts are ignored, so a relative path never holds "-".
    const QStringList parts = descriptor->split(QLatin1Char('-'));
    const std::optional<qint32> count = ProgramResources::toInt32(parts.value(0));
    if (!count || *count < 0 || parts.size() < 2)
        return fail(QStringLiteral("entry %1 is not \"<bytes>-<path>\": \"%2\"")
                            .arg(id)
                            .arg(*descriptor));
    QString error;
    const std::optional<QByteArray> bytes = m_resources.leadingBytes(id, *count, &error);
    if (!bytes)
        return fail(error);

    const QString path = m_installFolder + parts.at(1);
    // A payload may bring a folder the installation does not have yet.
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return fail(QStringLiteral("cannot create the folder of %1").arg(path));
    // The new content replaces the old file as a whole (also a longer one, or a running
    // program), and the old file keeps its permissions.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    if (file.write(*bytes) != *count || !file.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

bool PayloadWriter::fail(const QString &message)
{
    m_error = message;
    return false;
}
