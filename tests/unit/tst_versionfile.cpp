#include "common/propertybag.h"
#include "download/downloader.h"
#include "download/versioncheck.h"

#include <QTest>

class TstVersionFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fields_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("empty body has no fields") << QString() << QStringList();
        QTest::newRow("no dollar is one field") << "V1.0.1" << QStringList{"V1.0.1"};
        QTest::newRow("empty fields count")
                << "$V1.0.1$http://h/u$" << QStringList{"", "V1.0.1", "http://h/u", ""};
        QTest::newRow("nothing trimmed") << " $V1.0.1 $url\r\n"
                                         << QStringList{" ", "V1.0.1 ", "url\r\n"};
    }
    void fields()
    {
        QFETCH(QString, body);
        QFETCH(QStringList, fields);
        QCOMPARE(VersionCheck::splitFields(body), fields);
    }

    void textualOrder_data()
    {
        QTest::addColumn<QString>("offered");
        QTest::addColumn<bool>("newer");
        QTest::newRow("next patch") << "V1.0.1" << true;
        QTest::newRow("same") << "V1.0.0" << false;
        QTest::newRow("older") << "V0.9.9" << false;
        QTest::newRow("small v sorts after") << "v1.0.0" << true;
        QTest::newRow("trailing blank sorts after") << "V1.0.0 " << true;
        QTest::newRow("no leading V sorts before") << "1.0.1" << false;
        QTest::newRow("V1.0.10 after V1.0.0") << "V1.0.10" << true;
        QTest::newRow("V2.0 after") << "V1.0.9" << true;
        QTest::newRow("prefix sorts first") << "V1.0" << false;
        QTest::newRow("empty") << "" << false;
    }
    void textualOrder()
    {
        QFETCH(QString, offered);
        QFETCH(bool, newer);
        QCOMPARE(VersionCheck::sortsBefore(VersionCheck::ProgramVersion, offered), newer);
    }

    // What counts as an upgrade: numbers compared as numbers, and only a well-formed version.
    void versionOrder_data()
    {
        QTest::addColumn<QString>("offered");
        QTest::addColumn<QString>("current");
        QTest::addColumn<bool>("newer");
        QTest::newRow("next patch") << "V1.0.1"
                                    << "V1.0.0" << true;
        QTest::newRow("next major") << "V2"
                                    << "V1.9.9" << true;
        QTest::newRow("same") << "V1.0.0"
                              << "V1.0.0" << false;
        QTest::newRow("older") << "V0.9.9"
                               << "V1.0.0" << false;
        QTest::newRow("10 after 9, not before") << "V1.0.10"
                                                << "V1.0.9" << true;
        QTest::newRow("9 before 10") << "V1.0.9"
                                     << "V1.0.10" << false;
        QTest::newRow("missing numbers are 0") << "V1.0"
                                               << "V1.0.0" << false;
        QTest::newRow("leading zero") << "V1.0.01"
                                      << "V1.0.0" << true;
        QTest::newRow("small v") << "v0.1"
                                 << "V1.0.0" << false;
        QTest::newRow("small v, higher number") << "v2.0.0"
                                                << "V1.0.0" << false;
        QTest::newRow("trailing blank") << "V1.0.0 "
                                        << "V1.0.0" << false;
        QTest::newRow("trailing blank, higher number") << "V1.0.1 "
                                                       << "V1.0.0" << false;
        QTest::newRow("line break") << "V1.0.1\n"
                                    << "V1.0.0" << false;
        QTest::newRow("no V") << "1.0.1"
                              << "V1.0.0" << false;
        QTest::newRow("V alone") << "V"
                                 << "V1.0.0" << false;
        QTest::newRow("empty number") << "V1..1"
                                      << "V1.0.0" << false;
        QTest::newRow("trailing dot") << "V1.0.1."
                                      << "V1.0.0" << false;
        QTest::newRow("suffix") << "V1.0.1beta"
                                << "V1.0.0" << false;
        QTest::newRow("number past int") << "V99999999999"
                                         << "V1.0.0" << false;
        QTest::newRow("empty") << ""
                               << "V1.0.0" << false;
        QTest::newRow("own version malformed") << "V1.0.1"
                                               << "1.0.0" << false;
    }
    void versionOrder()
    {
        QFETCH(QString, offered);
        QFETCH(QString, current);
        QFETCH(bool, newer);
        QCOMPARE(VersionCheck::isNewerVersion(offered, current), newer);
    }

    void digestField_data()
    {
        const QString hex =
                QStringLiteral("9F86D081884C7D659A2FEAA0C55AD015A3BF4F1B2B0B822CD15D6C15B0F00A08");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<bool>("present");
        QTest::newRow("absent") << QStringList{"", "V1.0.1", "url"} << false;
        QTest::newRow("empty") << QStringList{"", "V1.0.1", "url", ""} << false;
        QTest::newRow("64 hex") << QStringList{"", "V1.0.1", "url", hex} << true;
        QTest::newRow("lower case with line break")
                << QStringList{"", "V1.0.1", "url", hex.toLower() + "\r\n"} << true;
        QTest::newRow("63 hex") << QStringList{"", "V1.0.1", "url", hex.left(63)} << false;
        QTest::newRow("not hex") << QStringList{"", "V1.0.1", "url", QString(64, 'g')} << false;
        QTest::newRow("anything else") << QStringList{"", "V1.0.1", "url", "notes"} << false;
    }
    void digestField()
    {
        QFETCH(QStringList, fields);
        QFETCH(bool, present);
        const auto digest = VersionCheck::expectedSha256(fields);
        QCOMPARE(digest.has_value(), present);
        if (present)
            QCOMPARE(
                    digest->toHex(),
                    QByteArray("9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"));
    }

    void versionFileAddress()
    {
        QCOMPARE(VersionCheck::versionFileUrl("http://u.example"),
                 QStringLiteral("http://u.example/update/GVer.txt"));
        QCOMPARE(VersionCheck::versionFileUrl("http://u.example:8080/"),
                 QStringLiteral("http://u.example:8080/update/GVer.txt"));
    }

    void getProtocol_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("protocol");
        QTest::newRow("ftp small") << "ftp://h/f"
                                   << "2";
        QTest::newRow("ftp capitals and blanks") << "  FTP://H/F  "
                                                 << "2";
        QTest::newRow("http host starting ftp.") << "http://ftp.example.com/f"
                                                 << "2";
        QTest::newRow("http path with ftp.") << "http://h/ftp.bin"
                                             << "2";
        QTest::newRow("http") << "http://h/f"
                              << "4";
        QTest::newRow("https") << "https://h/f"
                               << "4";
        QTest::newRow("sftp is not ftp://") << "sftp:/h"
                                            << "4";
        QTest::newRow("empty") << ""
                               << "4";
    }
    void getProtocol()
    {
        QFETCH(QString, url);
        QFETCH(QString, protocol);
        Downloader downloader;
        QCOMPARE(downloader.GetProtocol(url), protocol);
    }

    void persistedKeysAndDefaults()
    {
        Downloader fresh;
        PropertyBag bag;
        fresh.WriteProperties(bag);
        QVERIFY2(bag.isEmpty(), qPrintable(bag.keys().join(',')));
        QCOMPARE(fresh.TargetFile(), QVariant(0));
        QCOMPARE(fresh.Protocol(), 1);
        QCOMPARE(fresh.RemotePort(), 80);
        QCOMPARE(fresh.RequestTimeout(), 60);

        Downloader a;
        QStringList changed;
        connect(&a, &Downloader::PropertyChanged, this,
                [&](const QString &name) { changed.append(name); });
        a.setTargetFile(QStringLiteral("/tmp/x"));
        a.setSourceURL(QStringLiteral("http://s/x"));
        a.setFileSize(1234);
        a.setPassword("pw");
        a.setProtocol(2);
        a.setProxy("proxy:3128");
        a.setRemoteHost("h");
        a.setRemotePort(40000);
        a.setRequestTimeout(5);
        a.setUserName("u");
        a.setURL("http://h/file");
        QCOMPARE(changed.size(), 11);
        a.WriteProperties(bag);
        QCOMPARE(bag.keys().size(), 11);

        Downloader b;
        b.ReadProperties(bag);
        QCOMPARE(b.TargetFile(), QVariant(QStringLiteral("/tmp/x")));
        QCOMPARE(b.SourceURL(), QVariant(QStringLiteral("http://s/x")));
        QCOMPARE(b.FileSize(), QVariant(1234));
        QCOMPARE(b.Password(), QStringLiteral("pw"));
        QCOMPARE(b.Protocol(), 2);
        QCOMPARE(b.Proxy(), QStringLiteral("proxy:3128"));
        QCOMPARE(b.RemoteHost(), QStringLiteral("h"));
        QCOMPARE(b.RemotePort(), 40000);
        QCOMPARE(b.RequestTimeout(), 5);
        QCOMPARE(b.UserName(), QStringLiteral("u"));
        QCOMPARE(b.URL(), QStringLiteral("http://h/file"));

        // Setting a value back to its default removes it from the bag.
        b.setRemotePort(80);
        b.WriteProperties(bag);
        QVERIFY(!bag.contains(QStringLiteral("RemotePort")));
    }
};

QTEST_GUILESS_MAIN(TstVersionFile)
#include "tst_versionfile.moc"
