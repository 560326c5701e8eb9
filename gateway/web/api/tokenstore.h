#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// The API's bearer tokens, in one file of the program folder that only the gateway's user may
// read: a line per token with its name, its role and a salted SHA-256 of it; the token itself
// is shown once, when it is made. A running gateway sees every change at its next request.
class TokenStore
{
public:
    enum class Role { Send, Operator, Read };

    struct Entry
    {
        QString name;
        Role role = Role::Send;
        QByteArray salt;
        QByteArray hash;
    };

    explicit TokenStore(QString path);

    static QString fileIn(const QString &programDir);
    static QString roleName(Role role);
    static std::optional<Role> roleNamed(const QString &name);
    // Letters, digits, '.', '_' and '-', at most 64.
    static bool validName(const QString &name);

    // A new token for name; its text, or empty with *error set.
    QString add(const QString &name, Role role, QString *error);
    bool revoke(const QString &name, QString *error);
    QList<Entry> entries();

    // The entry the token belongs to. Every entry is compared, all bytes of each, so that the
    // time taken tells nothing of how close a guess came.
    std::optional<Entry> authenticate(const QByteArray &token);

private:
    // Reads the file again when it changed since the last read.
    void refresh();
    bool write(const QList<Entry> &entries, QString *error);

    QString m_path;
    QList<Entry> m_entries;
    QByteArray m_stamp;
};
