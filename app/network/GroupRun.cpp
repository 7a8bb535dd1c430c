#include "app/network/GroupRun.h"

#include "app/framework/MessageService.h"
#include "network/ZarnPort.h"
#include "records/Press.h"

#include <QPointer>
#include <QWidget>

CGroupRun::CGroupRun(CLineClient& line, const std::vector<CPress*>& stations, std::string strTitle,
                     Action action, QWidget* pBusy)
    : QObject(pBusy), m_line(line), m_strTitle(std::move(strTitle)), m_action(std::move(action)),
      m_pOperation(m_line.BeginOperation(m_strTitle)) {
    for (CPress* pPress : stations) {
        m_stations.push_back({pPress, Label(*pPress)});
    }
    m_pOperation->AddBusyWindow(pBusy);
}

void CGroupRun::OnPressRemoved(CPress* pPress) {
    for (CStation& station : m_stations) {
        if (station.pPress == pPress) {
            station.strLabel = Label(*pPress); // as it was last called
            station.pPress = nullptr;
        }
    }
}

void CGroupRun::Start() {
    Next();
}

void CGroupRun::Next() {
    while (m_nNext < m_stations.size() && !m_pOperation->IsCancelled() &&
           m_stations[m_nNext].pPress == nullptr) {
        m_deleted.push_back(m_stations[m_nNext].strLabel);
        ++m_nNext;
    }
    if (m_nNext >= m_stations.size() || m_pOperation->IsCancelled()) {
        Finish();
        return;
    }
    const std::size_t nIndex = m_nNext;
    m_pOperation->SetText(m_strTitle + ": " + std::to_string(nIndex + 1) + " of " +
                          std::to_string(m_stations.size()));
    const auto node = static_cast<unsigned char>(m_stations[nIndex].pPress->GetNodeID());
    m_line.Post(
        this, {[node](CZarnPort& port) { return port.RequestACK(node) != 0; }},
        [this, nIndex](const CLineClient::Result& result) {
            ++m_nNext;
            CStation& station = m_stations[nIndex];
            if (station.pPress == nullptr) {
                m_deleted.push_back(station.strLabel);
                Next();
                return;
            }
            if (result.outcome != CLineClient::Outcome::done || m_pOperation->IsCancelled()) {
                if (result.outcome == CLineClient::Outcome::lineDown) {
                    m_strLostLine = m_line.FailureText(result, {});
                    m_lost.push_back(Label(*station.pPress));
                } else if (result.outcome == CLineClient::Outcome::failed) {
                    m_silent.push_back(Label(*station.pPress));
                }
                Next(); // silent, cancelled or lost: on to the next, or the end
                return;
            }
            std::string label = Label(*station.pPress);
            m_nCurrentNode = station.pPress->GetNodeID();
            m_action(station.pPress, CLineJob(m_pOperation, [self = QPointer<CGroupRun>(this),
                                                             label](bool bOk, bool bCancelled,
                                                                    const std::string& strWhy) {
                         if (self == nullptr) {
                             return;
                         }
                         if (bOk) {
                             ++self->m_nDone;
                             self->m_doneNodes.push_back(self->m_nCurrentNode);
                         } else if (bCancelled) {
                             self->m_cancelled.push_back(label);
                         } else if (!strWhy.empty()) {
                             self->m_refused.push_back(label);
                             self->m_strRefusal = strWhy;
                         } else {
                             self->m_failed.push_back(label);
                         }
                         self->Next();
                     }));
        },
        m_pOperation);
}

std::string CGroupRun::Label(const CPress& press) {
    return press.GetName() + " (node " + std::to_string(press.GetNodeID()) + ")";
}

void CGroupRun::Finish() {
    const bool bCancelled = m_pOperation->IsCancelled();
    m_pOperation->End();
    std::string text = m_strTitle + (bCancelled ? " (cancelled): " : ": ") +
                       std::to_string(m_nDone) + " of " + std::to_string(m_stations.size()) +
                       " stations done.";
    if (m_onEnded) {
        const bool bAll = !bCancelled && m_nDone == m_stations.size();
        m_onEnded(m_doneNodes, bAll ? text : std::string());
    }
    if (!m_silent.empty() || !m_failed.empty() || !m_refused.empty() || !m_lost.empty() ||
        !m_cancelled.empty() || !m_deleted.empty()) {
        // One summary of what was left out, after the messages of the stations themselves.
        if (!m_strLostLine.empty()) {
            text += "\n\n" + m_strLostLine;
        }
        auto list = [&text](const char* pszHeading, const std::vector<std::string>& names) {
            if (names.empty()) {
                return;
            }
            text += std::string("\n\n") + pszHeading;
            for (const std::string& name : names) {
                text += "\n    " + name;
            }
        };
        list("Did not answer:", m_silent);
        list("Failed:", m_failed);
        list("Refused:", m_refused);
        if (!m_refused.empty()) {
            text += "\n" + m_strRefusal;
        }
        list("Not asked, the line was lost:", m_lost);
        list("Cancelled:", m_cancelled);
        list("Deleted from the layout:", m_deleted);
        m_line.ShowInTurn(&m_line, [text] { AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION); });
    }
    deleteLater();
}
