#include "storage/databasefilecheck.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

// The SQLite file applications write to is the one the gateway opened.
class tst_DatabaseFileCheck : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString opened(DatabaseFileCheck &check, const QString &name)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.close();
        check.opened(QStringLiteral("Provider=SQLite; Data Source=") + path);
        return path;
    }

private Q_SLOTS:
    void movedAwayOrReplacedIsNoticed()
    {
        DatabaseFileCheck check;
        const QString path = opened(check, QStringLiteral("a.db"));
        QCOMPARE(check.problem(), QString());
        QVERIFY(QFile::rename(path, path + QStringLiteral(".old")));
        QVERIFY(check.problem().contains(QStringLiteral("不存在")));
        // A new file at the old name is not the one the connection holds.
        QFile again(path);
        QVERIFY(again.open(QIODevice::WriteOnly));
        again.close();
        QVERIFY(check.problem().contains(QStringLiteral("已被移走或替换")));
    }

    void unreadableIsNoticed()
    {
        if (::geteuid() == 0)
            QSKIP("root reads every file");
        DatabaseFileCheck check;
        const QString path = opened(check, QStringLiteral("b.db"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        QVERIFY(check.problem().contains(QStringLiteral("无法读写")));
    }

    void serversHaveNoFile()
    {
        DatabaseFileCheck check;
        check.opened(QStringLiteral("Provider=PostgreSQL; Data Source=localhost; Database=x"));
        QCOMPARE(check.problem(), QString());
    }
};

QTEST_GUILESS_MAIN(tst_DatabaseFileCheck)
#include "tst_databasefilecheck.moc"
