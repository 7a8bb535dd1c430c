#include "app/network/GroupRun.h"

#include "app/network/Press.h"
#include "network/ZarnPort.h"

#include <QPointer>
#include <QWidget>

CGroupRun::CGroupRun(CLineClient& line, std::vector<CPress*> stations, std::string strTitle,
                     StillThere stillThere, Action action, QWidget* pBusy)
    : QObject(pBusy), m_line(line), m_stations(std::move(stations)),
      m_strTitle(std::move(strTitle)), m_stillThere(std::move(stillThere)),
      m_action(std::move(action)), m_pOperation(m_line.BeginOperation(m_strTitle)) {
    m_pOperation->AddBusyWindow(pBusy);
}

void CGroupRun::Start() {
    Next();
}

void CGroupRun::Next() {
    while (m_nNext < m_stations.size() && !m_pOperation->IsCancelled() &&
           !(m_stillThere && m_stillThere(m_stations[m_nNext]))) {
        ++m_nNext; // deleted from the layout meanwhile
    }
    if (m_nNext >= m_stations.size() || m_pOperation->IsCancelled()) {
        m_pOperation->End();
        deleteLater();
        return;
    }
    CPress* pPress = m_stations[m_nNext];
    m_pOperation->SetText(m_strTitle + ": " + std::to_string(m_nNext + 1) + " of " +
                          std::to_string(m_stations.size()));
    const auto node = static_cast<unsigned char>(pPress->GetNodeID());
    m_line.Post(
        this, {[node](CZarnPort& port) { return port.RequestACK(node) != 0; }},
        [this, pPress](const CLineClient::Result& result) {
            ++m_nNext;
            if (result.outcome != CLineClient::Outcome::done || m_pOperation->IsCancelled() ||
                (m_stillThere && !m_stillThere(pPress))) {
                Next(); // silent, cancelled or gone: on to the next, or the end
                return;
            }
            m_action(pPress, CLineJob(m_pOperation, [self = QPointer<CGroupRun>(this)] {
                         if (self != nullptr) {
                             self->Next();
                         }
                     }));
        },
        m_pOperation);
}
