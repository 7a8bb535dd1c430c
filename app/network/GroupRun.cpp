#include "app/network/GroupRun.h"

#include "app/framework/MessageService.h"
#include "network/ZarnPort.h"
#include "records/Press.h"

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
        Finish();
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
                if (result.outcome == CLineClient::Outcome::failed ||
                    result.outcome == CLineClient::Outcome::lineDown) {
                    m_silent.push_back(Label(*pPress));
                }
                Next(); // silent, cancelled or gone: on to the next, or the end
                return;
            }
            std::string label = Label(*pPress);
            m_action(pPress,
                     CLineJob(m_pOperation, [self = QPointer<CGroupRun>(this), label](bool bOk) {
                         if (self == nullptr) {
                             return;
                         }
                         if (bOk) {
                             ++self->m_nDone;
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
    if (!m_silent.empty() || !m_failed.empty()) {
        // One summary of what was left out, after the messages of the stations themselves.
        std::string text = m_strTitle + (bCancelled ? " (cancelled): " : ": ") +
                           std::to_string(m_nDone) + " of " + std::to_string(m_stations.size()) +
                           " stations done.";
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
        m_line.ShowInTurn(&m_line, [text] { AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION); });
    }
    deleteLater();
}
