#pragma once

#include "mainlayout.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class EngineClient;
class FrmAbout;
class FrmHelp;
class FrmTest;
class XButton;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QStatusBar;
class QSystemTrayIcon;
class QTreeView;
class SplitterBar;
class TextEditorLauncher;

// The gateway's one window: toolbar band, activity log, splitter, device list and status bar,
// the menus and the tray icon. It shows what the engine client holds and forwards the operator's
// commands to it.
class FrmMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit FrmMain(EngineClient &client, QWidget *parent = nullptr);
    ~FrmMain() override;

    // The start-up sequence after the single-instance check: log, layout, settings, device list.
    void Form_Load();
    void AddTrayIcon();
    void RemoveTrayIcon();

    bool TrayHidden() const { return m_trayHidden; }
    const MainLayout &layoutTwips() const { return m_layout; }
    QPlainTextEdit *text1() const { return m_text1; }
    QTreeView *listView1() const { return m_listView1; }
    SplitterBar *picture2() const { return m_picture2; }
    XButton *toolbarButton(int index) const;
    QMenu *mnuGSM() const { return m_mnuGSM; }
    QMenu *popSys() const { return m_popSys; }
    QSystemTrayIcon *trayIcon() const { return m_tray; }

    void setEditorLauncher(TextEditorLauncher *launcher);
    // Whether a notification area is there to hold the icon now; the desktop's answer by default.
    void setTrayAvailability(std::function<bool()> available);
    // Names the system's serial ports for the device search ("COM1-COM3-").
    void setPortLister(std::function<QString()> lister);

    // Commands of the menus, toolbar and tray.
    void mnuXTPZ_Click();
    void mnuQDFW_Click();
    void mnuGXFW_Click();
    void mnuTCXT_Click();
    void mnuCSDX_Click();
    void mnuSearch_Click();
    void mnuTJSB_Click();
    void mnuSCSB_Click();
    void mnuBZZT_Click();
    void mnuGYRJ_Click();
    void mnuUpdate_Click();
    void popRestore_Click();
    void popEXit_Click();
    void ExitApplication();
    // From a second start: bring the window back to the front.
    void restoreAndRaise();

    void ArrangeControls(bool splitterMoved);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void InitMainWindow();
    void buildMenus();
    void buildToolbar();
    void applyLayout();
    void onSplitterDragged(int yTwips);
    void showServiceState(bool running);
    void onTrayActivated(int reason);
    void onToolbarClick(int index);

    EngineClient &m_engine;
    MainLayout m_layout;
    QWidget *m_client = nullptr;
    QPlainTextEdit *m_text1 = nullptr;
    SplitterBar *m_picture2 = nullptr;
    QTreeView *m_listView1 = nullptr;
    QStatusBar *m_staBar = nullptr;
    QLabel *m_panel1 = nullptr;
    QLabel *m_panel2 = nullptr;
    QList<XButton *> m_toolbar;
    QPointer<FrmAbout> m_about;
    QPointer<FrmHelp> m_help;
    QPointer<FrmTest> m_test;
    QMenu *m_mnuGSM = nullptr;
    QMenu *m_popSys = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    TextEditorLauncher *m_editor = nullptr;
    std::function<bool()> m_trayAvailable;
    std::unique_ptr<TextEditorLauncher> m_ownEditor;
    bool m_trayHidden = false;
    bool m_exiting = false;
};
