#pragma once

#include <QDialog>
#include <QUrl>

#include <functional>

class LinkLabel;
class QFrame;
class QLabel;
class QLayout;
class QPushButton;

// The about box: title, version, what the gateway does, two contact links, and a button that
// starts the system-information tool. Shown modeless; closing it discards it.
class FrmAbout : public QDialog
{
    Q_OBJECT

public:
    // A message box with an OK button; tests replace it so nothing waits for a click.
    using MessageBoxHook =
            std::function<void(QWidget *parent, const QString &title, const QString &text)>;
    // Starts a program without waiting; false when it could not be started.
    using ProgramStarter = std::function<bool(const QString &program)>;
    using UrlOpener = std::function<bool(const QUrl &url)>;

    // Placed relative to the main window's size; parented to it so it stays above it.
    explicit FrmAbout(QWidget *mainWindow = nullptr);

    void setMessageBox(MessageBoxHook hook) { m_messageBox = std::move(hook); }
    void setProgramStarter(ProgramStarter starter) { m_startProgram = std::move(starter); }
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }

    void StartSysInfo();

    static QString versionText(int major, int minor, int patch);
    static QString applicationTitle();
    static QUrl mailLink();
    static QUrl webLink();

private:
    void buildControls();
    QFrame *buildHeader();
    QLayout *buildFooter();
    void placeBeside(const QWidget *mainWindow);

    QLabel *m_picIcon = nullptr;
    QLabel *m_lblTitle = nullptr;
    QLabel *m_lblVersion = nullptr;
    LinkLabel *m_lblMail = nullptr;
    LinkLabel *m_lblQQ = nullptr;
    QPushButton *m_cmdOK = nullptr;
    QPushButton *m_cmdSysInfo = nullptr;

    MessageBoxHook m_messageBox;
    ProgramStarter m_startProgram;
    UrlOpener m_openUrl;
};
