#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

class Clock;

// What the download window shows for a transfer: the status line, the amount or time line,
// the percentage caption and the width of the bar, computed from each progress report.
class DownloadProgress
{
public:
    explicit DownloadProgress(const Clock &clock);

    struct View
    {
        QString header;
        QString timeLine; // the amount line, or the remaining time once it can be estimated
        std::optional<QString> caption; // unchanged when the total size is unknown
        int barUnits = 0;               // 0 to 100
    };

    void setFtp(bool ftp) { m_isFtp = ftp; }
    bool isFtp() const { return m_isFtp; }

    // One report: bytes read, bytes expected (0 when unknown) and the header text.
    View report(qint64 bytesRead, qint64 bytesMax, const QString &header);

    // The status line for a progress record's status code; empty for codes without one.
    static QString headerForStatus(int statusCode);
    // The status line for a transfer state; none for states that leave it as it is.
    static std::optional<QString> headerForState(int state);
    static QString amountText(qint64 bytesRead);
    static int percent(qint64 bytesRead, qint64 bytesMax);
    static QString caption(int percent);
    static QString remainingText(qint64 remainingMs);
    // The tray tip holds the path in a field of 64 characters with its terminating NUL.
    static QString trayTip(const QString &targetPath);

private:
    const Clock &m_clock;
    bool m_isFtp = false;
    bool m_timingStarted = false;
    QDateTime m_startTime;
    int m_ftpTicker = 0;
};
