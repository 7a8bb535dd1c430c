#include "app/shell/LineClient.h"

#include "network/ZarnPort.h"
#include "serial/CommApi.h"

#include <QCoreApplication>
#include <QCursor>
#include <QSocketNotifier>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>

void CLineJob::Finish() {
    pOperation.reset();
    if (auto fn = std::exchange(onFinished, nullptr)) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [fn, ok = bOk, cancelled = bCancelled, why = strRefusal] { fn(ok, cancelled, why); },
            Qt::QueuedConnection);
    }
}

CLineOperation::CLineOperation(CLineClient* pClient, std::string strText)
    : m_pClient(pClient), m_strText(std::move(strText)) {}

CLineOperation::~CLineOperation() {
    // Let go of before it ended: whoever drove it is gone, so nothing more is asked.
    Cancel();
    End();
}

void CLineOperation::SetText(const std::string& strText) {
    m_strText = strText;
    if (m_pClient != nullptr && !m_bEnded) {
        emit m_pClient->StatusChanged();
    }
}

void CLineOperation::AddBusyWindow(QWidget* pWidget) {
    if (pWidget == nullptr || m_bEnded) {
        return;
    }
    for (const QPointer<QWidget>& p : m_busy) {
        if (p == pWidget) {
            return;
        }
    }
    // The arrow with a busy sign: the window stays usable meanwhile.
    pWidget->setCursor(QCursor(Qt::BusyCursor));
    m_busy.emplace_back(pWidget);
}

void CLineOperation::End() {
    if (m_bEnded) {
        return;
    }
    m_bEnded = true;
    for (const QPointer<QWidget>& p : m_busy) {
        if (p != nullptr) {
            p->unsetCursor();
        }
    }
    m_busy.clear();
    if (m_pClient != nullptr) {
        m_pClient->Remove(this);
    }
}

CLineClient::CLineClient(CZarnPort& port, QObject* pParent)
    : QObject(pParent), m_port(port), m_nWakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_nWakeFd >= 0) {
        m_pWake = new QSocketNotifier(m_nWakeFd, QSocketNotifier::Read, this);
        connect(m_pWake, &QSocketNotifier::activated, this, &CLineClient::DrainInbox);
    }
    m_pWorker = std::make_unique<CLineWorker>(port);
    m_lineState = m_pWorker->GetState();
    m_strLineName = m_pWorker->GetPortName();
    m_pWorker->SetStateObserver([this](CLineWorker::LineState state, const std::string& name) {
        SendHere([this, state, name] { OnLineState(state, name); });
    });
}

CLineClient::~CLineClient() {
    // What the line still had to hand over dies with this object.
    m_pWorker.reset();
    if (m_nWakeFd >= 0) {
        ::close(m_nWakeFd);
    }
    for (CLineOperation* pOperation : m_operations) {
        pOperation->m_pClient = nullptr;
    }
}

void CLineClient::Post(QObject* pContext, std::vector<Step> steps,
                       std::function<void(const Result&)> onDone,
                       const std::shared_ptr<CLineOperation>& pOperation,
                       CLineWorker::Priority priority) {
    CLineWorker::Task task;
    task.priority = pOperation != nullptr ? priority : CLineWorker::Priority::background;
    task.steps = std::move(steps);
    task.pCancel = pOperation != nullptr ? pOperation->GetCancel() : nullptr;
    // The completion stays on this thread: what it holds (operations, windows) must never be
    // let go of on the worker's.
    const quint64 nID = ++m_nNextID;
    m_pending.emplace(
        nID, CPending{QPointer<QObject>(pContext), std::move(onDone), pOperation != nullptr});
    task.onDone = [this, nID](const Result& result) {
        SendHere([this, nID, result] { Complete(nID, result); });
    };
    if (m_pWorker == nullptr) {
        SendHere([this, nID] { Complete(nID, Result::Of(Outcome::cancelled, ZarnError::none)); });
        return;
    }
    m_pWorker->Post(std::move(task));
}

