#pragma once

#include "download/downloadprogress.h"
#include "download/versioncheck.h"

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <functional>

class LogSink;
class Clock;
class Downloader;
class QAction;
class QLabel;
class QMenu;
class QSystemTrayIcon;
struct AsyncProp;

// The download window: fetches the updater named by the version check into the "update" folder
// of the installation, shows the progress, and runs the file when it is complete. One window
// per download; it has its own tray entry and deletes itself when closed, which stops the
// download.
class FrmUpdate : public QWidget
{
    Q_OBJECT

public:
    explicit FrmUpdate(LogSink &log, QWidget *mainWindow = nullptr,
                       const Clock &clock = defaultClock(), QWidget *parent = nullptr);
    ~FrmUpdate() override;

    // What the version check calls: a new window that starts downloading.
    static VersionCheck::DownloadWindowFactory opener(LogSink &log, QWidget *mainWindow);

    // The gateway's program folder; the target folder is "update" beside it.
    void setProgramDir(const QString &dir) { m_programDir = dir; }

    // Starts the download of url. The file replaces the one at TargetPath() and runs only when
    // it is shown complete (see DownloadedUpdate).
    void StartDownload(const QString &url, const QByteArray &expectedSha256 = {});
    void Progress(qint64 bytesRead, qint64 bytesMax, const QString &header);

    const QString &TargetPath() const { return m_targetPath; }
    // Closed: its tray entry is gone and so is its download; deletion follows in the loop.
    bool isClosed() const { return m_closed; }
    Downloader *downCtl() const { return m_downCtl; }
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    QMenu *trayMenu() const { return m_mnuTray; }

    static const Clock &defaultClock();
    // Whether a notification area is there to hold the entry now; the desktop's answer by default.
    void setTrayAvailability(std::function<bool()> available);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void DownCTL_AsyncReadProgress(const AsyncProp &prop);
    void DownCTL_StateChanged(qint16 state);
    void DownCTL_DownloadComplete();
    void DownCTL_DownloadError(const QString &error);
    void applyConnectionSettings();
    bool yield(int times = 1);
    // Out of sight: into the tray entry, or onto the taskbar while no tray could bring it back.
    void putAway();

    LogSink &m_log;
    QWidget *m_mainWindow;
    DownloadProgress m_progress;
    QString m_programDir;
    QString m_targetPath;
    // The download lands here and replaces m_targetPath only once shown complete.
    QString m_receivedPath;
    qint64 m_announcedLength = 0;
    QByteArray m_expectedSha256;
    bool m_closed = false;
    std::function<bool()> m_trayAvailable;

    QLabel *m_imgBackDrop;
    QLabel *m_lblCaption;
    QLabel *m_lblHeader;
    QLabel *m_lblProtocol;
    QLabel *m_lblTime;
    QWidget *m_barFrame;
    QLabel *m_chkPrg;
    QLabel *m_imgClose;
    QLabel *m_imgMin;
    QSystemTrayIcon *m_tray = nullptr;
    QMenu *m_mnuTray;
    QAction *m_mnuShow;
    QAction *m_mnuStop;
    Downloader *m_downCtl;
};
