#include "databaselink.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <sched.h>

struct DatabaseLink::Call::State
{
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable ended;
    std::function<void(const Call &)> call;
    bool running = false;
    bool abandoned = false;
    bool committing = false;
    bool quit = false;
    std::uint64_t progress = 0;
};

namespace {

// The calling thread gets CPU time only when no ordinary thread wants it (SCHED_IDLE). Where
// that is refused the thread simply stays as it was.
void runInBackground()
{
    sched_param none{};
    sched_setscheduler(0, SCHED_IDLE, &none);
}

} // namespace

bool DatabaseLink::Call::abandoned() const
{
    const std::lock_guard lock(m_state->mutex);
    return m_state->abandoned;
}

bool DatabaseLink::Call::enterCommit() const
{
    const std::lock_guard lock(m_state->mutex);
    if (m_state->abandoned)
        return false;
    m_state->committing = true;
    return true;
}

void DatabaseLink::Call::progress() const
{
    const std::lock_guard lock(m_state->mutex);
    ++m_state->progress;
}

DatabaseLink::DatabaseLink(Priority priority) : m_state(std::make_shared<Call::State>())
{
    // The thread holds the state itself, so that a call it was left with can still end
    // after the link is gone.
    m_thread = std::thread([state = m_state, priority] {
        if (priority == Priority::Background)
            runInBackground();
        const Call handle(state);
        std::unique_lock lock(state->mutex);
        for (;;) {
            state->wake.wait(lock, [&] { return state->call || state->quit; });
            if (!state->call)
                return;
            auto call = std::move(state->call);
            state->call = nullptr;
            lock.unlock();
            call(handle);
            // What the call captured goes before the waiter is told it ended.
            call = nullptr;
            lock.lock();
            state->running = false;
            state->ended.notify_all();
        }
    });
}

DatabaseLink::~DatabaseLink()
{
    std::unique_lock lock(m_state->mutex);
    m_state->quit = true;
    m_state->wake.notify_one();
    const bool ended = m_state->ended.wait_for(lock, std::chrono::seconds(2),
                                               [this] { return !m_state->running; });
    lock.unlock();
    if (ended)
        m_thread.join();
    else
        m_thread.detach();
}

DatabaseLink::Outcome DatabaseLink::run(std::function<void(const Call &)> call, int timeoutMs)
{
    std::unique_lock lock(m_state->mutex);
    if (m_state->running)
        return Outcome::TimedOut;
    m_state->call = std::move(call);
    m_state->running = true;
    m_state->abandoned = false;
    m_state->committing = false;
    m_state->wake.notify_one();
    std::uint64_t seen = m_state->progress;
    while (!m_state->ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [this] { return !m_state->running; })) {
        if (m_state->progress == seen)
            break;
        seen = m_state->progress;
    }
    if (!m_state->running)
        return Outcome::Done;
    m_state->abandoned = true;
    return m_state->committing ? Outcome::InDoubt : Outcome::TimedOut;
}

bool DatabaseLink::busy() const
{
    const std::lock_guard lock(m_state->mutex);
    return m_state->running;
}
