#pragma once

#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// One piece of work at a time on a thread of its own, for a journal's wait for the disk to run
// beside the engine's other waits. The engine starts it and later waits for its end; nothing
// else runs on the thread, so the journal is never touched from two threads at once.
class JournalWriter
{
public:
    JournalWriter();
    ~JournalWriter();
    JournalWriter(const JournalWriter &) = delete;
    JournalWriter &operator=(const JournalWriter &) = delete;

    // Work returns an error text, empty when it succeeded. Waits for any earlier work first.
    void start(std::function<QString()> work);
    // The result of the work started last, once it ended; empty when none was started.
    QString wait();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<QString()> m_work;
    bool m_pending = false; // started, not waited for
    bool m_running = false;
    bool m_stop = false;
    QString m_result;
    std::thread m_thread;
};
