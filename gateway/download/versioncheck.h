#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class LogSink;

// The menu command "检查升级": fetches the version file from the update server and, when it
// offers a version later than the gateway's own, opens a download window for the updater
// it names. Everything it has to say goes to the activity log.
//
// The version file is "$<version>$<updater URL>$[<SHA-256 of the updater, 64 hex digits>]":
// fields split at every "$", field 1 the version, field 2 the URL. When field 3 holds a digest
// the downloaded updater runs only if it matches.
class VersionCheck : public QObject
{
    Q_OBJECT

public:
    // Opens a download window for the updater at url; expectedSha256 is empty or 32 bytes.
    using DownloadWindowFactory =
            std::function<void(const QString &url, const QByteArray &expectedSha256)>;

    VersionCheck(LogSink &log, DownloadWindowFactory openDownloadWindow, QObject *parent = nullptr);

    // The gateway's own version as the check compares it.
    static const QString ProgramVersion;
    static constexpr int DefaultTimeoutSecs = 15;

    // The server fixed at build time (VELMORA_UPDATE_SERVER), unless the environment variable of
    // the same name names another.
    static QString updateServer();
    static QString versionFileUrl(const QString &server);

    // Bound on the whole request, connection included.
    void setTimeoutSecs(int seconds) { m_timeoutSecs = seconds; }
    int timeoutSecs() const { return m_timeoutSecs; }

    // mnuUpdate_Click. Waits for the answer; the event loop keeps running meanwhile, user input
    // waits.
    void run();

    // Fields of the version file: split at every "$", empty ones kept; an empty body has none.
    static QStringList splitFields(const QString &body);
    // Plain text order: code unit by code unit, a prefix before the longer text.
    static bool sortsBefore(const QString &a, const QString &b);
    // Whether offered names a later version than current, number by number ("V1.0.10" after
    // "V1.0.9", "V1.0" the same as "V1.0.0"). A version is "V" and numbers joined by dots; any
    // other text, "v0.1" or "V1.0.0 " among them, offers nothing.
    static bool isNewerVersion(const QString &offered, const QString &current);
    // The digest in field 3, when it holds 64 hex digits (blanks and line breaks around allowed).
    static std::optional<QByteArray> expectedSha256(const QStringList &fields);
    static bool fileHasSha256(const QString &path, const QByteArray &sha256);

private:
    LogSink &m_log;
    DownloadWindowFactory m_openDownloadWindow;
    int m_timeoutSecs = DefaultTimeoutSecs;
};
