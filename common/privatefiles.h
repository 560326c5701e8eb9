#pragma once

#include <QString>
#include <QStringList>

// Received messages, spooled writes and their journals are the gateway user's alone: files it
// makes are 0600 and folders 0700, or 0660 and 2770 inside a program folder that is shared with
// a group through its set-group-ID bit. Sets the process's file mode mask accordingly and
// tightens what the given paths under programDir already hold from an earlier version.
void keepMessageFilesPrivate(const QString &programDir, const QStringList &paths);
