#include "frmmain.h"

#include "desktop/texteditor.h"
#include "devicelistmodel.h"
#include "download/versioncheck.h"
#include "engine/gateway.h"
#include "engineclient.h"
#include "frmadd.h"
#include "frmsearch.h"
#include "frmtest.h"
#include "frmupdate.h"
#include "icons.h"
#include "splitterbar.h"
#include "widgets/frmabout.h"
#include "widgets/frmhelp.h"
#include "widgets/olecolor.h"
#include "widgets/xbutton.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTreeView>

namespace {

int px(int twips)
{
    return qMax(0, twips / MainLayout::TwipsPerPixel);
}

int twips(int pixels)
{
    return pixels * MainLayout::TwipsPerPixel;
}

QString toDisplay(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

} // namespace

FrmMain::FrmMain(EngineClient &client, QWidget *parent)
    : QMainWindow(parent), m_engine(client),
      m_trayAvailable(&QSystemTrayIcon::isSystemTrayAvailable)
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(Gateway::title());
    setWindowIcon(Icons::application());

    m_client = new QWidget(this);
    setCentralWidget(m_client);

    m_text1 = new QPlainTextEdit(m_client);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setReadOnly(true);
    m_text1->setLineWrapMode(QPlainTextEdit::NoWrap);

    m_picture2 = new SplitterBar(m_client);
    connect(m_picture2, &SplitterBar::dragged, this, &FrmMain::onSplitterDragged);

    m_listView1 = new QTreeView(m_client);
    m_listView1->setObjectName(QStringLiteral("ListView1"));
    m_listView1->setRootIsDecorated(false);
    m_listView1->setUniformRowHeights(true);
    m_listView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listView1->header()->setStretchLastSection(false);
    m_listView1->setModel(new DeviceListModel(&m_engine.devices(), m_listView1));
    m_listView1->viewport()->installEventFilter(this);

    m_staBar = new QStatusBar(m_client);
    m_staBar->setObjectName(QStringLiteral("StaBar"));
    m_staBar->setSizeGripEnabled(false);
    m_panel1 = new QLabel(m_staBar);
    m_panel2 = new QLabel(m_staBar);
    m_panel2->setObjectName(QStringLiteral("StaBarPanel2"));
    m_staBar->addWidget(m_panel1, 1);
    m_staBar->addPermanentWidget(m_panel2);

    buildToolbar();
    buildMenus();
    m_client->installEventFilter(this);

    connect(&m_engine, &EngineClient::logReset, this,
            [this](const QString &text) { m_text1->setPlainText(toDisplay(text)); });
    connect(&m_engine, &EngineClient::logAppended, this, [this](const QString &piece) {
        // The view follows the newest line without taking the focus from anything.
        QTextCursor end(m_text1->document());
        end.movePosition(QTextCursor::End);
        end.insertText(toDisplay(piece));
        m_text1->moveCursor(QTextCursor::End);
        m_text1->verticalScrollBar()->setValue(m_text1->verticalScrollBar()->maximum());
    });
    connect(&m_engine, &EngineClient::statusPanelChanged, m_panel2, &QLabel::setText);
    connect(&m_engine, &EngineClient::serviceRunningChanged, this, &FrmMain::showServiceState);
}

FrmMain::~FrmMain() = default;

void FrmMain::setEditorLauncher(TextEditorLauncher *launcher)
{
    m_editor = launcher;
}

void FrmMain::setTrayAvailability(std::function<bool()> available)
{
    m_trayAvailable = std::move(available);
}

void FrmMain::setPortLister(std::function<QString()> lister)
{
    m_engine.setPortLister(std::move(lister));
}

XButton *FrmMain::toolbarButton(int index) const
{
    return (index >= 1 && index <= m_toolbar.size()) ? m_toolbar.at(index - 1) : nullptr;
}

void FrmMain::buildToolbar()
{
    static const char *const captions[] = {"启动", "停止", "设备", "测试", "系统配置"};
    for (int i = 1; i <= 5; ++i) {
        XButton *button = XButton::toolbarButton(QString::fromUtf8(captions[i - 1]),
                                                 Icons::toolbar(i), m_client);
        button->setObjectName(QStringLiteral("XButton1_%1").arg(i));
        connect(button, &XButton::Click, this, [this, i] { onToolbarClick(i); });
        m_toolbar << button;
    }
    showServiceState(false);
}

void FrmMain::onToolbarClick(int index)
{
    switch (index) {
    case 1:
        mnuQDFW_Click();
        break;
    case 2:
        mnuGXFW_Click();
        break;
    case 3:
        m_mnuGSM->popup(QCursor::pos());
        break;
    case 4:
        mnuCSDX_Click();
        break;
    case 5:
        mnuXTPZ_Click();
        break;
    }
}

