#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

// The user's own runtime folder; the temporary folder, made per user, where there is none.
QString runtimeDir()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}

// A short name (socket paths are limited to about 100 bytes) that differs per program folder.
QString baseName(const QString &programDir)
{
    const QByteArray folder = QDir::cleanPath(QDir(programDir).absolutePath()).toUtf8();
    return QStringLiteral("velmora-gateway-")
            + QString::fromLatin1(
                    QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(16));
}

} // namespace

SingleInstance::SingleInstance(const QString &programDir, QObject *parent)
    : QObject(parent), m_socketPath(runtimeDir() + QLatin1Char('/') + baseName(programDir)
                                    + QStringLiteral(".sock")),
      m_lock(runtimeDir() + QLatin1Char('/') + baseName(programDir) + QStringLiteral(".lock"))
{
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::acquire()
{
    if (!m_lock.tryLock(0))
        return false;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock, a socket left at this path belongs to an instance that has ended.
    QLocalServer::removeServer(m_socketPath);
    if (!m_server->listen(m_socketPath))
        m_listenError = m_server->errorString();
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *peer = m_server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            Q_EMIT raiseRequested();
        }
    });
    return true;
}

bool SingleInstance::askRunningToRaise()
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(2000))
        return false;
    socket.write("raise\n");
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return true;
}
