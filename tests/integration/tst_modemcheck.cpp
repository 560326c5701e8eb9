#include "modemsimprocess.h"
#include "portguard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

// velmora-modemcheck run as the operator runs it: Ctrl-C, a port the user may not open, and the
// scan of every port.
class TestModemCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void ctrlCLeavesNoLockBehind();
    void permissionDeniedNamesTheGroup();
    void scanSaysWhichPortsAnswer();
    void scanReadsTheProgramFolderAndListsUnpluggedPorts();

private:
    std::unique_ptr<ModemSimProcess> m_sim;
};

namespace {

constexpr int Wait = 30000;

QString checkProgram()
{
    return qEnvironmentVariable("VELMORA_BUILD_DIR")
            + QStringLiteral("/install-root/tools/velmora-modemcheck");
}

bool waitForOutput(QProcess &process, const QString &text, QString *out)
{
    QDeadlineTimer deadline(Wait);
    while (!out->contains(text)) {
        if (deadline.hasExpired() || process.state() == QProcess::NotRunning)
            return false;
        process.waitForReadyRead(200);
        *out += QString::fromUtf8(process.readAllStandardOutput());
    }
    return true;
}

} // namespace

void TestModemCheck::initTestCase()
{
    QVERIFY2(QFile::exists(checkProgram()), qPrintable(checkProgram()));
    m_sim = std::make_unique<ModemSimProcess>(3);
    QVERIFY2(m_sim->start(), qPrintable(m_sim->errorString()));
    qputenv("VELMORA_PORTS_DIR", m_sim->portsDir().toUtf8());
}

void TestModemCheck::ctrlCLeavesNoLockBehind()
{
    const QString device = QFileInfo(m_sim->portPath(1)).canonicalFilePath();
    const QString lockFile = PortGuard::lockFileOf(device);
    QVERIFY(!lockFile.isEmpty());
    QProcess check;
    check.start(checkProgram(), {QStringLiteral("COM1"), QStringLiteral("--watch")});
    QString out;
    QVERIFY2(waitForOutput(check, QStringLiteral("watching"), &out), qPrintable(out));
    QVERIFY2(QFile::exists(lockFile), qPrintable(lockFile));

    ::kill(pid_t(check.processId()), SIGINT);
    QVERIFY(check.waitForFinished(Wait));
    QCOMPARE(check.exitStatus(), QProcess::NormalExit);
    QCOMPARE(check.exitCode(), 130);
    QVERIFY2(!QFile::exists(lockFile), qPrintable(lockFile));
    QCOMPARE(PortGuard::heldElsewhere(device), QString());
}

void TestModemCheck::permissionDeniedNamesTheGroup()
{
    // As root, the check runs as nobody, outside the group of the pseudo-terminal; otherwise
    // the device is made unreadable to its owner for a moment.
    const QString device = QFileInfo(m_sim->portPath(2)).canonicalFilePath();
    QProcess check;
    struct stat before = {};
    QVERIFY(::stat(QFile::encodeName(device).constData(), &before) == 0);
    if (::geteuid() == 0) {
        check.start(QStringLiteral("setpriv"),
                    {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                     QStringLiteral("--clear-groups"), checkProgram(), device});
    } else {
        QVERIFY(::chmod(QFile::encodeName(device).constData(), 0) == 0);
        check.start(checkProgram(), {device});
    }
    QVERIFY(check.waitForFinished(Wait));
    ::chmod(QFile::encodeName(device).constData(), before.st_mode & 07777);
    const QString out = QString::fromUtf8(check.readAllStandardOutput());
    QCOMPARE(check.exitCode(), 1);
    QVERIFY2(out.contains(QStringLiteral("permission denied \u2014 is the user in group dialout?")),
             qPrintable(out));
    QVERIFY2(!out.contains(QStringLiteral("held by another program")), qPrintable(out));
}

void TestModemCheck::scanSaysWhichPortsAnswer()
{
    QVERIFY(m_sim->setSilent(2, true));
    QProcess check;
    check.start(checkProgram(), {QStringLiteral("--scan")});
    QVERIFY(check.waitForFinished(120000));
    QVERIFY(m_sim->setSilent(2, false));
    const QString out = QString::fromUtf8(check.readAllStandardOutput());
    QCOMPARE(check.exitCode(), 0);
    const QStringList lines = out.split(QLatin1Char('\n'));
    auto lineOf = [&lines](const QString &label) {
        for (const QString &l : lines) {
            if (l.startsWith(label + QLatin1Char(' ')))
                return l;
        }
        return QString();
    };
    QVERIFY2(lineOf(QStringLiteral("COM1")).contains(QStringLiteral("answers AT at 115200")),
             qPrintable(out));
    QVERIFY2(lineOf(QStringLiteral("COM2")).contains(QStringLiteral("no answer")), qPrintable(out));
    QVERIFY2(lineOf(QStringLiteral("COM3")).contains(QStringLiteral("answers AT")),
             qPrintable(out));
    const QString answering = lineOf(QStringLiteral("answering"));
    QVERIFY2(answering.contains(QStringLiteral("COM1"))
                     && answering.contains(QStringLiteral("COM3"))
                     && !answering.contains(QStringLiteral("COM2")),
             qPrintable(out));
}

void TestModemCheck::scanReadsTheProgramFolderAndListsUnpluggedPorts()
{
    // As the service's folder is laid out: ports/ links and the ports Config.ini lists, with no
    // VELMORA_PORTS_DIR. COM7's stick is unplugged (its link dangles); COM120 is configured but
    // has neither a link nor a device name.
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("ports")));
    QVERIFY(QFile::link(QFileInfo(m_sim->portPath(1)).canonicalFilePath(),
                        folder.filePath(QStringLiteral("ports/com1"))));
    QVERIFY(QFile::link(QStringLiteral("/dev/ttyUSB97"), folder.filePath(QStringLiteral("ports/com7"))));
    QFile config(folder.filePath(QStringLiteral("Config.ini")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("[SMSCom]\nPort=1,120\nRate=115200,115200\n");
    config.close();

    QProcess check;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("VELMORA_PORTS_DIR"));
    check.setProcessEnvironment(env);
    check.start(checkProgram(),
                {QStringLiteral("--scan"), QStringLiteral("--program-dir"), folder.path()});
    QVERIFY(check.waitForFinished(120000));
    const QString out = QString::fromUtf8(check.readAllStandardOutput());
    QCOMPARE(check.exitCode(), 0);
    auto lineOf = [&out](const QString &label) {
        for (const QString &l : out.split(QLatin1Char('\n'))) {
            if (l.startsWith(label + QLatin1Char(' ')))
                return l;
        }
        return QString();
    };
    QVERIFY2(lineOf(QStringLiteral("COM1")).contains(QStringLiteral("answers AT")), qPrintable(out));
    QVERIFY2(lineOf(QStringLiteral("COM7")).contains(QStringLiteral("unplugged")), qPrintable(out));
    QVERIFY2(lineOf(QStringLiteral("COM7")).contains(QStringLiteral("/dev/ttyUSB97")),
             qPrintable(out));
    QVERIFY2(lineOf(QStringLiteral("COM120")).contains(QStringLiteral("unplugged")), qPrintable(out));
    QVERIFY2(!lineOf(QStringLiteral("answering")).contains(QStringLiteral("COM7")), qPrintable(out));
}

QTEST_GUILESS_MAIN(TestModemCheck)
#include "tst_modemcheck.moc"
