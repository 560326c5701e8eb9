#include "journalwriter.h"

JournalWriter::JournalWriter() : m_thread([this] { run(); }) { }

JournalWriter::~JournalWriter()
{
    wait();
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void JournalWriter::start(std::function<QString()> work)
{
    wait();
    {
        std::lock_guard lock(m_mutex);
        m_work = std::move(work);
        m_pending = true;
        m_running = true;
    }
    m_changed.notify_all();
}

QString JournalWriter::wait()
{
    std::unique_lock lock(m_mutex);
    if (!m_pending)
        return {};
    m_changed.wait(lock, [this] { return !m_running; });
    m_pending = false;
    return std::exchange(m_result, {});
}

void JournalWriter::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || (m_running && m_work); });
        if (m_stop)
            return;
        std::function<QString()> work = std::exchange(m_work, {});
        lock.unlock();
        QString result = work();
        lock.lock();
        m_result = std::move(result);
        m_running = false;
        m_changed.notify_all();
    }
}
