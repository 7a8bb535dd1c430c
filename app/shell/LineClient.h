#pragma once

#include "network/LineWorker.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class CLineClient;
class QSocketNotifier;
class QWidget;

// One thing the operator asked of the line (a download, a group command, a dialog's request):
// what the status bar says while it runs, the token that cancels it between two exchanges, and
// the windows that show it busy. It ends with End() or when the last holder lets it go.
class CLineOperation {
public:
    ~CLineOperation();
    CLineOperation(const CLineOperation&) = delete;
    CLineOperation& operator=(const CLineOperation&) = delete;

    const std::shared_ptr<CLineCancel>& GetCancel() const { return m_pCancel; }
    bool IsCancelled() const { return m_pCancel->IsCancelled(); }
    void Cancel() { m_pCancel->Cancel(); }
    const std::string& GetText() const { return m_strText; }
    void SetText(const std::string& strText);
    // The window shows the busy cursor until the operation ends.
    void AddBusyWindow(QWidget* pWidget);
    void End();

private:
    friend class CLineClient;
    CLineOperation(CLineClient* pClient, std::string strText);

    QPointer<CLineClient> m_pClient;
    std::shared_ptr<CLineCancel> m_pCancel = std::make_shared<CLineCancel>();
    std::string m_strText;
    std::vector<QPointer<QWidget>> m_busy;
    bool m_bEnded = false;
};

// How a window's request joins an operation already under way (a group command), and what
// comes after it: a group goes on to its next station only once this one is over, its message
// read. Without an operation the window makes one of its own.
// A job let go of unfinished finishes: nobody waits for ever on a window that has gone.
struct CLineJob {
    std::shared_ptr<CLineOperation> pOperation;
    // Told whether the work succeeded (a window shown, a row added, an order obeyed), and
    // when it did not, whether the operator's Cancel stopped it or the line service refused it
    // (its words, empty otherwise).
    std::function<void(bool bOk, bool bCancelled, const std::string& strRefusal)> onFinished;
    bool bOk = false;
    bool bCancelled = false;
    std::string strRefusal;

    CLineJob() = default;
    CLineJob(std::shared_ptr<CLineOperation> pOp,
             std::function<void(bool, bool, const std::string&)> fn)
        : pOperation(std::move(pOp)), onFinished(std::move(fn)) {}
    CLineJob(CLineJob&& other) noexcept
        : pOperation(std::move(other.pOperation)),
          onFinished(std::exchange(other.onFinished, nullptr)), bOk(other.bOk),
          bCancelled(other.bCancelled), strRefusal(std::move(other.strRefusal)) {}
    CLineJob& operator=(CLineJob&& other) noexcept {
        if (this != &other) {
            Finish();
            pOperation = std::move(other.pOperation);
            onFinished = std::exchange(other.onFinished, nullptr);
            bOk = other.bOk;
            bCancelled = other.bCancelled;
            strRefusal = std::move(other.strRefusal);
        }
        return *this;
    }
    CLineJob(const CLineJob&) = delete;
    CLineJob& operator=(const CLineJob&) = delete;
    ~CLineJob() { Finish(); }

    // Calls onFinished once, later, from the event loop (never from inside the caller).
    void Finish();
};

// The program's side of the line worker: requests go to the worker's thread, results come
// back to the window thread. Results of the operator's requests are handed over one at a time,
// so a result that shows a message holds the next until the message is closed: two messages
// never stack, and a group goes on only after its failure was read.
class CLineClient : public QObject {
    Q_OBJECT
public:
    using Result = CLineWorker::Result;
    using Outcome = CLineWorker::Outcome;
    using Step = CLineWorker::Step;

    // The port is the line's from now on; it need not be open.
    explicit CLineClient(CZarnPort& port, QObject* pParent = nullptr);
    // Stops the worker: queued requests are dropped, the running exchange is waited for.
    ~CLineClient() override;

    // Runs the steps on the line. onDone runs on this thread with the result, unless pContext
    // is gone by then. A null operation runs the request behind the operator's back (a poll).
    void Post(QObject* pContext, std::vector<Step> steps, std::function<void(const Result&)> onDone,
              const std::shared_ptr<CLineOperation>& pOperation,
              CLineWorker::Priority priority = CLineWorker::Priority::operatorRequest);
    // Runs fn (which may show a message) when no other result is being handed over: a
    // message of its own never stacks on another one.
    void ShowInTurn(QObject* pContext, std::function<void()> fn) {
        RunInTurn(QPointer<QObject>(pContext), std::move(fn));
    }
    // Runs fn on this thread soon, unless pContext is gone by then. Callable from any thread:
    // steps use it to show values as they arrive.
    void Deliver(QPointer<QObject> pContext, std::function<void()> fn);

