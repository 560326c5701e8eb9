#include "servicerig.h"

#include "portlist.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <csignal>

namespace {

int rigCount = 0;

} // namespace

QString secondsText(qint64 ms)
{
    return QString::number(double(ms) / 1000, 'f', 2) + QStringLiteral(" s");
}

ServiceRig::ServiceRig(int modems, QStringList simulatorArguments, int scanMs)
    : m_modems(modems), m_scanMs(scanMs), m_sim(modems, 1, std::move(simulatorArguments)),
      m_connection(QStringLiteral("rig%1").arg(++rigCount))
{ }

ServiceRig::~ServiceRig()
{
    stopService();
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool ServiceRig::prepare(QString *error)
{
    if (!m_sim.start()) {
        *error = QStringLiteral("simulator: ") + m_sim.errorString();
        return false;
    }
    const QString folder = m_folder.path();
    QDir(folder).mkpath(QStringLiteral("DataBase"));
    const QString dbPath = folder + QStringLiteral("/DataBase/SMS.db");
    if (!QFile::copy(qEnvironmentVariable("VELMORA_BUILD_DIR")
                             + QStringLiteral("/install-root/MainApp/DataBase/SMS.db"),
                     dbPath)) {
        *error = QStringLiteral("no installed SMS.db under VELMORA_BUILD_DIR");
        return false;
    }
    m_httpPort = GatewaydProcess::freePort();
    QFile config(folder + QStringLiteral("/Config.ini"));
    if (!config.open(QIODevice::WriteOnly)) {
        *error = config.errorString();
        return false;
    }
    config.write(QStringLiteral("[DBCon]\nScanDT=%1\n[SMSCom]\nPort=%2\nRate=%3\n"
                                "[Service]\nHttpPort=%4\n")
                         .arg(m_scanMs)
                         .arg(PortList::ports(m_modems), PortList::rates(m_modems))
                         .arg(m_httpPort)
                         .toUtf8());
    config.close();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(dbPath);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open()) {
        *error = db.lastError().text();
        return false;
    }
    return true;
}

bool ServiceRig::startService(QString *error)
{
    m_sinceStart.start();
    if (!m_service.start(m_sim.portsDir(), m_folder.path())) {
        *error = QStringLiteral("velmora-gatewayd did not start");
        return false;
    }
    m_serviceStarted = true;
    return true;
}

int ServiceRig::devicesUp()
{
    static const QRegularExpression up(QStringLiteral("\nvelmora_devices_up (\\d+)\n"));
    const QRegularExpressionMatch m =
            up.match(QString::fromUtf8(GatewaydProcess::httpGet(m_httpPort, "/metrics")));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

qint64 ServiceRig::waitForUp(int devices, qint64 timeoutMs)
{
    while (devicesUp() < devices) {
        if (m_sinceStart.elapsed() > timeoutMs)
            return -1;
        QThread::msleep(50);
    }
    return m_sinceStart.elapsed();
}

void ServiceRig::reload()
{
    ::kill(pid_t(m_service.pid()), SIGHUP);
}

void ServiceRig::stopService()
{
    if (m_serviceStarted)
        m_service.stop();
    m_serviceStarted = false;
}

bool ServiceRig::insertRows(int n, QString *error)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    db.transaction();
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("insert into SMS (CellNumber, SMSContent) values (?, ?)"));
    for (int i = 1; i <= n; ++i) {
        insert.addBindValue(QStringLiteral("139%1").arg(i, 8, 10, QLatin1Char('0')));
        insert.addBindValue(QStringLiteral("bench %1").arg(i));
        if (!insert.exec()) {
            *error = insert.lastError().text();
            db.rollback();
            return false;
        }
    }
    return db.commit();
}

int ServiceRig::countRows(const QString &condition)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    return q.exec(QStringLiteral("select count(*) from SMS where ") + condition) && q.next()
            ? q.value(0).toInt()
            : -1;
}

QHash<int, int> ServiceRig::submittedByPort()
{
    QHash<int, int> counts;
    for (const QString &line : m_sim.command(QStringLiteral("counts")).data) {
        const QStringList f = line.split(QLatin1Char(' '));
        counts.insert(f.value(0).toInt(), f.value(1).toInt());
    }
    return counts;
}
