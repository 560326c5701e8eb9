#include "frontreader.h"

#include "messagelookup.h"
#include "storage/dbhelper.h"

#include <QMutex>

struct FrontReader::Shared
{
    QMutex mutex;
    // Guarded by mutex; the rest is the reading thread's alone.
    QString wanted;
    FrontReader *owner = nullptr;
    // Reads take only the CPU time the sending leaves over: under a full burst a read waits
    // rather than slowing the modems.
    DBHelper db{DatabaseLink::Priority::Background};
    MessageLookup lookup{db};

    // The connection to read on, opened again when the string changed or the last one was lost.
    bool ready(QString *error)
    {
        QString connectionString;
        {
            const QMutexLocker lock(&mutex);
            connectionString = wanted;
        }
        if (connectionString.isEmpty()) {
            *error = QStringLiteral("数据库未连接");
            return false;
        }
        if (db.isOpen() && db.connectionString() == connectionString)
            return true;
        return db.OpenConnection(connectionString, error);
    }
};

FrontReader::FrontReader(QObject *parent)
    : QObject(parent), m_shared(std::make_shared<Shared>()), m_worker(new QObject)
{
    m_shared->owner = this;
    m_thread.setObjectName(QStringLiteral("front reads"));
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start(QThread::IdlePriority);
}

FrontReader::~FrontReader()
{
    {
        // From here no answer is posted to this object; those already posted go with it.
        const QMutexLocker lock(&m_shared->mutex);
        m_shared->owner = nullptr;
    }
    m_thread.quit();
    // A read held up by a frozen server is left to its own time-out; the thread's state is
    // shared with it, so nothing it touches goes away under it.
    if (!m_thread.wait(3000))
        qWarning("front reads: a read is still held up at the end");
}

void FrontReader::setConnectionString(const QString &connectionString)
{
    const QMutexLocker lock(&m_shared->mutex);
    m_shared->wanted = connectionString;
}

template<typename Result>
void FrontReader::post(std::function<Result(Shared &)> work, std::function<void(Result)> done)
{
    if (m_waiting >= MaxWaiting) {
        Result busy;
        busy.failed = true;
        busy.error = QStringLiteral("读取请求过多，请稍后再试");
        QMetaObject::invokeMethod(
                this, [done = std::move(done), busy] { done(busy); }, Qt::QueuedConnection);
        return;
    }
    ++m_waiting;
    QMetaObject::invokeMethod(
            m_worker,
            [shared = m_shared, work = std::move(work), done = std::move(done)]() mutable {
                Result result = work(*shared);
                const QMutexLocker lock(&shared->mutex);
                FrontReader *owner = shared->owner;
                if (!owner)
                    return;
                QMetaObject::invokeMethod(
                        owner,
                        [owner, done = std::move(done), result = std::move(result)] {
                            --owner->m_waiting;
                            done(result);
                        },
                        Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
}

void FrontReader::readMessage(qint64 id, std::function<void(MessageRead)> done)
{
    post<MessageRead>(
            [id](Shared &s) {
                MessageRead read;
                if (!s.ready(&read.error)) {
                    read.failed = true;
                    return read;
                }
                auto found = s.lookup.message(id, &read.error);
                read.failed = !found.has_value();
                if (found)
                    read.message = *found;
                return read;
            },
            std::move(done));
}

void FrontReader::readReceived(qint64 after, int limit, std::function<void(ReceivedRead)> done)
{
    post<ReceivedRead>(
            [after, limit](Shared &s) {
                ReceivedRead read;
                if (!s.ready(&read.error)) {
                    read.failed = true;
                    return read;
                }
                auto rows = s.lookup.received(after, limit, &read.error);
                read.failed = !rows.has_value();
                if (rows)
                    read.rows = std::move(*rows);
                return read;
            },
            std::move(done));
}
