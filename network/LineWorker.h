#pragma once

#include "base/Export.h"
#include "network/ZarnError.h"
#include "network/ZarnRequest.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class CZarnPort;

// Stops a line task, or every task of one operation that shares it, between two exchanges.
class LINTARO_API CLineCancel {
public:
    void Cancel() { m_bCancelled.store(true); }
    bool IsCancelled() const { return m_bCancelled.load(); }

private:
    std::atomic<bool> m_bCancelled{false};
};

// The one owner of an analyser port: a thread that runs every exchange on the line, one at a
// time and in order, operator requests before background ones. A task is a list of steps, each
// one or a few exchanges that belong together; the worker checks for cancellation between steps.
//
// When the port's device fails (a vanished adapter, a hung-up terminal) the line is lost: the
// port is closed, every task fails at once without touching the line, and the port is reopened
// by its name every reconnect period until it opens again.
//
// Callbacks (a task's completion, the line-state observer) run on the worker thread; callers
// that own windows pass them on to their own thread.
class LINTARO_API CLineWorker {
public:
    enum class Priority { operatorRequest, background };
    enum class Outcome {
        done,      // every step succeeded
        failed,    // a step returned false
        cancelled, // cancelled before a step
        lineDown,  // the line is lost (or was lost by the step that failed)
    };
    enum class LineState {
        open,   // the port is open
        closed, // the port could not be opened (a name chosen by the operator); not retried
        lost,   // the device failed; reopened by name every reconnect period
    };

    // One step; true to go on with the next.
    using Step = std::function<bool(CZarnPort&)>;

    struct Result {
        Outcome outcome = Outcome::done;
        std::size_t nStepsDone = 0; // steps that succeeded; the next one failed or never ran
        ZarnError error = ZarnError::none;
        // The port's words for the failure, with what it knows more (who was refused, and why).
        std::string strErrorText;
        // The request the line carried instead of the one sent, when noise made another
        // valid request of it (the analyser it names may have carried it out).
        std::optional<CZarnRequest> carried;

        static Result Of(Outcome outcome, ZarnError error) {
            Result result;
            result.outcome = outcome;
            result.error = error;
            return result;
        }
    };

    struct Task {
        Priority priority = Priority::operatorRequest;
        std::vector<Step> steps;
        std::shared_ptr<CLineCancel> pCancel; // may be null
        std::function<void(const Result&)> onDone;
    };

    struct Options {
        std::chrono::milliseconds reconnectPeriod{2000};
    };

    // The port must outlive the worker; from now on only the worker touches it.
    CLineWorker(CZarnPort& port, Options options);
    explicit CLineWorker(CZarnPort& port) : CLineWorker(port, Options{}) {}
    // Waits for the running step, then completes every queued task as cancelled (on the
    // calling thread). A task posted meanwhile is completed as cancelled at once.
    ~CLineWorker();
    CLineWorker(const CLineWorker&) = delete;
    CLineWorker& operator=(const CLineWorker&) = delete;

    void Post(Task task);
    // Runs the task on the calling thread, at once, when the worker has nothing running or
    // queued and the line is open; meanwhile the worker takes nothing. False, with the task
    // untouched, when it would have to wait: Post it then. It spares a short exchange the hand-
    // over to the worker's thread and back.
    bool RunNowIfIdle(Task& task);

    // Opens the port under a name (the same name reopens it), as the next operator task. The
    // line is open or closed afterwards; onDone gets the port's result.
    void OpenPort(const std::string& strName, std::function<void(bool bOpened)> onDone);

    // Called on the worker thread whenever the line state changes.
    void SetStateObserver(std::function<void(LineState, const std::string& strName)> observer);

    LineState GetState() const;
    std::string GetPortName() const;
    // Tasks queued and running; for tests and status.
    std::size_t GetPending() const;

private:
    struct Entry {
        Task task;
        bool bControl = false; // port control: runs also while the line is down
    };

    void Run();
    bool TakeNext(std::unique_lock<std::mutex>& lock, Entry& entry);
    Result Execute(Entry& entry);
    void SetState(LineState state);
    void TryReconnect();

    CZarnPort& m_port;
    Options m_options;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Entry> m_operator;
    std::deque<Entry> m_background;
    bool m_bRunning = false;
    bool m_bRunningElsewhere = false; // a task of RunNowIfIdle's on another thread
    bool m_bStop = false;
    LineState m_state = LineState::open;
    std::string m_strPortName;
    std::chrono::steady_clock::time_point m_nextReconnect;
    std::function<void(LineState, const std::string&)> m_observer;
    std::thread m_thread;
};
