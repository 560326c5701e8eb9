#include "common/contact.h"
#include "common/sysinfotool.h"
#include "widgets/frmabout.h"
#include "widgets/linklabel.h"
#include "widgets/olecolor.h"

#include "widgetssystemdir.h"

#include <version.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace {

const QString Machine = QStringLiteral("HKEY_LOCAL_MACHINE\\");

void sendMouse(QWidget *w, QEvent::Type type, Qt::MouseButton button = Qt::NoButton)
{
    const QPointF at(3, 3);
    const Qt::MouseButtons held =
            type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::MouseButtons();
    QMouseEvent event(type, at, w->mapToGlobal(at), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

// What the window asked of the desktop, instead of doing it.
struct Desktop
{
    QStringList messages;
    QStringList started;
    QList<QUrl> opened;
    bool startSucceeds = true;

    void attach(FrmAbout *about)
    {
        about->setMessageBox([this](QWidget *, const QString &title, const QString &text) {
            messages << title + '|' + text;
        });
        about->setProgramStarter([this](const QString &program) {
            started << program;
            return startSucceeds;
        });
        about->setUrlOpener([this](const QUrl &url) {
            opened << url;
            return true;
        });
    }
};

} // namespace

class TestFrmAbout : public QObject
{
    Q_OBJECT

private slots:
    void versionText_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("patch");
        QTest::addColumn<QString>("text");
        QTest::newRow("1.5.0") << 1 << 5 << 0 << QStringLiteral("版本： Ver 1.5.0");
        QTest::newRow("no padding") << 10 << 0 << 12 << QStringLiteral("版本： Ver 10.0.12");
    }

    void versionText()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, patch);
        QFETCH(QString, text);
        QCOMPARE(FrmAbout::versionText(major, minor, patch), text);
    }

    void load()
    {
        WidgetsSystemDir system;
        QWidget main;
        main.resize(800, 600);
        FrmAbout about(&main);
        about.setAttribute(Qt::WA_DeleteOnClose, false);

        // The product title, also where the program names no display name of its own.
        QCOMPARE(about.windowTitle(), QString::fromUtf8(Contact::ProductTitle));
        QCOMPARE(about.findChild<QLabel *>("lblTitle")->text(),
                 QString::fromUtf8(Contact::ProductTitle));
        QCOMPARE(about.findChild<QLabel *>("lblVersion")->text(),
                 FrmAbout::versionText(VELMORA_VERSION_MAJOR, VELMORA_VERSION_MINOR,
                                       VELMORA_VERSION_PATCH));
        QCOMPARE(about.findChild<QLabel *>("lblDescription")->text(),
                 QStringLiteral("软件主要实现功能："));
        QVERIFY(about.findChild<QLabel *>("lbl001")->text().startsWith(
                QStringLiteral("    以数据库为短信收发接口，兼容各类平台")));
        QCOMPARE(about.findChild<QPushButton *>("cmdOK")->text(), QStringLiteral("确定"));
        QVERIFY(about.findChild<QPushButton *>("cmdOK")->isDefault());
        QCOMPARE(about.findChild<QPushButton *>("cmdSysInfo")->text(),
                 QStringLiteral("系统信息(&S)..."));
        auto *mail = about.findChild<LinkLabel *>("lblmail");
        QVERIFY(mail->text().startsWith("E-mail:"));
        QCOMPARE(mail->toolTip(), QStringLiteral("点击给我写信"));
        QVERIFY(about.findChild<LinkLabel *>("lblQQ")->text().startsWith("OICQ:"));
        QVERIFY(!about.findChild<QLabel *>("picIcon")->pixmap().isNull());

        // A quarter of the main window's width, a sixth of its height.
        QCOMPARE(about.pos(), QPoint(200, 100));
        QVERIFY(!about.isModal());
    }

    void startSysInfo_data()
    {
        QTest::addColumn<QString>("tool"); // null: not recorded
        QTest::addColumn<bool>("folderRecorded");
        QTest::addColumn<bool>("exePresent");
        QTest::addColumn<bool>("startSucceeds");
        QTest::addColumn<QString>("started"); // "@" stands for the system folder
        QTest::addColumn<bool>("message");

        QTest::newRow("tool recorded: started without looking for the file")
                << "/nowhere/sysinfo" << false << false << true << "/nowhere/sysinfo" << false;
        QTest::newRow("only the folder, no MSINFO32.EXE")
                << QString() << true << false << true << QString() << true;
        QTest::newRow("only the folder, MSINFO32.EXE there")
                << QString() << true << true << true << "@/MSINFO32.EXE" << false;
        QTest::newRow("nothing recorded")
                << QString() << false << false << true << QString() << true;
        QTest::newRow("tool will not start")
                << "/nowhere/sysinfo" << false << false << false << "/nowhere/sysinfo" << true;
    }

    void startSysInfo()
    {
        QFETCH(QString, tool);
        QFETCH(bool, folderRecorded);
        QFETCH(bool, exePresent);
        QFETCH(bool, startSucceeds);
        QFETCH(QString, started);
        QFETCH(bool, message);

        WidgetsSystemDir system;
        const RegistryFile registry = system.registry();
        if (!tool.isNull())
            QVERIFY(registry.setValue(Machine + SysInfoTool::ToolKey, "PATH", tool));
        if (folderRecorded)
            QVERIFY(registry.setValue(Machine + SysInfoTool::LocationKey, "MSINFO", system.path()));
        if (exePresent) {
            QFile exe(system.path() + "/MSINFO32.EXE");
            QVERIFY(exe.open(QIODevice::WriteOnly));
        }
        started.replace('@', system.path());

        QPointer<FrmAbout> about = new FrmAbout;
        Desktop desktop;
        desktop.startSucceeds = startSucceeds;
        desktop.attach(about);
        about->show();
        about->findChild<QPushButton *>("cmdSysInfo")->click();

        QCOMPARE(desktop.started, started.isNull() ? QStringList() : QStringList{started});
        QCOMPARE(desktop.messages,
                 message ? QStringList{QString::fromUtf8(Contact::ProductTitle)
                                       + "|此时系统信息不可用"}
                         : QStringList());
        // The window stays open either way.
        QVERIFY(about && about->isVisible());
        delete about;
    }

    void links()
    {
        WidgetsSystemDir system;
        FrmAbout about;
        about.setAttribute(Qt::WA_DeleteOnClose, false);
        Desktop desktop;
        desktop.attach(&about);
        about.show();
        for (const char *name : {"lblmail", "lblQQ"}) {
            auto *label = about.findChild<LinkLabel *>(name);
            sendMouse(label, QEvent::MouseButtonPress, Qt::LeftButton);
            sendMouse(label, QEvent::MouseButtonRelease, Qt::LeftButton);
        }
        QCOMPARE(desktop.opened,
                 (QList<QUrl>{QUrl("mailto:support@velmora.example"),
                              QUrl("https://velmora.example/contact")}));
        QVERIFY(desktop.messages.isEmpty());
    }

    void linkColours()
    {
        WidgetsSystemDir system;
        FrmAbout about;
        about.setAttribute(Qt::WA_DeleteOnClose, false);
        Desktop desktop;
        desktop.attach(&about);
        about.show();
        auto *label = about.findChild<LinkLabel *>("lblmail");
        const quint32 face = OleColor::system(15), text = OleColor::system(18);
        const quint32 red = OleColor::rgb(255, 0, 0);
        auto look = [label] {
            return QVariantList{label->hasBorder(), label->backColor(), label->foreColor()};
        };

        QCOMPARE(look(), (QVariantList{false, face, text}));
        sendMouse(label, QEvent::MouseMove);
        QCOMPARE(look(), (QVariantList{false, face, red}));
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::red));
        // Leaving changes nothing: it stays red until a press and release on it.
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(label, &leave);
        QCOMPARE(look(), (QVariantList{false, face, red}));

        sendMouse(label, QEvent::MouseButtonPress, Qt::LeftButton);
        QCOMPARE(look(), (QVariantList{true, OleColor::rgb(255, 255, 192), red}));
        QCOMPARE(label->palette().color(QPalette::Window), QColor(255, 255, 192));
        QCOMPARE(label->frameShape(), QFrame::Box);

        sendMouse(label, QEvent::MouseButtonRelease, Qt::LeftButton);
        QCOMPARE(look(), (QVariantList{false, face, text}));
        QCOMPARE(label->palette().color(QPalette::Window),
                 about.palette().color(QPalette::Active, QPalette::Button));
        QCOMPARE(label->frameShape(), QFrame::NoFrame);
    }

    void closing_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("OK button") << 0;
        QTest::newRow("Enter") << 1;
        QTest::newRow("Esc") << 2;
    }

    void closing()
    {
        QFETCH(int, how);
        WidgetsSystemDir system;
        QPointer<FrmAbout> about = new FrmAbout;
        about->show();
        QVERIFY(QTest::qWaitForWindowExposed(about));
        if (how == 0)
            about->findChild<QPushButton *>("cmdOK")->click();
        else
            QTest::keyClick(about, how == 1 ? Qt::Key_Return : Qt::Key_Escape);
        QTRY_VERIFY(about.isNull());
    }

    void skin()
    {
        WidgetsSystemDir system;
        {
            // Not registered: the window keeps the desktop's look and works.
            FrmAbout about;
            about.setAttribute(Qt::WA_DeleteOnClose, false);
            QCOMPARE(about.findChild<QObject *>("WinXPAbout"), nullptr);
        }
        QVERIFY(system.registerComponent("WinXPC_Engine.WindowsXPC", "/nowhere/libskin.so"));
        {
            FrmAbout about;
            about.setAttribute(Qt::WA_DeleteOnClose, false);
            QCOMPARE(about.findChild<QObject *>("WinXPAbout"), nullptr);
        }
        QVERIFY(system.registerComponent("WinXPC_Engine.WindowsXPC", VELMORA_SKIN_FILE));
        FrmAbout about;
        about.setAttribute(Qt::WA_DeleteOnClose, false);
        QObject *skin = about.findChild<QObject *>("WinXPAbout");
        QVERIFY(skin);
        QCOMPARE(skin->parent(), &about);
        QCOMPARE(about.palette().color(QPalette::Window), QColor(0xF3, 0xF5, 0xF8));
        QVERIFY(about.font().families().contains("Noto Sans CJK SC"));
        // The link labels follow the skinned palette for their system colours.
        QCOMPARE(about.findChild<LinkLabel *>("lblmail")->palette().color(QPalette::Window),
                 about.palette().color(QPalette::Active, QPalette::Button));
    }
};

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
