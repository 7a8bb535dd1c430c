#include "app/history/HistoryRecorder.h"

#include "network/ZarnPort.h"
#include "network/ZarnRequest.h"
#include "records/Press.h"

#include <QPointer>
#include <QSocketNotifier>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>

CHistoryRecorder::CHistoryRecorder(QObject* pParent)
    : QObject(pParent), m_nWakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_nWakeFd >= 0) {
        m_pWake = new QSocketNotifier(m_nWakeFd, QSocketNotifier::Read, this);
        connect(m_pWake, &QSocketNotifier::activated, this, &CHistoryRecorder::DeliverStatuses);
    }
}

CHistoryRecorder::~CHistoryRecorder() {
    Close();
    delete m_pWake;
    if (m_nWakeFd >= 0) {
        ::close(m_nWakeFd);
    }
}

void CHistoryRecorder::DeliverStatuses() {
    if (m_nWakeFd >= 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(m_nWakeFd, &count, sizeof count);
    }
    std::vector<CHistoryStatus> statuses;
    {
        std::lock_guard<std::mutex> lock(m_statusMutex);
        statuses.swap(m_statuses);
    }
    for (const CHistoryStatus& status : statuses) {
        emit StatusChanged(status);
    }
}

std::shared_ptr<CHistoryStore> CHistoryRecorder::RecordingStore() const {
    // On a line service's port the service records it.
    return m_bByService ? nullptr : Store();
}

std::shared_ptr<CHistoryStore> CHistoryRecorder::Store() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pStore;
}

void CHistoryRecorder::Open(const CHistoryStore::COptions& options) {
    auto pStore = std::make_shared<CHistoryStore>();
    // The store calls from its own threads; the status goes on to this object's thread.
    QPointer<CHistoryRecorder> self(this);
    auto pTried = std::make_shared<std::atomic<bool>>(false);
    const CHistoryStore* pRaw = pStore.get();
    pStore->SetObserver([this, self, pTried, pRaw](const CHistoryStatus& status) {
        // Taking over before the status goes on, so that whoever reads it finds this store
        // taking the records.
        if (status.m_state != CHistoryStatus::State::opening && !pTried->exchange(true)) {
            Opened(pRaw);
        }
        // Handed over under a lock of ours, which a race checker sees, not inside Qt's queue.
        {
            std::lock_guard<std::mutex> lock(m_statusMutex);
            m_statuses.push_back(status);
        }
        if (m_nWakeFd >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(m_nWakeFd, &one, sizeof one);
        } else if (CHistoryRecorder* pSelf = self.data()) {
            QMetaObject::invokeMethod(pSelf, &CHistoryRecorder::DeliverStatuses,
                                      Qt::QueuedConnection);
        }
    });
    std::shared_ptr<CHistoryStore> pSuperseded;
    std::shared_ptr<CHistoryStore> pSilenced;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        pSuperseded = std::move(m_pOpening);
        if (m_pStore != nullptr && m_pStore->IsOpen()) {
            // It goes on recording until the new store is open; only the new one reports.
            pSilenced = m_pStore;
            m_pOpening = pStore;
        }
    }
    // Outside the lock: a store's observer may be waiting for it.
    if (pSilenced != nullptr) {
        pSilenced->SetObserver(nullptr);
    }
    EndLater(std::move(pSuperseded));
    pStore->Start(options);
    if (pSilenced == nullptr) {
        // Nothing is recording: the new store queues the records while it opens.
        std::shared_ptr<CHistoryStore> pOld;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            pOld = std::exchange(m_pStore, pStore);
        }
        EndLater(std::move(pOld));
    }
}

void CHistoryRecorder::EndLater(std::shared_ptr<CHistoryStore> pStore) {
    if (pStore == nullptr) {
        return;
    }
    pStore->SetObserver(nullptr);
    std::lock_guard<std::mutex> lock(m_mutex);
    CloseLater(std::move(pStore));
}

void CHistoryRecorder::Opened(const CHistoryStore* pStore) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pOpening.get() != pStore) {
        return; // superseded, or already taking the records
    }
    std::shared_ptr<CHistoryStore> pOld = std::move(m_pStore);
    m_pStore = std::move(m_pOpening);
    if (pOld != nullptr) {
        CloseLater(std::move(pOld));
    }
}

void CHistoryRecorder::CloseLater(std::shared_ptr<CHistoryStore> pStore) {
    // Stores closed before are forgotten; a store commits what it holds, then ends.
    std::erase_if(m_closing, [](const std::shared_future<void>& f) {
        return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    m_closing.push_back(
        std::async(std::launch::async, [pStore = std::move(pStore)] { pStore->Close(); }).share());
}

void CHistoryRecorder::Close() {
    std::shared_ptr<CHistoryStore> pOpening;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        pOpening = std::move(m_pOpening);
    }
    EndLater(std::move(pOpening));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // A line step that holds the store still may queue into it: it takes nothing once
        // closed.
        if (m_pStore != nullptr) {
            CloseLater(std::move(m_pStore));
        }
    }
    for (;;) {
        std::vector<std::shared_future<void>> closing;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            closing.swap(m_closing);
        }
        if (closing.empty()) {
            break;
        }
        for (const std::shared_future<void>& f : closing) {
            f.wait();
        }
    }
}

bool CHistoryRecorder::IsOpen() const {
    const std::shared_ptr<CHistoryStore> pStore = Store();
    return pStore != nullptr && pStore->IsOpen();
}

