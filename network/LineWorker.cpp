#include "network/LineWorker.h"

#include "network/ZarnPort.h"

CLineWorker::CLineWorker(CZarnPort& port, Options options)
    : m_port(port), m_options(options), m_strPortName(port.GetCommPort()) {
    m_state =
        port.GetPortHandle() != lintaro::INVALID_HANDLE_VALUE ? LineState::open : LineState::closed;
    m_thread = std::thread([this] { Run(); });
}

CLineWorker::~CLineWorker() {
    std::vector<Entry> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
        for (auto* queue : {&m_operator, &m_background}) {
            for (Entry& entry : *queue) {
                if (entry.task.pCancel) {
                    entry.task.pCancel->Cancel();
                }
                dropped.push_back(std::move(entry));
            }
            queue->clear();
        }
    }
    m_wake.notify_all();
    m_thread.join();
    // Whoever waits on a queued task is told it will never run; after the running one, so the
    // completions keep the order of the queue.
    for (Entry& entry : dropped) {
        if (entry.task.onDone) {
            entry.task.onDone(Result::Of(Outcome::cancelled, ZarnError::none));
        }
    }
}

void CLineWorker::Post(Task task) {
    {
        std::unique_lock lock(m_mutex);
        if (m_bStop) {
            lock.unlock();
            if (task.onDone) {
                task.onDone(Result::Of(Outcome::cancelled, ZarnError::none));
            }
            return;
        }
        auto& queue = task.priority == Priority::operatorRequest ? m_operator : m_background;
        queue.push_back(Entry{std::move(task), false});
    }
    m_wake.notify_all();
}

bool CLineWorker::RunNowIfIdle(Task& task) {
    {
        std::lock_guard lock(m_mutex);
        if (m_bStop || m_bRunning || !m_operator.empty() || !m_background.empty() ||
            m_state != LineState::open) {
            return false;
        }
        m_bRunning = m_bRunningElsewhere = true;
    }
    Entry entry{std::move(task), false};
    const Result result = Execute(entry);
    if (entry.task.onDone) {
        entry.task.onDone(result);
    }
    entry = Entry{};
    bool bWake = false;
    {
        std::lock_guard lock(m_mutex);
        m_bRunning = m_bRunningElsewhere = false;
        // What was posted meanwhile is the worker's now, and so is a line lost meanwhile.
        bWake = !m_operator.empty() || !m_background.empty() || m_state != LineState::open;
    }
    if (bWake) {
        m_wake.notify_all();
    }
    return true;
}

void CLineWorker::OpenPort(const std::string& strName, std::function<void(bool)> onDone) {
    Task task;
    task.steps.push_back(
        [strName](CZarnPort& port) { return port.ChangeComPort(strName.c_str()) != 0; });
    task.onDone = [onDone = std::move(onDone)](const Result& result) {
        if (onDone) {
            onDone(result.outcome == Outcome::done);
        }
    };
    {
        std::unique_lock lock(m_mutex);
        if (m_bStop) {
            lock.unlock();
            task.onDone(Result::Of(Outcome::cancelled, ZarnError::none));
            return;
        }
        m_operator.push_back(Entry{std::move(task), true});
    }
    m_wake.notify_all();
}

void CLineWorker::SetStateObserver(std::function<void(LineState, const std::string&)> observer) {
    std::lock_guard lock(m_mutex);
    m_observer = std::move(observer);
}

CLineWorker::LineState CLineWorker::GetState() const {
    std::lock_guard lock(m_mutex);
    return m_state;
}

std::string CLineWorker::GetPortName() const {
    std::lock_guard lock(m_mutex);
    return m_strPortName;
}

std::size_t CLineWorker::GetPending() const {
    std::lock_guard lock(m_mutex);
    return m_operator.size() + m_background.size() + (m_bRunning ? 1 : 0);
}