void FrmMain::buildMenus()
{
    auto item = [this](QMenu *menu, const char *name, const char *caption, auto handler) {
        QAction *action = menu->addAction(QString::fromUtf8(caption));
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QMenu *file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    file->setObjectName(QStringLiteral("mnuFile"));
    item(file, "mnuXTPZ", "系统配置", &FrmMain::mnuXTPZ_Click);
    file->addSeparator();
    item(file, "mnuQDFW", "启动服务", &FrmMain::mnuQDFW_Click);
    item(file, "mnuGXFW", "停止服务", &FrmMain::mnuGXFW_Click);
    file->addSeparator();
    item(file, "mnuTCXT", "退出系统", &FrmMain::mnuTCXT_Click);

    QMenu *tool = menuBar()->addMenu(QStringLiteral("工具(&T)"));
    tool->setObjectName(QStringLiteral("mnuTool"));
    item(tool, "mnuCSDX", "测试短信", &FrmMain::mnuCSDX_Click);

    m_mnuGSM = menuBar()->addMenu(QStringLiteral("设备(&G)"));
    m_mnuGSM->setObjectName(QStringLiteral("mnuGSM"));
    item(m_mnuGSM, "mnuSearch", "自动搜索", &FrmMain::mnuSearch_Click);
    m_mnuGSM->addSeparator();
    item(m_mnuGSM, "mnuTJSB", "添加设备", &FrmMain::mnuTJSB_Click);
    item(m_mnuGSM, "mnuSCSB", "删除设备", &FrmMain::mnuSCSB_Click);

    QMenu *help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    item(help, "mnuBZZT", "帮组主题", &FrmMain::mnuBZZT_Click);
    help->addSeparator();
    item(help, "mnuGYRJ", "关于软件", &FrmMain::mnuGYRJ_Click);
    help->addSeparator();
    item(help, "mnuUpdate", "检查升级", &FrmMain::mnuUpdate_Click);

    m_popSys = new QMenu(QStringLiteral("PopSys"), this);
    m_popSys->setObjectName(QStringLiteral("PopSys"));
    item(m_popSys, "popRestore", "恢复", &FrmMain::popRestore_Click);
    m_popSys->addSeparator();
    item(m_popSys, "popEXit", "退出", &FrmMain::popEXit_Click);
}

void FrmMain::Form_Load()
{
    InitMainWindow();
    m_engine.formLoad();
}

void FrmMain::InitMainWindow()
{
    resize(px(10140), px(6915));
    m_layout.listView1.top = 4120;
    m_layout.listView1.height = 1650;
    for (int c = 0; c < DeviceTable::ColumnCount; ++c)
        m_listView1->setColumnWidth(c, px(DeviceTable::widthTwips(c)));
    // The highest port name, beside its icon, must show whole in the font the desktop gives.
    const QStyle *style = m_listView1->style();
    const int portWidth = m_listView1->fontMetrics().horizontalAdvance(QStringLiteral("Com128"))
            + style->pixelMetric(QStyle::PM_SmallIconSize, nullptr, m_listView1)
            + 4 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_listView1) + 2);
    m_listView1->setColumnWidth(DeviceTable::ColPort,
                                qMax(m_listView1->columnWidth(DeviceTable::ColPort), portWidth));
    ArrangeControls(false);
}

void FrmMain::ArrangeControls(bool splitterMoved)
{
    m_layout.clientWidth = twips(m_client->width());
    m_layout.clientHeight = twips(m_client->height());
    m_layout.statusBarHeight = twips(m_staBar->sizeHint().height());
    m_layout.arrange(splitterMoved);
    applyLayout();
}

void FrmMain::applyLayout()
{
    const auto place = [](QWidget *w, const TwipsRect &r) {
        w->setGeometry(px(r.left), px(r.top), px(r.width), px(r.height));
    };
    place(m_text1, m_layout.text1);
    m_picture2->setGeometry(0, px(m_layout.picture2.top), px(m_layout.picture2.width),
                            qMax(2, px(m_layout.listView1.top - m_layout.picture2.top)));
    place(m_listView1, m_layout.listView1);
    m_staBar->setGeometry(0, m_client->height() - m_staBar->sizeHint().height(), m_client->width(),
                          m_staBar->sizeHint().height());
    int x = 2;
    const int bandHeight = px(MainLayout::ToolbarBand);
    for (XButton *button : m_toolbar) {
        const int width = button->sizeHint().width();
        button->setGeometry(x, 1, width, bandHeight - 2);
        x += width + 2;
    }
}

