#pragma once

#include <functional>
#include <memory>
#include <thread>

// The database client libraries block until their server answers, and a server that is frozen
// rather than down never answers and never refuses. Their calls therefore run here, on a thread
// of their own and one at a time, and the event loop that talks to the modems waits for each
// only so long. A call it gave up on goes on until the server answers; it is told so, so that
// it can roll its work back instead of committing what nobody will account for.
class DatabaseLink
{
public:
    // What a call sees of the one who waits for it.
    class Call
    {
    public:
        // The waiter gave up: nothing the call does from now on is accounted for.
        bool abandoned() const;
        // Marks the start of a commit; false (and nothing marked) when the waiter already gave
        // up. A waiter that gives up after this knows the outcome is in doubt.
        bool enterCommit() const;
        // The server is answering (rows are coming in): the waiter waits one time-out more.
        void progress() const;

    private:
        friend class DatabaseLink;
        struct State;
        explicit Call(std::shared_ptr<State> state) : m_state(std::move(state)) { }
        std::shared_ptr<State> m_state;
    };

    enum class Outcome {
        Done,     // the call ended in time
        TimedOut, // it did not; it will roll back what it did
        InDoubt,  // it did not, and was committing: what it wrote may or may not stay
    };

    // A background link runs its calls only on CPU time that nothing else wants: the front ends'
    // reads, which must never slow the sending.
    enum class Priority { Normal, Background };

    explicit DatabaseLink(Priority priority = Priority::Normal);
    // Waits a moment for a call still held up, then leaves it to end on its own: a frozen
    // server must not hold up the end of the program.
    ~DatabaseLink();
    DatabaseLink(const DatabaseLink &) = delete;
    DatabaseLink &operator=(const DatabaseLink &) = delete;

    // Runs the call on the link's thread and waits for it until timeoutMs pass with neither its
    // end nor its progress. A call must not be run while busy(): that one is refused as
    // TimedOut.
    Outcome run(std::function<void(const Call &)> call, int timeoutMs);
    // A call that was not waited for to its end is still running.
    bool busy() const;

private:
    std::shared_ptr<Call::State> m_state;
    std::thread m_thread;
};
