#include "tokencommands.h"

#include "api/tokenstore.h"

#include <QCommandLineParser>
#include <cstdio>

namespace {

const QString AddOption = QStringLiteral("add-token");
const QString ListOption = QStringLiteral("list-tokens");
const QString RevokeOption = QStringLiteral("revoke-token");
const QString RoleOption = QStringLiteral("role");

int failed(const QString &text)
{
    std::fprintf(stderr, "velmora-gatewayd: %s\n", qUtf8Printable(text));
    return 1;
}

int add(TokenStore &store, const QString &name, const QString &roleText)
{
    const auto role = TokenStore::roleNamed(roleText);
    if (!role)
        return failed(QStringLiteral("未知的角色%1（可用：send、operator、read）").arg(roleText));
    QString error;
    const QString token = store.add(name, *role, &error);
    if (token.isEmpty())
        return failed(error);
    std::printf("%s\n", qUtf8Printable(token));
    std::fprintf(stderr, "%s\n",
                 qUtf8Printable(QStringLiteral("令牌%1（%2）已创建；它只显示这一次，请妥善保存。")
                                        .arg(name, TokenStore::roleName(*role))));
    return 0;
}

} // namespace

namespace TokenCommands {

void addOptions(QCommandLineParser &parser)
{
    parser.addOption({AddOption,
                      QStringLiteral("Makes an API token named NAME and prints it once."),
                      QStringLiteral("NAME")});
    parser.addOption({RoleOption,
                      QStringLiteral("Role of the new token: send (default), operator or read."),
                      QStringLiteral("ROLE"), QStringLiteral("send")});
    parser.addOption({ListOption, QStringLiteral("Lists the API tokens by name and role.")});
    parser.addOption({RevokeOption, QStringLiteral("Revokes the API token named NAME."),
                      QStringLiteral("NAME")});
}

std::optional<int> run(const QCommandLineParser &parser, const QString &programDir)
{
    TokenStore store(TokenStore::fileIn(programDir));
    if (parser.isSet(AddOption))
        return add(store, parser.value(AddOption), parser.value(RoleOption));
    if (parser.isSet(RevokeOption)) {
        QString error;
        if (!store.revoke(parser.value(RevokeOption), &error))
            return failed(error);
        return 0;
    }
    if (parser.isSet(ListOption)) {
        for (const TokenStore::Entry &e : store.entries())
            std::printf("%s\t%s\n", qUtf8Printable(e.name),
                        qUtf8Printable(TokenStore::roleName(e.role)));
        return 0;
    }
    return std::nullopt;
}

} // namespace TokenCommands
