#include "portguard.h"

#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QTest>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

// The checks before a modem's port is opened, on a real pseudo-terminal and the lock folder the
// machine's serial ports use.
class TestPortGuard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void consoleIsNeverFree();
    void staleLockOfEndedProcessIsRemoved();
    void lockOfRunningProcessNamesIt();
    void foreignLockFileIsLeftToQt();

private:
    void writeLock(const QByteArray &contents);

    int m_master = -1;
    QString m_device;
    QString m_lockFile;
};

namespace {

// The pid of a process that has just ended.
qint64 endedPid()
{
    QProcess p;
    p.start(QStringLiteral("true"), {});
    if (!p.waitForStarted(5000))
        return 0;
    const qint64 pid = p.processId();
    return p.waitForFinished(5000) ? pid : 0;
}

} // namespace

void TestPortGuard::init()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(m_master >= 0);
    QVERIFY(::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0);
    m_device = QString::fromLocal8Bit(::ptsname(m_master));
    m_lockFile = PortGuard::lockFileOf(m_device);
    QVERIFY2(!m_lockFile.isEmpty(), "no usable lock folder");
    QVERIFY(m_lockFile.endsWith(QStringLiteral("/LCK..") + m_device.mid(5).replace('/', '_')));
    QFile::remove(m_lockFile);
}

void TestPortGuard::cleanup()
{
    QFile::remove(m_lockFile);
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void TestPortGuard::writeLock(const QByteArray &contents)
{
    QFile file(m_lockFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

void TestPortGuard::consoleIsNeverFree()
{
    QVERIFY(PortGuard::heldElsewhere(QStringLiteral("/dev/console")).contains(u"console"));
    QVERIFY(PortGuard::heldElsewhere(m_device).isEmpty());
}

void TestPortGuard::staleLockOfEndedProcessIsRemoved()
{
    // What a check tool ended by a kill leaves: Qt's own lock file of a process that is gone.
    const qint64 pid = endedPid();
    QVERIFY(pid > 0);
    writeLock(QByteArray::number(pid) + "\nvelmora-modemcheck\n"
              + QSysInfo::machineHostName().toUtf8() + "\n");
    QCOMPARE(PortGuard::heldElsewhere(m_device), QString());
    QVERIFY(!QFile::exists(m_lockFile));
    QSerialPort port(m_device);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
}

void TestPortGuard::lockOfRunningProcessNamesIt()
{
    // A terminal program's lock: the pid alone, padded.
    QProcess holder;
    holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(holder.waitForStarted(5000));
    writeLock(QByteArray::number(holder.processId()).rightJustified(10) + "\n");
    const QString reason = PortGuard::heldElsewhere(m_device);
    QVERIFY2(reason.contains(QString::number(holder.processId())), qPrintable(reason));
    QVERIFY(QFile::exists(m_lockFile));

    holder.kill();
    QVERIFY(holder.waitForFinished(5000));
    QCOMPARE(PortGuard::heldElsewhere(m_device), QString());
}

void TestPortGuard::foreignLockFileIsLeftToQt()
{
    // Another machine's lock on a shared lock folder, and a file that names no process.
    writeLock(QByteArray::number(endedPid()) + "\napp\nsome-other-host\n");
    QCOMPARE(PortGuard::clearStaleLock(m_lockFile), QString());
    QVERIFY(QFile::exists(m_lockFile));
    writeLock("not a lock\n");
    QCOMPARE(PortGuard::clearStaleLock(m_lockFile), QString());
    QVERIFY(QFile::exists(m_lockFile));
}

QTEST_GUILESS_MAIN(TestPortGuard)
#include "tst_portguard.moc"