CHistoryStatus CHistoryRecorder::GetStatus() const {
    std::shared_ptr<CHistoryStore> pStore;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        pStore = m_pOpening != nullptr ? m_pOpening : m_pStore;
    }
    return pStore != nullptr ? pStore->GetStatus() : CHistoryStatus();
}

bool CHistoryRecorder::WaitIdle(int nTimeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    auto left = [&] {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
        return static_cast<int>(std::max<long long>(ms, 0));
    };
    std::shared_ptr<CHistoryStore> pOpening;
    std::vector<std::shared_future<void>> closing;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        pOpening = m_pOpening;
    }
    // Once the new store is idle it has taken over, and the old one is closing.
    if (pOpening != nullptr && !pOpening->WaitIdle(left())) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        closing = m_closing;
    }
    for (const std::shared_future<void>& f : closing) {
        if (f.wait_until(deadline) != std::future_status::ready) {
            return false;
        }
    }
    const std::shared_ptr<CHistoryStore> pStore = Store();
    return pStore == nullptr || pStore->WaitIdle(left());
}

CHistoryStation CHistoryRecorder::StationOf(const CPress& press) {
    return CHistoryStation::Of(press);
}

CHistoryStation CHistoryRecorder::StationOf(int nNodeID, const std::string& strFallbackName) const {
    if (const CPress* pPress = m_findStation ? m_findStation(nNodeID) : nullptr) {
        return StationOf(*pPress);
    }
    // A station that has left the layout keeps the name its window knew.
    CHistoryStation station;
    station.m_nNodeID = nNodeID;
    station.m_strName = strFallbackName;
    return station;
}

void CHistoryRecorder::RecordStatistics(const CHistoryStation& station, const CStats& stats,
                                        CHistoryStore::Source source) {
    if (const auto pStore = RecordingStore()) {
        pStore->RecordStatistics(station, stats, source);
    }
}

void CHistoryRecorder::RecordCurve(const CHistoryStation& station, const CCurveRecord& curve) {
    if (const auto pStore = RecordingStore()) {
        pStore->RecordCurve(station, curve);
    }
}

void CHistoryRecorder::RecordBatch(const CHistoryStation& station, const CBatchRecord& batch) {
    if (const auto pStore = RecordingStore()) {
        pStore->RecordBatch(station, batch);
    }
}

void CHistoryRecorder::RecordChange(const CHistoryStation& station, const CHistoryChange& change) {
    if (const auto pStore = RecordingStore()) {
        pStore->RecordChange(station, change);
    }
}

CLineWorker::Step CHistoryRecorder::ChangeStep(const CHistoryStation& station,
                                               CHistoryChange::Parameter parameter,
                                               CLineWorker::Step order) {
    // The user is the one who gave the order, taken now rather than on the line's thread.
    CHistoryChange change;
    change.m_parameter = parameter;
    change.m_strUser = CHistoryStore::CurrentUser();
    return RecordedStep(
        std::move(change), std::move(order),
        [this, station](const CHistoryChange& done) { RecordChange(station, done); });
}

CLineWorker::Step
CHistoryRecorder::RecordedStep(CHistoryChange change, CLineWorker::Step order,
                               std::function<void(const CHistoryChange&)> record) {
    return [change = std::move(change), order = std::move(order),
            record = std::move(record)](CZarnPort& port) {
        const bool bOk = order(port);
        if (record) {
            CHistoryChange done = change;
            done.m_bOk = bOk;
            if (!bOk) {
                done.m_strError = port.GetLastErrorText();
            }
            record(done);
        }
        return bOk;
    };
}

bool CHistoryRecorder::NoiseChange(const CZarnRequest& carried, CHistoryChange& change) {
    return CHistoryChange::FromNoise(carried, change);
}

std::string CHistoryRecorder::ShortText(const CHistoryStatus& status) {
    using State = CHistoryStatus::State;
    using Server = CHistoryStatus::Server;
    std::string text;
    switch (status.m_state) {
    case State::off:
        return "History: off";
    case State::opening:
        text = "History: opening";
        break;
    case State::failed:
        return status.m_strProblem.find("damaged") != std::string::npos ||
                       status.m_strProblem.find("cannot use") != std::string::npos
                   ? "History: off (unusable file)"
                   : "History: off (file cannot be opened)";
    case State::holding:
        text = status.m_strProblem.find("full") != std::string::npos
                   ? "History: disk full, " + std::to_string(status.m_nHeld) + " held"
                   : "History: file not writable, " + std::to_string(status.m_nHeld) + " held";
        break;
    case State::ok:
        switch (status.m_server) {
        case Server::none: {
            const std::string& path = status.m_strLocalPath;
            text = path == CHistoryStore::DefaultLocalPath()
                       ? "History: local"
                       : "History: " + path.substr(path.find_last_of('/') + 1);
            break;
        }
        case Server::connecting:
            text = "History: connecting to the plant database";
            break;
        case Server::online:
            text = "History: plant database";
            break;
        case Server::unreachable:
            text = "History: plant database unreachable";
            break;
        case Server::refused:
            text = "History: plant database refused";
            break;
        }
        break;
    }
    if (status.m_server != Server::none && status.m_server != Server::online &&
        status.m_nWaiting != 0) {
        text += ", " + std::to_string(status.m_nWaiting) + " waiting";
    }
    if (status.m_nUnreadable != 0) {
        text += ", " + std::to_string(status.m_nUnreadable) + " unreadable";
    }
    if (status.m_nDropped != 0) {
        text += ", " + std::to_string(status.m_nDropped) + " lost";
    }
    return text;
}
