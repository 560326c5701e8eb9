#include "tokenstore.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int TokenBytes = 32;
constexpr int SaltBytes = 16;

QByteArray randomBytes(int n)
{
    QByteArray out(n, '\0');
    QRandomGenerator::system()->generate(out.begin(), out.end());
    return out;
}

QByteArray digest(const QByteArray &salt, const QByteArray &token)
{
    return QCryptographicHash::hash(salt + token, QCryptographicHash::Sha256);
}

bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return diff == 0;
}

// Inode, size and modification time in nanoseconds: a rewrite through a new file changes the
// inode even within the same clock tick.
QByteArray fileStamp(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QByteArrayLiteral("none");
    return QByteArray::number(qulonglong(st.st_ino)) + ' '
            + QByteArray::number(qlonglong(st.st_size)) + ' '
            + QByteArray::number(qlonglong(st.st_mtim.tv_sec)) + '.'
            + QByteArray::number(qlonglong(st.st_mtim.tv_nsec));
}

std::optional<TokenStore::Entry> parseLine(const QByteArray &line)
{
    const QList<QByteArray> f = line.trimmed().split(' ');
    if (f.size() != 4)
        return std::nullopt;
    const auto role = TokenStore::roleNamed(QString::fromLatin1(f.at(1)));
    const QString name = QString::fromUtf8(f.at(0));
    if (!role || !TokenStore::validName(name))
        return std::nullopt;
    return TokenStore::Entry{name, *role, QByteArray::fromHex(f.at(2)),
                             QByteArray::fromHex(f.at(3))};
}

} // namespace

TokenStore::TokenStore(QString path) : m_path(std::move(path)) { }

QString TokenStore::fileIn(const QString &programDir)
{
    return programDir + QStringLiteral("/api-tokens");
}

QString TokenStore::roleName(Role role)
{
    switch (role) {
    case Role::Send:
        return QStringLiteral("send");
    case Role::Operator:
        return QStringLiteral("operator");
    case Role::Read:
        return QStringLiteral("read");
    }
    return {};
}

std::optional<TokenStore::Role> TokenStore::roleNamed(const QString &name)
{
    for (Role r : {Role::Send, Role::Operator, Role::Read}) {
        if (roleName(r) == name)
            return r;
    }
    return std::nullopt;
}

bool TokenStore::validName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9._-]{1,64}$"));
    return pattern.match(name).hasMatch();
}

void TokenStore::refresh()
{
    const QByteArray stamp = fileStamp(m_path);
    if (stamp == m_stamp)
        return;
    m_stamp = stamp;
    m_entries.clear();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (auto entry = parseLine(line))
            m_entries.append(*entry);
    }
}

QList<TokenStore::Entry> TokenStore::entries()
{
    refresh();
    return m_entries;
}

bool TokenStore::write(const QList<Entry> &entries, QString *error)
{
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)
        || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        *error = file.errorString();
        return false;
    }
    for (const Entry &e : entries) {
        file.write(e.name.toUtf8() + ' ' + roleName(e.role).toLatin1() + ' ' + e.salt.toHex() + ' '
                   + e.hash.toHex() + '\n');
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    // Made by root for a service that runs as the folder's owner: the owner must read it.
    struct stat folder
    {
    };
    if (::geteuid() == 0
        && ::stat(QFile::encodeName(QFileInfo(m_path).absolutePath()).constData(), &folder) == 0
        && ::chown(QFile::encodeName(m_path).constData(), folder.st_uid, folder.st_gid) != 0) {
        *error = QStringLiteral("无法把令牌文件交给程序文件夹的所有者");
        return false;
    }
    m_stamp.clear();
    return true;
}

QString TokenStore::add(const QString &name, Role role, QString *error)
{
    if (!validName(name)) {
        *error = QStringLiteral("令牌名称只能包含字母、数字、点、下划线和连字符（最多64个）");
        return {};
    }
    QList<Entry> all = entries();
    for (const Entry &e : std::as_const(all)) {
        if (e.name == name) {
            *error = QStringLiteral("令牌%1已存在").arg(name);
            return {};
        }
    }
    const QByteArray token = "vm_"
            + randomBytes(TokenBytes)
                      .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    const QByteArray salt = randomBytes(SaltBytes);
    all.append({name, role, salt, digest(salt, token)});
    if (!write(all, error))
        return {};
    return QString::fromLatin1(token);
}

bool TokenStore::revoke(const QString &name, QString *error)
{
    QList<Entry> all = entries();
    const qsizetype before = all.size();
    all.removeIf([&name](const Entry &e) { return e.name == name; });
    if (all.size() == before) {
        *error = QStringLiteral("没有名为%1的令牌").arg(name);
        return false;
    }
    return write(all, error);
}

std::optional<TokenStore::Entry> TokenStore::authenticate(const QByteArray &token)
{
    refresh();
    std::optional<Entry> found;
    for (const Entry &e : std::as_const(m_entries)) {
        if (sameBytes(digest(e.salt, token), e.hash) && !found)
            found = e;
    }
    return found;
}
