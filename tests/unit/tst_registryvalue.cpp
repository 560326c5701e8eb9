#include "common/registryvalue.h"
#include "common/sysinfotool.h"

#include "common/registryfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString Machine = QStringLiteral("HKEY_LOCAL_MACHINE\\");
const QString ToolKey = Machine + SysInfoTool::ToolKey;
const QString LocationKey = Machine + SysInfoTool::LocationKey;
} // namespace

class TestRegistryValue : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    RegistryFile registry(const QString &name = QStringLiteral("registry.ini")) const
    {
        return RegistryFile(m_dir.path() + '/' + name);
    }

private slots:
    void bufferRule_data()
    {
        QTest::addColumn<QString>("data");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<QString>("text");

        const QString full(1024, 'x');
        QTest::newRow("fills the buffer exactly") << full << true << full;
        QTest::newRow("fills it with the NUL")
                << QString(1023, 'y') + QChar(0) << true << QString(1023, 'y');
        QTest::newRow("one past the buffer") << QString(1025, 'z') << false << QString();
        QTest::newRow("NUL-terminated") << QStringLiteral("abc") + QChar(0) << true << "abc";
        QTest::newRow("only the last NUL goes") << QStringLiteral("ab") + QChar(0) + QChar(0)
                                                << true << QStringLiteral("ab") + QChar(0);
        QTest::newRow("inner NUL stays") << QStringLiteral("ab") + QChar(0) + "c" << true
                                         << QStringLiteral("ab") + QChar(0) + "c";
        QTest::newRow("empty") << QString() << true << QString();
    }

    void bufferRule()
    {
        QFETCH(QString, data);
        QFETCH(bool, fits);
        QFETCH(QString, text);
        RegistryValue v;
        v.type = RegistryValue::String;
        v.data = data;
        const auto out = registryBufferText(v);
        QCOMPARE(out.has_value(), fits);
        if (fits)
            QCOMPARE(*out, text);
    }

    void fileTextTypes_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<quint32>("type");
        QTest::addColumn<qsizetype>("size");
        QTest::newRow("text counts its NUL")
                << "C:/tools" << quint32(RegistryValue::String) << qsizetype(9);
        QTest::newRow("empty text") << "" << quint32(RegistryValue::String) << qsizetype(1);
        QTest::newRow("dword") << "dword:0000002a" << quint32(RegistryValue::DWord) << qsizetype(4);
        QTest::newRow("binary") << "hex:01,02,03" << quint32(RegistryValue::Binary) << qsizetype(3);
        QTest::newRow("expandable string as raw data")
                << "hex(2):41,00,00,00" << quint32(2) << qsizetype(4);
        QTest::newRow("malformed dword is text")
                << "dword:xyz" << quint32(RegistryValue::String) << qsizetype(10);
    }

    void fileTextTypes()
    {
        QFETCH(QString, stored);
        QFETCH(quint32, type);
        QFETCH(qsizetype, size);
        const RegistryValue v = RegistryValue::fromFileText(stored);
        QCOMPARE(v.type, type);
        QCOMPARE(v.size(), size);
    }

    void getKeyValue_data()
    {
        QTest::addColumn<QString>("stored"); // null: value absent
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("keyVal");

        QTest::newRow("string") << "/usr/bin/sysinfo" << true << "/usr/bin/sysinfo";
        QTest::newRow("quoted string") << "\"/opt/info tool/run\"" << true << "/opt/info tool/run";
        QTest::newRow("empty string") << "" << true << "";
        QTest::newRow("number") << "dword:0000002a" << true << "42";
        QTest::newRow("number above 2^31") << "dword:ffffffff" << true << "4294967295";
        QTest::newRow("other type keeps the old text") << "hex:01,02" << true << "before";
        QTest::newRow("absent value") << QString() << false << "";
    }

    void getKeyValue()
    {
        QFETCH(QString, stored);
        QFETCH(bool, result);
        QFETCH(QString, keyVal);
        const RegistryFile reg = registry(QTest::currentDataTag() + QStringLiteral(".ini"));
        QVERIFY(reg.setValue(Machine + "SOFTWARE\\Velmora", "Other", "x"));
        if (!stored.isNull())
            QVERIFY(reg.setValue(Machine + "SOFTWARE\\Velmora", "Tool", stored));

        QString out = QStringLiteral("before");
        QCOMPARE(GetKeyValue(reg, RegistryValue::LocalMachine, "SOFTWARE\\Velmora", "Tool", out),
                 result);
        QCOMPARE(out, keyVal);
    }

    void getKeyValueMissingKeyOrRoot()
    {
        const RegistryFile reg = registry(QStringLiteral("roots.ini"));
        QVERIFY(reg.setValue(Machine + "SOFTWARE\\Velmora", "Tool", "t"));

        QString out = QStringLiteral("before");
        QVERIFY(!GetKeyValue(reg, RegistryValue::LocalMachine, "SOFTWARE\\Elsewhere", "Tool", out));
        QCOMPARE(out, QString());

        out = QStringLiteral("before");
        QVERIFY(!GetKeyValue(reg, RegistryValue::CurrentUser, "SOFTWARE\\Velmora", "Tool", out));
        QCOMPARE(out, QString());

        out = QStringLiteral("before");
        QVERIFY(!GetKeyValue(reg, 0x1234, "SOFTWARE\\Velmora", "Tool", out));
        QCOMPARE(out, QString());

        // Key paths and value names are matched without regard to case, as in the registry.
        QVERIFY(GetKeyValue(reg, RegistryValue::LocalMachine, "software\\VELMORA", "tool", out));
        QCOMPARE(out, QStringLiteral("t"));

        // No file at all.
        out = QStringLiteral("before");
        QVERIFY(!GetKeyValue(registry(QStringLiteral("none.ini")), RegistryValue::LocalMachine,
                             "SOFTWARE\\Velmora", "Tool", out));
        QCOMPARE(out, QString());
    }

    void locateTool_data()
    {
        QTest::addColumn<QString>("toolPath"); // null: not recorded
        QTest::addColumn<bool>("recordFolder");
        QTest::addColumn<bool>("createExe");
        QTest::addColumn<QString>("expected"); // null: none; "@folder" is the temp folder

        QTest::newRow("tool recorded, taken without checking the file")
                << "/nonexistent/sysinfo" << false << false << "/nonexistent/sysinfo";
        QTest::newRow("tool recorded wins over the folder")
                << "/nonexistent/sysinfo" << true << true << "/nonexistent/sysinfo";
        QTest::newRow("folder recorded, program present")
                << QString() << true << true << "@folder/MSINFO32.EXE";
        QTest::newRow("folder recorded, program missing")
                << QString() << true << false << QString();
        QTest::newRow("nothing recorded") << QString() << false << false << QString();
    }

    void locateTool()
    {
        QFETCH(QString, toolPath);
        QFETCH(bool, recordFolder);
        QFETCH(bool, createExe);
        QFETCH(QString, expected);

        QTemporaryDir folder;
        const RegistryFile reg(folder.path() + "/registry.ini");
        if (!toolPath.isNull())
            QVERIFY(reg.setValue(ToolKey, SysInfoTool::ToolValue, toolPath));
        if (recordFolder)
            QVERIFY(reg.setValue(LocationKey, SysInfoTool::LocationValue, folder.path()));
        if (createExe) {
            QFile exe(folder.path() + "/MSINFO32.EXE");
            QVERIFY(exe.open(QIODevice::WriteOnly));
        }
        expected.replace("@folder", folder.path());

        const auto found = SysInfoTool::locate(reg);
        QCOMPARE(found.has_value(), !expected.isNull());
        if (found)
            QCOMPARE(*found, expected);
    }

    void locateToolNeedsAFileNotAFolder()
    {
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir("MSINFO32.EXE"));
        const RegistryFile reg(folder.path() + "/registry.ini");
        QVERIFY(reg.setValue(LocationKey, SysInfoTool::LocationValue, folder.path()));
        QVERIFY(!SysInfoTool::locate(reg));
    }
};

QTEST_APPLESS_MAIN(TestRegistryValue)
#include "tst_registryvalue.moc"
