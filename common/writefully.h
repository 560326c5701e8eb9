#pragma once

#include <QByteArray>

// Writes all of data to the file descriptor, going on after partial writes and interruptions;
// false (errno says why) when the descriptor takes no more.
bool writeFully(int fd, const QByteArray &data);

class QString;

// Puts data in place of the file at path in one step: written to path + ".tmp" (0600), synced,
// then renamed over it, so a crash leaves the old file or the new one, never a part. false
// (errno says why) when any step failed; the temporary file is gone then.
bool replaceFileDurably(const QString &path, const QByteArray &data);
