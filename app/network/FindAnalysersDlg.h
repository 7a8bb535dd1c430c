#pragma once

#include "app/shell/LineClient.h"

#include <QDialog>

#include <memory>
#include <vector>

class CQuorvelDoc;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;

// Find Analysers: sweeps a range of node IDs with a short time-out per node, one presence test
// at a time on the line, shows its progress and the nodes that answer, can be stopped, and
// offers to add the answering nodes the layout does not have yet as new stations.
class CFindAnalysersDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDefaultTimeoutMs = 50;

    CFindAnalysersDlg(CQuorvelDoc* pDoc, CLineClient* pLine, QWidget* pParent = nullptr);
    ~CFindAnalysersDlg() override;

    // The answering nodes no station of the layout has, in node order.
    static std::vector<int> NewNodes(const std::vector<int>& found, const CQuorvelDoc& doc);

    void Start();
    void Stop();
    // Adds a station for each new node (after asking); the number added.
    int AddNewStations();
    bool IsRunning() const { return m_pOperation != nullptr; }
    const std::vector<int>& GetFound() const { return m_found; }

    QSpinBox* m_pFrom = nullptr;
    QSpinBox* m_pTo = nullptr;
    QSpinBox* m_pTimeout = nullptr;
    QPushButton* m_pStart = nullptr;
    QPushButton* m_pAdd = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QListWidget* m_pList = nullptr;

private:
    void AskNext();
    void Finished();

    CQuorvelDoc* m_pDoc;
    CLineClient* m_pLine;
    QLabel* m_pState = nullptr;
    std::shared_ptr<CLineOperation> m_pOperation;
    // Counts the sweeps started: an answer of an earlier one, stopped while its request was on
    // the line, finds another number here and is dropped.
    unsigned m_nSweep = 0;
    std::vector<int> m_found;
    int m_nNext = 0;
    int m_nLast = 0;
};
