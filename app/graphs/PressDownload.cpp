#include "app/graphs/PressDownload.h"

#include "app/shell/QuorvelApp.h"

#include <utility>

bool CPressDownload::Start(CLineJob job, const std::string& strStatus, QWidget* pBusy,
                           std::vector<CLineClient::Step> steps, Done onDone) {
    if (m_bRunning) {
        job.Finish();
        return false;
    }
    CQuorvelApp* pApp = GetQuorvelApp();
    CLineClient* pLine = pApp != nullptr ? pApp->m_pLine : nullptr;
    m_job = std::move(job);
    if (pLine == nullptr) {
        Complete(CLineClient::Result::Of(CLineClient::Outcome::failed, ZarnError::portClosed),
                 onDone);
        return true;
    }
    m_pOperation = m_job.pOperation;
    if (m_pOperation == nullptr) {
        m_pOperation = pLine->BeginOperation(strStatus);
    }
    m_pOperation->AddBusyWindow(pBusy);
    m_bRunning = true;
    pLine->Post(
        &m_context, std::move(steps),
        [this, onDone = std::move(onDone)](const CLineClient::Result& result) {
            Complete(result, onDone);
        },
        m_pOperation);
    return true;
}

void CPressDownload::Complete(const CLineClient::Result& result, const Done& onDone) {
    m_bRunning = false;
    // Whoever waits (a group) goes on when this job ends, after the document's outcome and its
    // message, whether or not the window is still there.
    CLineJob job = std::move(m_job);
    if (m_pOperation != nullptr && m_pOperation != job.pOperation) {
        m_pOperation->End();
    }
    m_pOperation.reset();
    onDone(result, job);
}