void CLineClient::Shutdown() {
    if (m_pWorker != nullptr) {
        m_strLineName = m_pWorker->GetPortName();
        m_pWorker.reset();
    }
}

std::string CLineClient::GetPortName() const {
    return m_pWorker != nullptr ? m_pWorker->GetPortName() : m_strLineName;
}

CLineWorker::LineState CLineClient::GetState() const {
    return m_pWorker != nullptr ? m_pWorker->GetState() : m_lineState;
}

void CLineClient::SendHere(std::function<void()> fn) {
    {
        std::lock_guard lock(m_inboxMutex);
        m_inbox.push_back(std::move(fn));
    }
    if (m_nWakeFd >= 0) {
        const std::uint64_t one = 1;
        // A full counter still wakes the reader; nothing else can fail here.
        [[maybe_unused]] ssize_t n = ::write(m_nWakeFd, &one, sizeof one);
    } else {
        QMetaObject::invokeMethod(this, &CLineClient::DrainInbox, Qt::QueuedConnection);
    }
}

void CLineClient::DrainInbox() {
    if (m_nWakeFd >= 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] ssize_t n = ::read(m_nWakeFd, &count, sizeof count);
    }
    // One at a time from the shared queue: a hand-over that shows a message runs a nested
    // loop, which must take the next ones in their order.
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard lock(m_inboxMutex);
            if (m_inbox.empty()) {
                return;
            }
            fn = std::move(m_inbox.front());
            m_inbox.pop_front();
        }
        fn();
    }
}

void CLineClient::Complete(quint64 nID, const Result& result) {
    auto it = m_pending.find(nID);
    if (it == m_pending.end()) {
        return;
    }
    CPending pending = std::move(it->second);
    m_pending.erase(it);
    if (result.carried && result.carried->ChangesAnalyser() && m_noiseHandler) {
        RunInTurn(QPointer<QObject>(this),
                  [handler = m_noiseHandler, carried = *result.carried] { handler(carried); });
    }
    if (!pending.onDone) {
        return;
    }
    if (pending.bInTurn) {
        RunInTurn(pending.context,
                  [onDone = std::move(pending.onDone), result] { onDone(result); });
    } else if (pending.context != nullptr) {
        pending.onDone(result);
    }
}

void CLineClient::Deliver(QPointer<QObject> pContext, std::function<void()> fn) {
    SendHere([context = std::move(pContext), fn = std::move(fn)] {
        if (context != nullptr) {
            fn();
        }
    });
}

void CLineClient::RunInTurn(QPointer<QObject> pContext, std::function<void()> fn) {
    m_turns.emplace_back(std::move(pContext), std::move(fn));
    if (m_bInTurn) {
        return; // the one in turn shows a message; this waits until it is closed
    }
    m_bInTurn = true;
    while (!m_turns.empty()) {
        auto [context, next] = std::move(m_turns.front());
        m_turns.pop_front();
        if (context != nullptr) {
            next();
        }
    }
    m_bInTurn = false;
}

std::shared_ptr<CLineOperation> CLineClient::BeginOperation(const std::string& strText) {
    std::shared_ptr<CLineOperation> pOperation(new CLineOperation(this, strText));
    m_operations.push_back(pOperation.get());
    emit StatusChanged();
    return pOperation;
}

void CLineClient::Remove(CLineOperation* pOperation) {
    auto it = std::find(m_operations.begin(), m_operations.end(), pOperation);
    if (it != m_operations.end()) {
        m_operations.erase(it);
        emit StatusChanged();
    }
}

void CLineClient::CancelRunning() {
    for (CLineOperation* pOperation : m_operations) {
        if (!pOperation->IsCancelled()) {
            pOperation->Cancel();
            return;
        }
    }
}

