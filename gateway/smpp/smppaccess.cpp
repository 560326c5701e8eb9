#include "smppaccess.h"

#include "api/sendrequest.h"
#include "model/phonenumber.h"

SmppAccess::SmppAccess(const QString &programDir) : m_tokens(TokenStore::fileIn(programDir)) { }

std::optional<SmppAccess::Grant> SmppAccess::authenticate(const QByteArray &systemId,
                                                          const QByteArray &password)
{
    if (password.isEmpty())
        return std::nullopt;
    const auto entry = m_tokens.authenticate(password);
    if (!entry || entry->name.toUtf8() != systemId)
        return std::nullopt;
    return Grant{entry->name, entry->role != TokenStore::Role::Read,
                 entry->role != TokenStore::Role::Send};
}

QStringList SmppAccess::readers()
{
    QStringList names;
    for (const TokenStore::Entry &e : m_tokens.entries()) {
        if (e.role != TokenStore::Role::Send)
            names << e.name;
    }
    return names;
}

std::optional<QString> SmppAccess::number(const QString &text)
{
    return PhoneNumber::normalize(text);
}

bool SmppAccess::sendable(const QString &text)
{
    return SendRequest::parts(text) > 0;
}
