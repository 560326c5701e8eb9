#pragma once

#include <QString>
#include <optional>

class QCommandLineParser;

// --add-token NAME [--role ROLE], --list-tokens and --revoke-token NAME: the API's tokens in
// the program folder, made and revoked while the service runs or not.
namespace TokenCommands {

void addOptions(QCommandLineParser &parser);
// The exit code when one of the commands was given (and run), nullopt otherwise.
std::optional<int> run(const QCommandLineParser &parser, const QString &programDir);

} // namespace TokenCommands
