#include "desktop/texteditor.h"
#include "gatewayparts.h"
#include "manualclock.h"
#include "recordingprompter.h"
#include "widgets/olecolor.h"
#include "widgets/xbutton.h"
#include "window/frmmain.h"
#include "window/splitterbar.h"
#include "windowengine.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

class tst_FrmMain : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    ManualClock m_clock;
    RecordingPrompter m_prompter;
    std::unique_ptr<GatewayParts> m_gw;
    std::unique_ptr<WindowEngine> m_engine;
    std::unique_ptr<FrmMain> m_window;
    bool m_trayAvailable = true;

    QAction *action(const char *name)
    {
        return m_window->findChild<QAction *>(QLatin1String(name));
    }

private Q_SLOTS:
    void init()
    {
        QFile f(m_dir.filePath(QStringLiteral("Config.ini")));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write("[SMSCom]\nPort=1,2,3\nRate=9600,9600,9600\n");
        f.close();
        m_gw = std::make_unique<GatewayParts>(m_dir.path(), m_clock, m_prompter);
        m_engine = std::make_unique<WindowEngine>(*m_gw);
        m_window = std::make_unique<FrmMain>(m_engine->client);
        m_window->setTrayAvailability([this] { return m_trayAvailable; });
        m_window->Form_Load();
        QVERIFY(m_engine->settle());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanup()
    {
        m_trayAvailable = true;
        m_window.reset();
        m_engine.reset();
        m_gw.reset();
    }

    void startsStoppedWithEveryControl()
    {
        QCOMPARE(m_window->windowTitle(), Gateway::title());
        QCOMPARE(m_window->text1()->toPlainText(),
                 QStringLiteral("03-15 14:07:09 > 应用程序开始……"));
        QCOMPARE(m_window->listView1()->model()->rowCount(), 3);
        QCOMPARE(m_window->findChild<QLabel *>(QStringLiteral("StaBarPanel2"))->text(),
                 QStringLiteral("内存剩余短信:0"));
        QStringList captions;
        for (int i = 1; i <= 5; ++i)
            captions << m_window->toolbarButton(i)->caption();
        QCOMPARE(captions, (QStringList{"启动", "停止", "设备", "测试", "系统配置"}));
        QVERIFY(m_window->toolbarButton(1)->isEnabled());
        QStringList menus;
        for (QAction *a : m_window->menuBar()->actions())
            menus << a->text();
        QCOMPARE(menus, (QStringList{"文件(&F)", "工具(&T)", "设备(&G)", "帮助(&H)"}));
        for (const char *name :
             {"mnuXTPZ", "mnuQDFW", "mnuGXFW", "mnuTCXT", "mnuCSDX", "mnuSearch", "mnuTJSB",
              "mnuSCSB", "mnuBZZT", "mnuGYRJ", "mnuUpdate", "popRestore", "popEXit"})
            QVERIFY2(action(name), name);
        QCOMPARE(action("mnuBZZT")->text(), QStringLiteral("帮组主题"));
        QCOMPARE(m_window->listView1()->model()->headerData(2, Qt::Horizontal).toString(),
                 QStringLiteral("设备型号"));
        QCOMPARE(m_window->listView1()->columnWidth(5), 3800 / 15);
    }

    void closeHidesAndRestoreShows()
    {
        m_window->close();
        QVERIFY(!m_window->isVisible());
        QVERIFY(m_window->TrayHidden());
        QVERIFY(!m_gw->ServiceRunning());
        m_window->popRestore_Click();
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->TrayHidden());
    }

    void withoutATrayCloseMinimisesAndTheIconWaits()
    {
        m_trayAvailable = false;
        m_window->AddTrayIcon();
        QVERIFY(m_window->trayIcon());
        m_window->close();
        QVERIFY(m_window->isVisible() && m_window->isMinimized());
        QVERIFY(!m_window->TrayHidden());
        // A tray that appears later takes the icon, and a close hides into it again.
        m_trayAvailable = true;
        m_window->showMaximized();
        m_window->close();
        QVERIFY(!m_window->isVisible());
        m_window->popRestore_Click();
        QVERIFY(m_window->isVisible());
        QCOMPARE(m_window->windowState(), Qt::WindowNoState);
    }

    void logFollowsTheEngineWhileHidden()
    {
        m_window->close();
        m_gw->WriteLog(QStringLiteral("x\r\ny"));
        QVERIFY(m_engine->settle());
        QCOMPARE(m_window->text1()->toPlainText(),
                 QStringLiteral("03-15 14:07:09 > 应用程序开始……\n03-15 14:07:09 > x\ny"));
        QVERIFY(QApplication::focusWidget() != m_window->text1() || m_window->isVisible());
    }

    void deviceCommandsAreRefusedWhileRunning()
    {
        m_gw->setServiceRunning(true);
        QVERIFY(m_engine->settle());
        QVERIFY(!m_window->toolbarButton(1)->isEnabled());
        QCOMPARE(m_window->toolbarButton(1)->backColor(), OleColor::rgb(192, 255, 255));
        action("mnuSearch")->trigger();
        action("mnuTJSB")->trigger();
        m_window->listView1()->setCurrentIndex(m_window->listView1()->model()->index(0, 0));
        action("mnuSCSB")->trigger();
        QVERIFY(m_engine->settle());
        QCOMPARE(m_gw->log().text().count(QStringLiteral("请先停止服务！")), 3);
        QCOMPARE(m_gw->devices().rowCount(), 3);
        QVERIFY(action("mnuQDFW")->isEnabled());
        m_gw->setServiceRunning(false);
        QVERIFY(m_engine->settle());
        QVERIFY(m_window->toolbarButton(1)->isEnabled());
        QCOMPARE(m_window->toolbarButton(1)->backColor(), OleColor::rgb(219, 216, 209));
    }

    void deleteTakesTheSelectedRow()
    {
        m_window->listView1()->setCurrentIndex(m_window->listView1()->model()->index(1, 0));
        action("mnuSCSB")->trigger();
        QVERIFY(m_engine->settle());
        QCOMPARE(m_gw->devices().rowCount(), 2);
        QCOMPARE(m_gw->devices().row(1).portText, QStringLiteral("Com3"));
        QCOMPARE(m_window->listView1()->model()->index(1, 0).data().toString(),
                 QStringLiteral("Com3"));
        m_window->listView1()->clearSelection();
        action("mnuSCSB")->trigger();
        QVERIFY(m_engine->settle());
        QVERIFY(m_gw->log().text().endsWith(QStringLiteral("请选择一个设备")));
    }

    void configurationOpensInAnEditorWithoutWaiting()
    {
        QStringList started;
        TextEditorLauncher editor([&](const QString &program, const QStringList &args) {
            started = QStringList{program} + args;
            return true;
        });
        m_window->setEditorLauncher(&editor);
        qputenv("VISUAL", "sh");
        action("mnuXTPZ")->trigger();
        QCOMPARE(started, (QStringList{"sh", m_gw->configPath()}));
        m_gw->setServiceRunning(true);
        started.clear();
        Q_EMIT m_window->toolbarButton(5)->Click();
        QCOMPARE(started.value(1), m_gw->configPath());
    }

    void splitterDragResizesBothPanes()
    {
        const int textBefore = m_window->text1()->height();
        const int listBefore = m_window->listView1()->height();
        SplitterBar *bar = m_window->picture2();
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(5, 1));
        QMouseEvent move(QEvent::MouseMove, QPointF(5, -30), bar->mapToGlobal(QPointF(5, -30)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(bar, &move);
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(5, -30));
        QVERIFY(m_window->text1()->height() < textBefore);
        QVERIFY(m_window->listView1()->height() > listBefore);
        QCOMPARE(m_window->listView1()->y(), bar->y() + 40 / 15);
    }
};

QTEST_MAIN(tst_FrmMain)
#include "tst_frmmain.moc"
