#include "app/historyview/HistoryWorker.h"

#include "history/HistoryQuery.h"

#include <condition_variable>
#include <mutex>

struct CHistoryWorker::CShared {
    std::mutex mutex;
    std::condition_variable wake;
    Job pending;
    bool bStopped = false;
    bool bRunning = false; // a job is being run
    std::string strTarget;
    Deliver deliver;
};

void CHistoryWorker::Run(const std::shared_ptr<CShared>& pShared) {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(pShared->mutex);
            pShared->wake.wait(lock, [&] { return pShared->bStopped || pShared->pending; });
            if (pShared->bStopped) {
                return;
            }
            job = std::move(pShared->pending);
            pShared->pending = nullptr;
            pShared->bRunning = true;
        }
        // Opened for each job: a database that was away may be back, and a file replaced.
        CHistoryQuery query;
        const bool bOpen = query.Open(pShared->strTarget);
        std::function<void()> result = job(bOpen ? &query : nullptr, query.GetError());
        query.Close();
        std::lock_guard lock(pShared->mutex);
        pShared->bRunning = false;
        if (pShared->bStopped) {
            return;
        }
        if (result) {
            pShared->deliver(std::move(result));
        }
    }
}

CHistoryWorker::CHistoryWorker(std::string strTarget, Deliver deliver)
    : m_pShared(std::make_shared<CShared>()) {
    m_pShared->strTarget = std::move(strTarget);
    m_pShared->deliver = std::move(deliver);
    m_thread = std::thread(Run, m_pShared);
}

CHistoryWorker::~CHistoryWorker() {
    bool bBusy = false;
    {
        std::lock_guard lock(m_pShared->mutex);
        m_pShared->bStopped = true;
        m_pShared->pending = nullptr;
        bBusy = m_pShared->bRunning;
        m_pShared->wake.notify_all();
    }
    // An idle thread ends at once; one inside a slow query is left to end on its own.
    if (bBusy) {
        m_thread.detach();
    } else {
        m_thread.join();
    }
}

void CHistoryWorker::Post(Job job) {
    std::lock_guard lock(m_pShared->mutex);
    m_pShared->pending = std::move(job);
    m_pShared->wake.notify_all();
}
