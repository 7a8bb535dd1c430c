#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

class CHistoryQuery;

// Reads the history on a thread of its own, so that a slow database never holds up the
// windows. One job runs at a time; a job posted while another waits replaces it (the newer
// question makes the older one moot). A finished job's result is handed to the deliverer,
// which passes it on to the window thread, until the worker is destroyed: from then on
// nothing more is delivered, and a job still running ends on its own without waiting for it.
class CHistoryWorker {
public:
    // Runs on the worker's thread with a query opened on the target for it, or with none and
    // the reason when the history cannot be read. Returns what the window thread is to do.
    using Job =
        std::function<std::function<void()>(CHistoryQuery* pQuery, const std::string& strError)>;
    // Called on the worker's thread with each result; it must only post it on.
    using Deliver = std::function<void(std::function<void()>)>;

    CHistoryWorker(std::string strTarget, Deliver deliver);
    ~CHistoryWorker();
    CHistoryWorker(const CHistoryWorker&) = delete;
    CHistoryWorker& operator=(const CHistoryWorker&) = delete;

    void Post(Job job);

private:
    struct CShared;
    // The thread's loop; the state outlives the object while a job still runs.
    static void Run(const std::shared_ptr<CShared>& pShared);
    std::shared_ptr<CShared> m_pShared;
    std::thread m_thread;
};