    std::shared_ptr<CLineOperation> BeginOperation(const std::string& strText);
    // The Cancel command: stops the oldest operation still running, between two exchanges.
    void CancelRunning();
    bool HasOperations() const { return !m_operations.empty(); }

    // Opens the port under a name (the same name reopens a dead port), on the line's thread
    // after what is queued before it; what is queued after it waits for it. onDone runs in turn
    // with the other results. Meanwhile the status says "Opening NAME...".
    void OpenPort(const std::string& strName, std::function<void(bool bOpened)> onDone);
    bool IsOpening() const { return m_nOpening > 0; }
    std::string GetPortName() const;
    // The name the port will have once the opens asked for have run: the last one asked for
    // while it is still under way, else the port's own.
    std::string GetChosenPortName() const;
    CLineWorker::LineState GetState() const;
    // Stops the worker for good: the port is its owner's again. Requests made after this fail
    // as cancelled. Safe while a result of this object is being handed over.
    void Shutdown();

    // Told, in turn with the other messages, of a request noise made on the line that changes
    // an analyser, whichever request it came from.
    void SetNoiseHandler(std::function<void(const CZarnRequest&)> handler) {
        m_noiseHandler = std::move(handler);
    }

    // What the status bar says about the line, empty when it has nothing to say.
    QString GetStatusText() const;
    // The message of a request that failed because the line is lost: no advice about the
    // analyser helps then.
    std::string GetLostLineText() const;
    // A failed request's message: the lost line's where that is why, the line service's refusal
    // naming the station (strStation) where it refused, else the request's own.
    std::string FailureText(const Result& result, const std::string& strOwn,
                            const std::string& strStation = std::string()) const {
        if (result.outcome == Outcome::lineDown) {
            return GetLostLineText();
        }
        return result.error == ZarnError::refused ? RefusalText(result, strStation) : strOwn;
    }
    // "STATION: refused by the line service: WHO may only read."
    static std::string RefusalText(const Result& result, const std::string& strStation);
    // More about it, for the tool tip: why the port is not open.
    QString GetStatusDetail() const;
    // Why the last open failed (an errno value or the port's own code), 0 when it did not.
    unsigned long GetOpenError() const { return m_nOpenError; }
    // Nothing queued, running or waiting to be handed over; for tests and the benchmark.
    bool IsIdle() const;

signals:
    void StatusChanged();
    // The line was lost, or opened again.
    void LineStateChanged(CLineWorker::LineState state);

private:
    friend class CLineOperation;
    void Remove(CLineOperation* pOperation);
    // Hands a function from the line's thread to this one. What the line wrote before is
    // seen here: the hand-over goes through a lock, and a wake-up on an event descriptor.
    void SendHere(std::function<void()> fn);
    void DrainInbox();
    // Hands over the operator's results one at a time.
    void RunInTurn(QPointer<QObject> pContext, std::function<void()> fn);
    void OnLineState(CLineWorker::LineState state, const std::string& strName);

    bool IsClosedByFailure() const;
    void OnOpened(bool bOpened, const std::string& strName, const std::string& strProblem,
                  unsigned long nError);

    CZarnPort& m_port;
    int m_nWakeFd = -1;
    QSocketNotifier* m_pWake = nullptr;
    std::mutex m_inboxMutex;
    std::deque<std::function<void()>> m_inbox;
    std::unique_ptr<CLineWorker> m_pWorker;
    std::vector<CLineOperation*> m_operations;
    struct CPending {
        QPointer<QObject> context;
        std::function<void(const Result&)> onDone;
        bool bInTurn = false;
    };
    void Complete(quint64 nID, const Result& result);

    std::map<quint64, CPending> m_pending; // posted, not yet handed over
    std::function<void(const CZarnRequest&)> m_noiseHandler;
    quint64 m_nNextID = 0;
    std::deque<std::pair<QPointer<QObject>, std::function<void()>>> m_turns;
    bool m_bInTurn = false;
    CLineWorker::LineState m_lineState;
    std::string m_strLineName;
    int m_nOpening = 0;             // opens asked for and not yet come back
    std::string m_strOpening;       // the last of them
    std::string m_strOpenProblem;   // why the last open failed; empty once one succeeded
    unsigned long m_nOpenError = 0; // its error code, 0 once one succeeded
};
