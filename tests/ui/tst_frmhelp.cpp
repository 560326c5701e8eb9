#include "widgets/frmhelp.h"

#include "widgetssystemdir.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace {

struct HelpView
{
    explicit HelpView(FrmHelp *w) : window(w) { }
    QPushButton *button(const char *name) const { return window->findChild<QPushButton *>(name); }
    // page shown, CmdNext shown, CmdBack shown
    QVariantList state() const
    {
        return {window->page(0)->isVisible()           ? 0
                        : window->page(1)->isVisible() ? 1
                                                       : -1,
                button("CmdNext")->isVisible(), button("CmdBack")->isVisible()};
    }
    FrmHelp *window;
};

const QVariantList FirstPage{0, true, false};
const QVariantList SecondPage{1, false, true};

} // namespace

class TestFrmHelp : public QObject
{
    Q_OBJECT

private slots:
    void opening()
    {
        WidgetsSystemDir system;
        FrmHelp help;
        help.setAttribute(Qt::WA_DeleteOnClose, false);
        help.show();
        const HelpView view(&help);
        QCOMPARE(help.windowTitle(), QStringLiteral("系统提示"));
        QCOMPARE(view.state(), FirstPage);
        QCOMPARE(view.button("CmdNext")->text(), QStringLiteral("下一页(&N)"));
        QCOMPARE(view.button("CmdBack")->text(), QStringLiteral("上一页(&B)"));
        QCOMPARE(view.button("CmdClose")->text(), QStringLiteral("关闭(&C)"));
        QVERIFY(view.button("CmdClose")->isVisible());
        QVERIFY(!help.isModal());
    }

    void pageButtons()
    {
        WidgetsSystemDir system;
        FrmHelp help;
        help.setAttribute(Qt::WA_DeleteOnClose, false);
        help.show();
        const HelpView view(&help);
        view.button("CmdNext")->click();
        QCOMPARE(view.state(), SecondPage);
        QCOMPARE(help.currentPage(), 1);
        view.button("CmdBack")->click();
        QCOMPARE(view.state(), FirstPage);
        QCOMPARE(help.currentPage(), 0);
    }

    void mnemonicsActOnlyOnTheVisibleButton()
    {
        WidgetsSystemDir system;
        FrmHelp help;
        help.setAttribute(Qt::WA_DeleteOnClose, false);
        help.show();
        help.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&help));
        const HelpView view(&help);
        // A mnemonic clicks its button after a short animation; give a wrong one time to act.
        const auto press = [&help](Qt::Key key) {
            QTest::keyClick(&help, key, Qt::AltModifier);
            QTest::qWait(250);
        };
        press(Qt::Key_B);
        QCOMPARE(view.state(), FirstPage);
        press(Qt::Key_N);
        QTRY_COMPARE(view.state(), SecondPage);
        press(Qt::Key_N);
        QCOMPARE(view.state(), SecondPage);
        press(Qt::Key_B);
        QTRY_COMPARE(view.state(), FirstPage);
    }

    void closingDiscardsTheWindow()
    {
        WidgetsSystemDir system;
        QPointer<FrmHelp> help = new FrmHelp;
        help->show();
        HelpView(help).button("CmdNext")->click();
        HelpView(help).button("CmdClose")->click();
        QTRY_VERIFY(help.isNull());

        // The next opening starts again on the first page.
        help = new FrmHelp;
        help->show();
        QCOMPARE(HelpView(help).state(), FirstPage);
        delete help;
    }

    void pageTexts()
    {
        const QStringList first = FrmHelp::pageText(0).split('\n');
        QCOMPARE(first.size(), 7);
        QCOMPARE(first[0], QString());
        QVERIFY(first[1].startsWith("  "));
        QVERIFY(first[1].contains(" Ver "));
        QCOMPARE(first[2], QStringLiteral("\t For win98/me/2000/xp/2003"));
        QCOMPARE(first[3], QStringLiteral("\t ") + QString(49, '='));
        QCOMPARE(first[5], QString());
        QVERIFY(first[6].startsWith(QStringLiteral("系统介绍:")));

        const QStringList second = FrmHelp::pageText(1).split('\n');
        QCOMPARE(second.size(), 10);
        QCOMPARE(second.mid(0, 7),
                 (QStringList{"  ", "   软件特点:", "1>.自动搜索短信猫设备，支持断线重连.",
                              "2>.支持主流数据库：Oracle、Sql Server、MySql.",
                              "3>.支持各类标准短信猫及猫池，收发稳定、效率高.",
                              "4>.支持超长短信发送，支持接收短信自动转发.",
                              "5>.数据库接口表:SMS(发送队列表)、SMSRec(接收表)."}));
        QCOMPARE(second[7], QString(52, ' ') + "https://velmora.example");
        QVERIFY(second[9].contains("support@velmora.example"));
    }

    void layout()
    {
        WidgetsSystemDir system;
        FrmHelp help;
        help.setAttribute(Qt::WA_DeleteOnClose, false);
        help.show();
        const HelpView view(&help);
        const QRect page = help.page(0)->geometry();
        QCOMPARE(help.page(1)->geometry(), page);
        QCOMPARE(page.topLeft(), QPoint(16, 16));
        QVERIFY(page.width() >= 305 && page.height() >= 153);
        for (int i = 0; i < 2; ++i) {
            QLabel *label = help.page(i);
            QVERIFY2(label->heightForWidth(page.width()) <= page.height(), "page text clipped");
            QCOMPARE(label->palette().color(QPalette::Window), QColor(236, 216, 164));
            QVERIFY(label->autoFillBackground());
        }
        const QRect next = view.button("CmdNext")->geometry();
        const QRect close = view.button("CmdClose")->geometry();
        QCOMPARE(view.button("CmdBack")->geometry(), next);
        QVERIFY(next.top() > page.bottom());
        QCOMPARE(close.top(), next.top());
        QVERIFY(close.left() > next.right());
        QVERIFY(help.rect().contains(close));
        QVERIFY(help.rect().contains(page));
    }

    void skin()
    {
        WidgetsSystemDir system;
        QVERIFY(system.registerComponent("WinXPC_Engine.WindowsXPC", VELMORA_SKIN_FILE));
        FrmHelp help;
        help.setAttribute(Qt::WA_DeleteOnClose, false);
        QObject *skin = help.findChild<QObject *>("WindowsXPC1");
        QVERIFY(skin);
        QCOMPARE(skin->parent(), &help);
        QCOMPARE(help.palette().color(QPalette::Window), QColor(0xF3, 0xF5, 0xF8));
        // Pages keep their own colour under the skin.
        QCOMPARE(help.page(0)->palette().color(QPalette::Window), QColor(236, 216, 164));
    }
};

QTEST_MAIN(TestFrmHelp)
#include "tst_frmhelp.moc"
