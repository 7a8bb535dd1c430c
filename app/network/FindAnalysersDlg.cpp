#include "app/network/FindAnalysersDlg.h"

#include "app/framework/MessageService.h"
#include "app/network/QuorvelDoc.h"
#include "network/ZarnPort.h"
#include "records/Press.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

CFindAnalysersDlg::CFindAnalysersDlg(CQuorvelDoc* pDoc, CLineClient* pLine, QWidget* pParent)
    : QDialog(pParent), m_pDoc(pDoc), m_pLine(pLine) {
    setWindowTitle(QStringLiteral("Find Analysers"));
    auto* form = new QFormLayout;
    auto spin = [this](int lo, int hi, int value) {
        auto* box = new QSpinBox(this);
        box->setRange(lo, hi);
        box->setValue(value);
        return box;
    };
    m_pFrom = spin(1, 254, 1);
    m_pTo = spin(1, 254, 254);
    m_pTimeout = spin(10, 1200, kDefaultTimeoutMs);
    m_pTimeout->setSuffix(QStringLiteral(" ms"));
    form->addRow(QStringLiteral("From node:"), m_pFrom);
    form->addRow(QStringLiteral("To node:"), m_pTo);
    form->addRow(QStringLiteral("Wait per node:"), m_pTimeout);
    m_pProgress = new QProgressBar(this);
    m_pState = new QLabel(this);
    m_pList = new QListWidget(this);
    auto* buttons = new QDialogButtonBox(this);
    m_pStart = buttons->addButton(QStringLiteral("&Start"), QDialogButtonBox::ActionRole);
    m_pAdd = buttons->addButton(QStringLiteral("&Add New Stations"), QDialogButtonBox::ActionRole);
    m_pAdd->setEnabled(false);
    buttons->addButton(QDialogButtonBox::Close);
    connect(m_pStart, &QPushButton::clicked, this, [this] { IsRunning() ? Stop() : Start(); });
    connect(m_pAdd, &QPushButton::clicked, this, [this] { AddNewStations(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_pProgress);
    layout->addWidget(m_pState);
    layout->addWidget(m_pList);
    layout->addWidget(buttons);
}

CFindAnalysersDlg::~CFindAnalysersDlg() {
    Stop();
}

std::vector<int> CFindAnalysersDlg::NewNodes(const std::vector<int>& found,
                                             const CQuorvelDoc& doc) {
    std::vector<int> nodes;
    for (int node : found) {
        if (doc.FindPress(node) == nullptr) {
            nodes.push_back(node);
        }
    }
    std::sort(nodes.begin(), nodes.end());
    nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
    return nodes;
}

void CFindAnalysersDlg::Start() {
    if (m_pLine == nullptr || IsRunning()) {
        return;
    }
    m_found.clear();
    m_pList->clear();
    m_pAdd->setEnabled(false);
    m_nNext = std::min(m_pFrom->value(), m_pTo->value());
    m_nLast = std::max(m_pFrom->value(), m_pTo->value());
    m_pProgress->setRange(m_nNext - 1, m_nLast);
    m_pProgress->setValue(m_nNext - 1);
    ++m_nSweep;
    m_pOperation = m_pLine->BeginOperation("Finding analysers");
    m_pStart->setText(QStringLiteral("&Stop"));
    AskNext();
}

void CFindAnalysersDlg::Stop() {
    if (m_pOperation != nullptr) {
        m_pOperation->Cancel();
        Finished();
    }
}

void CFindAnalysersDlg::AskNext() {
    if (m_pOperation == nullptr) {
        return;
    }
    if (m_nNext > m_nLast || m_pOperation->IsCancelled()) {
        Finished();
        return;
    }
    const int node = m_nNext++;
    const auto timeout = static_cast<unsigned long>(m_pTimeout->value());
    m_pOperation->SetText("Finding analysers: node " + std::to_string(node) + " (" +
                          std::to_string(m_found.size()) + " found)");
    m_pState->setText(QStringLiteral("Asking node %1...").arg(node));
    m_pLine->Post(
        this, {[node, timeout](CZarnPort& port) {
            return port.RequestACKWithin(static_cast<unsigned char>(node), timeout) != 0;
        }},
        [this, node, nSweep = m_nSweep](const CLineClient::Result& result) {
            if (nSweep != m_nSweep || m_pOperation == nullptr) {
                return; // stopped meanwhile: a new sweep, if any, asks on its own
            }
            if (result.outcome == CLineClient::Outcome::done) {
                m_found.push_back(node);
                const CPress* press = m_pDoc != nullptr ? m_pDoc->FindPress(node) : nullptr;
                m_pList->addItem(QStringLiteral("Node %1: %2")
                                     .arg(node)
                                     .arg(press != nullptr
                                              ? QString::fromStdString(press->GetName())
                                              : QStringLiteral("not on the layout")));
            }
            m_pProgress->setValue(node);
            if (result.outcome == CLineClient::Outcome::lineDown) {
                m_pOperation->Cancel(); // nothing more can be learnt until the line is back
            }
            AskNext();
        },
        m_pOperation);
}

void CFindAnalysersDlg::Finished() {
    if (m_pOperation == nullptr) {
        return;
    }
    const bool bStopped = m_pOperation->IsCancelled();
    m_pOperation->End();
    m_pOperation.reset();
    m_pStart->setText(QStringLiteral("&Start"));
    const std::size_t nNew = m_pDoc != nullptr ? NewNodes(m_found, *m_pDoc).size() : 0;
    m_pState->setText(QStringLiteral("%1: %2 answering, %3 not on the layout")
                          .arg(bStopped ? QStringLiteral("Stopped") : QStringLiteral("Done"))
                          .arg(m_found.size())
                          .arg(nNew));
    m_pAdd->setEnabled(nNew > 0);
}

int CFindAnalysersDlg::AddNewStations() {
    if (m_pDoc == nullptr) {
        return 0;
    }
    const std::vector<int> nodes = NewNodes(m_found, *m_pDoc);
    if (nodes.empty()) {
        return 0;
    }
    std::string question =
        "Add " + std::to_string(nodes.size()) + " new station(s) to the layout for node(s)";
    for (int node : nodes) {
        question += " " + std::to_string(node);
    }
    if (AfxMessageBox(question + "?", MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return 0;
    }
    // In a row below the default place of a new press, one icon width apart.
    int x = 25;
    for (int node : nodes) {
        CPress* press = m_pDoc->AddNewPress();
        if (press == nullptr) {
            continue;
        }
        press->SetNodeID(node);
        press->SetName("Station " + std::to_string(node));
        press->MoveTo(CPoint{x, 75});
        x += 64;
    }
    m_pDoc->UpdateAllViews(nullptr);
    m_pAdd->setEnabled(false);
    return static_cast<int>(nodes.size());
}
