#pragma once

#include "app/shell/LineClient.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;

// The life of one download of a press window (curve or batch): one at a time, run under the
// operation of a group that waits for it or else one of its own, the window busy meanwhile,
// the outcome handed over on the window's thread, and whoever waits told once the document has
// dealt with it (messages read). A download whose document is gone is dropped with it.
class CPressDownload {
public:
    // The outcome; job.bOk says the work succeeded, and the job ends when this returns.
    using Done = std::function<void(const CLineClient::Result& result, CLineJob& job)>;

    bool IsRunning() const { return m_bRunning; }

    // Runs the steps on the program's line. While one runs, another is refused: its job ends
    // at once and false comes back. Without a line the outcome is a failure, at once.
    // strStatus is what the status bar says; pBusy (may be null) shows the busy cursor.
    bool Start(CLineJob job, const std::string& strStatus, QWidget* pBusy,
               std::vector<CLineClient::Step> steps, Done onDone);

private:
    void Complete(const CLineClient::Result& result, const Done& onDone);

    bool m_bRunning = false;
    CLineJob m_job;
    std::shared_ptr<CLineOperation> m_pOperation;
    QObject m_context; // results for a document that is gone are dropped with it
};
