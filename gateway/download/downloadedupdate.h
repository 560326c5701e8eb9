#pragma once

#include <QByteArray>
#include <QString>

// An updater a download window received into a file of its own beside its place in the update
// folder. It takes that place, and may run, only when it is shown complete: its SHA-256 matches
// the one the version file gave or, without one, the server announced a length and exactly that
// many bytes arrived. A body with neither may have been cut off anywhere, and it would be run as
// a program; the updater already in place is the last one known good and stays.
class DownloadedUpdate
{
public:
    DownloadedUpdate(QString receivedPath, QString targetPath);

    // Where a window receives the updater for targetPath: a name no other window of any process
    // uses, so two downloads of one updater never write into the same file. A target that names
    // no file ("", "." or "..") is returned as it is.
    static QString receivingPathFor(const QString &targetPath);

    // Checks the received file, makes it executable and renames it over the target. Otherwise
    // the received file is removed, the target stays as it was and errorString() says why.
    // announcedLength is 0 when the server announced none.
    bool install(const QByteArray &expectedSha256, qint64 announcedLength);

    const QString &errorString() const { return m_error; }

private:
    bool reject(const QString &reason);

    QString m_received;
    QString m_target;
    QString m_error;
};
