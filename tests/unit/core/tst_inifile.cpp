#include "common/inifile.h"
#include "common/textcodec.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_IniFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString write(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QStringLiteral("Config.ini"));
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(content);
        return path;
    }
    QByteArray contents(const QString &path)
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

private Q_SLOTS:
    void read_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("absent file section") << QByteArray() << "DBCon"
                                             << "ScanDT"
                                             << "dflt";
        QTest::newRow("absent key") << QByteArray("[DBCon]\nOther=1\n") << "DBCon"
                                    << "ScanDT"
                                    << "dflt";
        QTest::newRow("empty value is not the default")
                << QByteArray("[SMSCom]\nPort=\n") << "SMSCom"
                << "Port"
                << "";
        QTest::newRow("blanks trimmed") << QByteArray("[a]\nk =  1,2 \t\n") << "a"
                                        << "k"
                                        << "1,2";
        QTest::newRow("double quotes removed") << QByteArray("[a]\nk=\" x \"\n") << "a"
                                               << "k"
                                               << " x ";
        QTest::newRow("single quotes removed") << QByteArray("[a]\nk='y'\n") << "a"
                                               << "k"
                                               << "y";
        QTest::newRow("unbalanced quote kept") << QByteArray("[a]\nk=\"y\n") << "a"
                                               << "k"
                                               << "\"y";
        QTest::newRow("names without case") << QByteArray("[dbcon]\nscandt=5\n") << "DBCon"
                                            << "ScanDT"
                                            << "5";
        QTest::newRow("first section wins") << QByteArray("[a]\nk=1\n[b]\nk=2\n") << "b"
                                            << "k"
                                            << "2";
        QTest::newRow("comment is no key") << QByteArray("[a]\n;k=1\n") << "a"
                                           << "k"
                                           << "dflt";
        QTest::newRow("crlf file") << QByteArray("[a]\r\nk=v\r\n") << "a"
                                   << "k"
                                   << "v";
        QTest::newRow("value keeps equals")
                << QByteArray("[a]\nConSTR=Provider=SQLite; x=1\n") << "a"
                << "ConSTR"
                << "Provider=SQLite; x=1";
    }
    void read()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const QString path =
                file.isNull() ? m_dir.filePath(QStringLiteral("none.ini")) : write(file);
        QCOMPARE(IniFile(path).read(section, key, QStringLiteral("dflt")), expected);
    }

    void readCutsAt999()
    {
        const QString path = write("[a]\nk=" + QByteArray(1500, 'x') + "\n");
        QCOMPARE(IniFile(path).read(QStringLiteral("a"), QStringLiteral("k"), {}).size(), 999);
    }

    void writeKeepsOtherLinesAndComments()
    {
        const QString path = write("; operator notes\n[DBCon]\nScanDT=15000 ; fast\n\n"
                                   "[SMSCom]\n# ports\nPort=1,2\nRate=9600,9600\n\n[Other]\nx=1\n");
        const IniFile ini(path);
        QVERIFY(ini.write(QStringLiteral("smscom"), QStringLiteral("PORT"), QStringLiteral("12")));
        QVERIFY(ini.write(QStringLiteral("SMSCom"), QStringLiteral("RMobile"),
                          QStringLiteral("13800138000")));
        QCOMPARE(contents(path),
                 QByteArray("; operator notes\n[DBCon]\nScanDT=15000 ; fast\n\n[SMSCom]\n# ports\n"
                            "PORT=12\nRate=9600,9600\nRMobile=13800138000\n\n[Other]\nx=1\n"));
    }

    void writeCreatesFileAndSection()
    {
        const QString path = m_dir.filePath(QStringLiteral("fresh.ini"));
        const IniFile ini(path);
        QVERIFY(ini.write(QStringLiteral("SMSCom"), QStringLiteral("Port"), QString()));
        QVERIFY(ini.write(QStringLiteral("DBCon"), QStringLiteral("ScanDT"), QStringLiteral("1")));
        QCOMPARE(contents(path), QByteArray("[SMSCom]\nPort=\n[DBCon]\nScanDT=1\n"));
        QCOMPARE(ini.read(QStringLiteral("SMSCom"), QStringLiteral("Port"), QStringLiteral("1")),
                 QString());
    }

    void crlfAndGbkFilesStayAsTheyWere()
    {
        const QString comment = QStringLiteral("; 短信网关配置");
        const QByteArray gbk = encodeText(comment, TextEncoding::Gbk);
        QVERIFY(gbk != comment.toUtf8());
        const QString path = write(gbk + "\r\n[SMSCom]\r\nPort=1\r\n");
        QCOMPARE(IniFile(path).read(QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("d")),
                 QStringLiteral("d"));
        QVERIFY(IniFile(path).write(QStringLiteral("SMSCom"), QStringLiteral("Port"),
                                    QStringLiteral("3,7")));
        QCOMPARE(contents(path), gbk + "\r\n[SMSCom]\r\nPort=3,7\r\n");
    }

    void removeDropsOnlyThatLine()
    {
        const QString path = write("[a]\nk=1\nj=2\n");
        QVERIFY(IniFile(path).remove(QStringLiteral("A"), QStringLiteral("K")));
        QCOMPARE(contents(path), QByteArray("[a]\nj=2\n"));
    }
};

QTEST_GUILESS_MAIN(tst_IniFile)
#include "tst_inifile.moc"