bool CLineWorker::TakeNext(std::unique_lock<std::mutex>& lock, Entry& entry) {
    for (;;) {
        if (m_bStop) {
            return false;
        }
        if (m_bRunningElsewhere) {
            m_wake.wait(lock);
            continue;
        }
        if (!m_operator.empty()) {
            entry = std::move(m_operator.front());
            m_operator.pop_front();
            return true;
        }
        // Background work waits while an operator's request is queued or running; the worker
        // runs one task at a time, so an empty operator queue is enough here.
        if (!m_background.empty()) {
            entry = std::move(m_background.front());
            m_background.pop_front();
            return true;
        }
        if (m_state == LineState::lost) {
            auto now = std::chrono::steady_clock::now();
            if (now >= m_nextReconnect) {
                lock.unlock();
                TryReconnect();
                lock.lock();
                continue;
            }
            m_wake.wait_until(lock, m_nextReconnect);
        } else {
            m_wake.wait(lock);
        }
    }
}

void CLineWorker::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        Entry entry;
        if (!TakeNext(lock, entry)) {
            return;
        }
        m_bRunning = true;
        lock.unlock();
        Result result = Execute(entry);
        if (entry.task.onDone) {
            entry.task.onDone(result);
        }
        // The task's callbacks go before the worker takes the lock again.
        entry = Entry{};
        lock.lock();
        m_bRunning = false;
    }
}

CLineWorker::Result CLineWorker::Execute(Entry& entry) {
    Result result;
    for (const Step& step : entry.task.steps) {
        if ((entry.task.pCancel && entry.task.pCancel->IsCancelled()) || [this] {
                std::lock_guard lock(m_mutex);
                return m_bStop;
            }()) {
            result.outcome = Outcome::cancelled;
            return result;
        }
        if (!entry.bControl && GetState() == LineState::lost) {
            // Nothing can reach the line: fail at once rather than wait out the time-outs.
            result.outcome = Outcome::lineDown;
            result.error = ZarnError::lineLost;
            return result;
        }
        const bool ok = step && step(m_port);
        if (entry.bControl) {
            std::string name = m_port.GetCommPort();
            {
                std::lock_guard lock(m_mutex);
                m_strPortName = std::move(name);
            }
            // A name that fails while the line is lost is retried like the lost one.
            if (ok || GetState() != LineState::lost) {
                SetState(ok ? LineState::open : LineState::closed);
            } else {
                std::lock_guard lock(m_mutex);
                m_nextReconnect = std::chrono::steady_clock::now() + m_options.reconnectPeriod;
            }
        } else if (m_port.IsLineLost()) {
            // The device went away under this exchange: close it and start reconnecting.
            m_port.ClosePort();
            {
                std::lock_guard lock(m_mutex);
                m_nextReconnect = std::chrono::steady_clock::now() + m_options.reconnectPeriod;
            }
            SetState(LineState::lost);
        }
        if (!ok) {
            result.carried = m_port.GetCarriedRequest();
            const bool lost = GetState() == LineState::lost;
            result.outcome = lost ? Outcome::lineDown : Outcome::failed;
            result.error = lost ? ZarnError::lineLost : m_port.GetLastError();
            result.strErrorText = m_port.GetLastErrorText();
            return result;
        }
        ++result.nStepsDone;
    }
    return result;
}

void CLineWorker::SetState(LineState state) {
    std::function<void(LineState, const std::string&)> observer;
    std::string name;
    {
        std::lock_guard lock(m_mutex);
        if (m_state == state) {
            return;
        }
        m_state = state;
        observer = m_observer;
        name = m_strPortName;
    }
    if (observer) {
        observer(state, name);
    }
}

void CLineWorker::TryReconnect() {
    const bool opened = m_port.SetCommPort() != 0;
    {
        std::lock_guard lock(m_mutex);
        m_nextReconnect = std::chrono::steady_clock::now() + m_options.reconnectPeriod;
    }
    if (opened) {
        SetState(LineState::open);
    } else {
        m_port.ClosePort();
    }
}
