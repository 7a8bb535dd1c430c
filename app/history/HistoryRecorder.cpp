#include "app/history/HistoryRecorder.h"

#include "network/ZarnPort.h"
#include "network/ZarnRequest.h"
#include "records/Press.h"

#include <QPointer>

CHistoryRecorder::CHistoryRecorder(QObject* pParent) : QObject(pParent) {}

CHistoryRecorder::~CHistoryRecorder() {
    Close();
}

std::shared_ptr<CHistoryStore> CHistoryRecorder::Store() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pStore;
}

bool CHistoryRecorder::Open(const CHistoryStore::COptions& options) {
    // The store in use goes on taking records until the new one is open, so a reopen loses
    // nothing; it then commits what it holds and ends without a word to the status bar.
    auto pStore = std::make_shared<CHistoryStore>();
    // The store calls from its own threads; the status goes on to this object's thread.
    QPointer<CHistoryRecorder> self(this);
    pStore->SetObserver([self](const CHistoryStatus& status) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, status] {
                if (self != nullptr) {
                    emit self->StatusChanged(status);
                }
            },
            Qt::QueuedConnection);
    });
    const bool bOpened = pStore->Open(options);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pStore.swap(pStore);
    }
    if (pStore != nullptr) {
        pStore->SetObserver(nullptr);
        pStore->Close();
    }
    return bOpened;
}

void CHistoryRecorder::Close() {
    std::shared_ptr<CHistoryStore> pStore;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        pStore.swap(m_pStore);
    }
    // A line step that holds the store still may queue into it: it takes nothing once closed.
    if (pStore != nullptr) {
        pStore->Close();
    }
}

bool CHistoryRecorder::IsOpen() const {
    const std::shared_ptr<CHistoryStore> pStore = Store();
    return pStore != nullptr && pStore->IsOpen();
}

CHistoryStatus CHistoryRecorder::GetStatus() const {
    const std::shared_ptr<CHistoryStore> pStore = Store();
    return pStore != nullptr ? pStore->GetStatus() : CHistoryStatus();
}

bool CHistoryRecorder::WaitIdle(int nTimeoutMs) const {
    const std::shared_ptr<CHistoryStore> pStore = Store();
    return pStore == nullptr || pStore->WaitIdle(nTimeoutMs);
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
    if (const auto pStore = Store()) {
        pStore->RecordStatistics(station, stats, source);
    }
}

void CHistoryRecorder::RecordCurve(const CHistoryStation& station, const CCurveRecord& curve) {
    if (const auto pStore = Store()) {
        pStore->RecordCurve(station, curve);
    }
}

void CHistoryRecorder::RecordBatch(const CHistoryStation& station, const CBatchRecord& batch) {
    if (const auto pStore = Store()) {
        pStore->RecordBatch(station, batch);
    }
}

void CHistoryRecorder::RecordChange(const CHistoryStation& station, const CHistoryChange& change) {
    if (const auto pStore = Store()) {
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
    if (status.m_nDropped != 0) {
        text += ", " + std::to_string(status.m_nDropped) + " lost";
    }
    return text;
}
