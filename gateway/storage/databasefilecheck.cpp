#include "databasefilecheck.h"

#include "connectionstring.h"

#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

void DatabaseFileCheck::opened(const QString &connectionString)
{
    m_path.clear();
    ConnectionString cs;
    QString error;
    if (!ConnectionString::parse(connectionString, &cs, &error)
        || cs.kind != ConnectionString::Kind::SQLite
        || cs.databaseName == QLatin1String(":memory:"))
        return;
    struct stat st = {};
    if (::stat(QFile::encodeName(cs.databaseName).constData(), &st) != 0)
        return;
    m_path = cs.databaseName;
    m_device = st.st_dev;
    m_inode = st.st_ino;
}

QString DatabaseFileCheck::problem() const
{
    if (m_path.isEmpty())
        return {};
    const QByteArray path = QFile::encodeName(m_path);
    struct stat st = {};
    if (::stat(path.constData(), &st) != 0)
        return QStringLiteral("数据库文件%1不存在").arg(m_path);
    if (st.st_dev != m_device || st.st_ino != m_inode)
        return QStringLiteral("数据库文件%1已被移走或替换").arg(m_path);
    if (::access(path.constData(), R_OK | W_OK) != 0)
        return QStringLiteral("数据库文件%1无法读写").arg(m_path);
    return {};
}
