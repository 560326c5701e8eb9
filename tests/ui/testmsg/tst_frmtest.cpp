#include "gatewayharness.h"
#include "testdatabase.h"
#include "window/frmtest.h"
#include "windowengine.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

// The composer window against the gateway's own connection to a real SQLite database.
class tst_FrmTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void countsFollowTheBoxes()
    {
        GatewayHarness harness(QString{});
        WindowEngine engine(*harness);
        FrmTest window(engine.client);
        QCOMPARE(window.windowTitle(), QStringLiteral("短信测试"));
        QCOMPARE(window.text2()->text(), QStringLiteral("号码列表(1)"));
        QCOMPARE(window.label2()->text(), QStringLiteral("短信内容(字数:4)"));
        window.text1()->setPlainText(QStringLiteral("1\n2\n"));
        QCOMPARE(window.text2()->text(), QStringLiteral("号码列表(3)"));
        window.text1()->clear();
        QCOMPARE(window.text2()->text(), QStringLiteral("号码列表(0)"));
        window.text3()->setPlainText(QStringLiteral("  你好 world  "));
        QCOMPARE(window.label2()->text(), QStringLiteral("短信内容(字数:8)"));
    }

    void sendInsertsPendingRowsWithBlanksKept()
    {
        TestDatabase db(QStringLiteral("sqlite"));
        QString error;
        QVERIFY2(db.create(QStringLiteral("frmtest"), &error), qPrintable(error));
        GatewayHarness harness(db.connectionString());
        QVERIFY(harness.gw->flow().OpenConnection(db.connectionString()));
        WindowEngine engine(*harness);
        FrmTest window(engine.client);
        window.text1()->setPlainText(QStringLiteral("13800138000\n\n 13900139000 \nx"));
        window.text3()->setPlainText(QStringLiteral(" it's 测试 "));
        window.command2()->click();
        QVERIFY(engine.settle());
        QCOMPARE(window.progressBar1()->value(), 100);
        QCOMPARE(harness.prompter.messages, QStringList{"发送完毕！"});
        QCOMPARE(db.rows(QStringLiteral(
                         "select CellNumber, SMSContent, Status from SMS order by SysNo")),
                 (QStringList{"13800138000|it's 测试|0", " 13900139000 |it's 测试|0",
                              "x|it's 测试|0"}));
    }
};

QTEST_MAIN(tst_FrmTest)
#include "tst_frmtest.moc"
