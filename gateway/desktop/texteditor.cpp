#include "texteditor.h"

#include "common/inifile.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

bool isTerminalEditor(const QString &program)
{
    static const QStringList terminalOnly = {QStringLiteral("vi"),   QStringLiteral("vim"),
                                             QStringLiteral("nvim"), QStringLiteral("nano"),
                                             QStringLiteral("ed"),   QStringLiteral("emacs"),
                                             QStringLiteral("joe"),  QStringLiteral("micro")};
    return terminalOnly.contains(QFileInfo(program).fileName());
}

// The Exec line of the desktop's default application for text/plain, with the file put in.
QStringList desktopDefault(const QString &file)
{
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/plain")});
    if (!query.waitForFinished(2000) || query.exitCode() != 0)
        return {};
    const QString desktopFile = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    if (desktopFile.isEmpty())
        return {};
    const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopFile);
    if (path.isEmpty())
        return {};
    const QString exec =
            IniFile(path).read(QStringLiteral("Desktop Entry"), QStringLiteral("Exec"), QString());
    QStringList parts = QProcess::splitCommand(exec);
    if (parts.isEmpty() || isTerminalEditor(parts.first()))
        return {};
    QStringList command;
    bool placed = false;
    for (const QString &part : parts) {
        if (part == QLatin1String("%f") || part == QLatin1String("%F")
            || part == QLatin1String("%u") || part == QLatin1String("%U")) {
            command << file;
            placed = true;
        } else if (!(part.size() == 2 && part.startsWith(QLatin1Char('%')))) {
            command << part;
        }
    }
    if (!placed)
        command << file;
    return command;
}

} // namespace

TextEditorLauncher::TextEditorLauncher()
    : m_starter([](const QString &program, const QStringList &args) {
          return QProcess::startDetached(program, args);
      })
{ }

TextEditorLauncher::TextEditorLauncher(Starter starter) : m_starter(std::move(starter)) { }

QStringList TextEditorLauncher::commandFor(const QString &file) const
{
    const QStringList visual = QProcess::splitCommand(qEnvironmentVariable("VISUAL"));
    if (!visual.isEmpty() && !isTerminalEditor(visual.first())
        && !QStandardPaths::findExecutable(visual.first()).isEmpty())
        return visual + QStringList{file};
    const QStringList fromDesktop = desktopDefault(file);
    if (!fromDesktop.isEmpty())
        return fromDesktop;
    static const QStringList common = {QStringLiteral("gnome-text-editor"),
                                       QStringLiteral("gedit"),
                                       QStringLiteral("kate"),
                                       QStringLiteral("kwrite"),
                                       QStringLiteral("mousepad"),
                                       QStringLiteral("pluma"),
                                       QStringLiteral("xed"),
                                       QStringLiteral("featherpad"),
                                       QStringLiteral("leafpad"),
                                       QStringLiteral("geany"),
                                       QStringLiteral("code"),
                                       QStringLiteral("xedit")};
    for (const QString &editor : common) {
        if (!QStandardPaths::findExecutable(editor).isEmpty())
            return {editor, file};
    }
    return {};
}

bool TextEditorLauncher::open(const QString &file) const
{
    const QStringList command = commandFor(file);
    if (command.isEmpty())
        return false;
    return m_starter(command.first(), command.mid(1));
}
