#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// Opens a file in a graphical text editor without waiting for it, also when the file does not
// exist yet: $VISUAL when it names a graphical editor, else the desktop's default for plain
// text, else the first common editor found.
class TextEditorLauncher
{
public:
    // Starts a detached program; true when it started.
    using Starter = std::function<bool(const QString &program, const QStringList &args)>;

    TextEditorLauncher();
    explicit TextEditorLauncher(Starter starter);

    bool open(const QString &file) const;
    // The command that open() would run, or an empty list when no editor is found.
    QStringList commandFor(const QString &file) const;

private:
    Starter m_starter;
};