void CLineClient::OpenPort(const std::string& strName, std::function<void(bool)> onDone) {
    const quint64 nID = ++m_nNextID;
    m_pending.emplace(nID, CPending{QPointer<QObject>(this),
                                    [onDone = std::move(onDone)](const Result& result) {
                                        if (onDone) {
                                            onDone(result.outcome == Outcome::done);
                                        }
                                    },
                                    true});
    if (m_pWorker == nullptr) {
        SendHere(
            [this, nID] { Complete(nID, Result::Of(Outcome::failed, ZarnError::portClosed)); });
        return;
    }
    ++m_nOpening;
    m_strOpening = strName;
    emit StatusChanged();
    m_pWorker->OpenPort(strName, [this, nID, strName](bool bOpened) {
        // Still on the line's thread, before its next task: the port is the worker's to read.
        const unsigned long nError = bOpened ? 0 : m_port.GetOpenError();
        const std::string strProblem = bOpened ? std::string() : lintaro::DescribeOpenError(nError);
        Result result;
        result.outcome = bOpened ? Outcome::done : Outcome::failed;
        SendHere([this, nID, result, strName, strProblem, nError] {
            OnOpened(result.outcome == Outcome::done, strName, strProblem, nError);
            Complete(nID, result);
        });
    });
}

void CLineClient::OnOpened(bool bOpened, const std::string& strName, const std::string& strProblem,
                           unsigned long nError) {
    m_nOpenError = bOpened ? 0 : nError;
    --m_nOpening;
    m_strLineName = strName;
    m_strOpenProblem = bOpened ? std::string() : strProblem;
    emit StatusChanged();
}

std::string CLineClient::GetChosenPortName() const {
    return m_nOpening > 0 ? m_strOpening : GetPortName();
}

void CLineClient::OnLineState(CLineWorker::LineState state, const std::string& strName) {
    const bool bChanged = state != m_lineState;
    m_lineState = state;
    m_strLineName = strName;
    emit StatusChanged();
    if (bChanged) {
        emit LineStateChanged(state);
    }
}

std::string CLineClient::RefusalText(const Result& result, const std::string& strStation) {
    std::string text = result.strErrorText.empty() ? std::string(ZarnErrorText(result.error))
                                                   : result.strErrorText;
    if (!strStation.empty()) {
        text = strStation + ": " + text;
    } else if (!text.empty()) {
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    }
    return text + ".";
}

std::string CLineClient::GetLostLineText() const {
    const auto period = CLineWorker::Options{}.reconnectPeriod;
    const long long nMs = period.count();
    const std::string every =
        nMs % 1000 == 0 ? std::to_string(nMs / 1000) + " s" : std::to_string(nMs) + " ms";
    return "The line is lost (" + GetPortName() +
           "). Requests fail until it is back; the program reopens it every " + every + ".";
}

QString CLineClient::GetStatusText() const {
    if (m_nOpening > 0) {
        return QStringLiteral("Opening %1...").arg(QString::fromStdString(m_strOpening));
    }
    if (m_lineState == CLineWorker::LineState::lost) {
        return QStringLiteral("Line lost: %1, reconnecting")
            .arg(QString::fromStdString(m_strLineName));
    }
    for (CLineOperation* pOperation : m_operations) {
        if (!pOperation->IsCancelled()) {
            return QString::fromStdString(pOperation->GetText());
        }
    }
    if (!m_operations.empty()) {
        return QStringLiteral("Cancelling...");
    }
    // Every request fails until another port is chosen: say so while nothing else is said.
    if (IsClosedByFailure()) {
        return QStringLiteral("Port not open: %1").arg(QString::fromStdString(m_strLineName));
    }
    return QString();
}

QString CLineClient::GetStatusDetail() const {
    if (m_nOpening > 0 || !IsClosedByFailure()) {
        return QString();
    }
    return QStringLiteral("%1 could not be opened: %2")
        .arg(QString::fromStdString(m_strLineName), QString::fromStdString(m_strOpenProblem));
}

bool CLineClient::IsClosedByFailure() const {
    return m_lineState == CLineWorker::LineState::closed && !m_strOpenProblem.empty();
}

bool CLineClient::IsIdle() const {
    return m_operations.empty() && m_pending.empty() && m_turns.empty() && !m_bInTurn &&
           (m_pWorker == nullptr || m_pWorker->GetPending() == 0);
}