void FrmMain::onSplitterDragged(int yTwips)
{
    m_layout.dragSplitter(yTwips);
    applyLayout();
}

void FrmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
}

bool FrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_client && event->type() == QEvent::Resize) {
        ArrangeControls(false);
    } else if (watched == m_listView1->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton) {
            const QModelIndex at = m_listView1->indexAt(mouse->position().toPoint());
            if (at.isValid())
                m_listView1->setCurrentIndex(at);
            m_mnuGSM->popup(mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void FrmMain::showServiceState(bool running)
{
    XButton *start = m_toolbar.value(0);
    if (!start)
        return;
    start->setBackColor(running ? OleColor::rgb(192, 255, 255) : OleColor::rgb(219, 216, 209));
    start->setEnabled(!running);
}

void FrmMain::AddTrayIcon()
{
    // Made even without a notification area: the icon appears when a tray does (a panel that
    // starts after the gateway, a tray extension switched on later).
    m_tray = new QSystemTrayIcon(windowIcon(), this);
    m_tray->setObjectName(QStringLiteral("TrayIcon"));
    m_tray->setToolTip(QStringLiteral("短信网关"));
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { onTrayActivated(reason); });
    m_tray->show();
}

void FrmMain::RemoveTrayIcon()
{
    if (m_tray)
        m_tray->hide();
}

void FrmMain::onTrayActivated(int reason)
{
    if (!m_trayHidden)
        return;
    if (reason == QSystemTrayIcon::DoubleClick)
        popRestore_Click();
    else if (reason == QSystemTrayIcon::Context)
        m_popSys->popup(QCursor::pos());
}

void FrmMain::closeEvent(QCloseEvent *event)
{
    if (m_exiting) {
        event->accept();
        return;
    }
    event->ignore();
    // Hidden with no icon to bring it back, the window would be lost to the operator.
    if (!m_trayAvailable()) {
        showMinimized();
        return;
    }
    hide();
    m_trayHidden = true;
}

void FrmMain::popRestore_Click()
{
    m_trayHidden = false;
    setWindowState(Qt::WindowNoState);
    show();
}

void FrmMain::restoreAndRaise()
{
    popRestore_Click();
    raise();
    activateWindow();
}

void FrmMain::popEXit_Click()
{
    ExitApplication();
}

void FrmMain::mnuTCXT_Click()
{
    ExitApplication();
}

void FrmMain::ExitApplication()
{
    RemoveTrayIcon();
    m_exiting = true;
    // The program ends once the stop has left every in-flight row as it should be.
    m_engine.stopServiceThen([] { QCoreApplication::exit(0); });
}

void FrmMain::mnuXTPZ_Click()
{
    if (!m_editor) {
        m_ownEditor = std::make_unique<TextEditorLauncher>();
        m_editor = m_ownEditor.get();
    }
    if (!m_editor->open(m_engine.configPath()))
        m_engine.WriteLog(QStringLiteral("未找到图形界面的文本编辑器，请手工编辑")
                          + m_engine.configPath());
}

void FrmMain::mnuQDFW_Click()
{
    m_engine.startService();
}

void FrmMain::mnuGXFW_Click()
{
    m_engine.stopService();
}

void FrmMain::mnuSCSB_Click()
{
    const QModelIndex current = m_listView1->currentIndex();
    const bool selected = current.isValid()
            && m_listView1->selectionModel()->isRowSelected(current.row(), current.parent());
    m_engine.deleteDevice(selected ? current.row() : -1);
}

void FrmMain::mnuCSDX_Click()
{
    // A closed composer is gone with what was typed into it: the next one opens afresh.
    if (!m_test) {
        m_test = new FrmTest(m_engine, this);
        m_test->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_test->show();
    m_test->raise();
    m_test->activateWindow();
}

void FrmMain::mnuSearch_Click()
{
    m_engine.whenDevicesEditable(this, [this] {
        FrmSearch window(m_engine, this);
        window.exec();
    });
}

void FrmMain::mnuTJSB_Click()
{
    m_engine.whenDevicesEditable(this, [this] {
        FrmAdd window(m_engine, this);
        window.exec();
    });
}

void FrmMain::mnuBZZT_Click()
{
    if (!m_help)
        m_help = new FrmHelp(this);
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void FrmMain::mnuGYRJ_Click()
{
    if (!m_about)
        m_about = new FrmAbout(this);
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void FrmMain::mnuUpdate_Click()
{
    VersionCheck(m_engine, FrmUpdate::opener(m_engine, this)).run();
}
