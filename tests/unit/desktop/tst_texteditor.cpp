#include "desktop/texteditor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The editor is chosen from $VISUAL first; terminal editors are passed over because the gateway
// has no terminal to give them.
class tst_TextEditor : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_bin;

    void makeProgram(const QString &name)
    {
        QFile f(m_bin.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write("#!/bin/sh\nexit 0\n");
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

private Q_SLOTS:
    void initTestCase()
    {
        makeProgram(QStringLiteral("mousepad"));
        makeProgram(QStringLiteral("myeditor"));
        makeProgram(QStringLiteral("vim"));
        qputenv("PATH", m_bin.path().toLocal8Bit());
        qputenv("XDG_DATA_DIRS", m_bin.path().toLocal8Bit());
        qputenv("XDG_DATA_HOME", m_bin.path().toLocal8Bit());
    }

    void choice_data()
    {
        QTest::addColumn<QString>("visual");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("graphical VISUAL")
                << "myeditor --new-window"
                << QStringList{"myeditor", "--new-window", "/x/config.ini"};
        QTest::newRow("terminal VISUAL falls back")
                << "vim" << QStringList{"mousepad", "/x/config.ini"};
        QTest::newRow("missing VISUAL program falls back")
                << "nosuchedit" << QStringList{"mousepad", "/x/config.ini"};
        QTest::newRow("no VISUAL") << "" << QStringList{"mousepad", "/x/config.ini"};
    }
    void choice()
    {
        QFETCH(QString, visual);
        QFETCH(QStringList, expected);
        qputenv("VISUAL", visual.toLocal8Bit());
        QStringList started;
        TextEditorLauncher launcher([&](const QString &program, const QStringList &args) {
            started = QStringList{program} + args;
            return true;
        });
        QVERIFY(launcher.open(QStringLiteral("/x/config.ini")));
        QCOMPARE(started, expected);
    }

    void noEditorAtAll()
    {
        qputenv("VISUAL", "");
        qputenv("PATH", "/nonexistent");
        bool called = false;
        TextEditorLauncher launcher([&](const QString &, const QStringList &) {
            called = true;
            return true;
        });
        QVERIFY(!launcher.open(QStringLiteral("/x/config.ini")));
        QVERIFY(!called);
    }
};

QTEST_GUILESS_MAIN(tst_TextEditor)
#include "tst_texteditor.moc"
