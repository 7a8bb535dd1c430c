#include "app/network/PressPropertiesDlg.h"

#include "app/framework/MDIFrameWnd.h"
#include "app/framework/MessageService.h"
#include "app/framework/Resources.h"
#include "app/framework/StringTable.h"
#include "app/history/HistoryRecorder.h"
#include "app/network/QuorvelDoc.h"
#include "app/shell/LineClient.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Resource.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

constexpr int kEditHeight = 12;
constexpr int kButtonHeight = 14;

UINT IconFlag(CPressProperties::Icon icon) {
    switch (icon) {
    case CPressProperties::Icon::stop:
        return MB_ICONSTOP;
    case CPressProperties::Icon::exclamation:
        return MB_ICONEXCLAMATION;
    default:
        return MB_ICONINFORMATION;
    }
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

CPressPropertiesDlg::CPressPropertiesDlg(CQuorvelDoc* pDoc, CPress* pPress, CLineClient* pLine,
                                         QWidget* pParent)
    : CDialog(pParent), m_pLine(pLine), m_strStation(pPress->GetName()),
      m_historyStation(CHistoryRecorder::StationOf(*pPress)) {
    auto find = [pDoc](int nNodeID) -> const CPress* {
        return pDoc != nullptr ? pDoc->FindPress(nNodeID) : nullptr;
    };
    CPressProperties::CHost& host = *this;
    m_pLogic = std::make_unique<CPressProperties>(*pPress, find, host);
    setWindowTitle(QStringLiteral("Press Properties"));
    setObjectName(QString::number(IDD_PRESS_PROPERTIES));
    SetDialogSize(330, 250);
    BuildControls();
}

CPressPropertiesDlg::~CPressPropertiesDlg() {
    CancelRequests();
}

QWidget* CPressPropertiesDlg::GetControl(UINT nID) const {
    auto it = m_controls.find(nID);
    return it != m_controls.end() ? it->second : nullptr;
}

QLineEdit* CPressPropertiesDlg::AddEdit(UINT nID, int x, int y, int cx, bool bReadOnly) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::number(nID));
    edit->setReadOnly(bReadOnly);
    PlaceControl(edit, x, y, cx, kEditHeight);
    m_controls[nID] = edit;
    return edit;
}

QLabel* CPressPropertiesDlg::AddLabel(const char* pszText, int x, int y, int cx, UINT nID) {
    auto* label = new QLabel(QString::fromUtf8(pszText), this);
    PlaceControl(label, x, y, cx, 10);
    if (nID != 0) {
        label->setObjectName(QString::number(nID));
        m_controls[nID] = label;
    }
    return label;
}

QPushButton* CPressPropertiesDlg::AddButton(UINT nID, const char* pszText, int x, int y, int cx) {
    auto* button = new QPushButton(QString::fromUtf8(pszText), this);
    button->setObjectName(QString::number(nID));
    button->setAutoDefault(false);
    PlaceControl(button, x, y, cx, kButtonHeight);
    m_controls[nID] = button;
    return button;
}

void CPressPropertiesDlg::AddArrows(UINT nID, int x, int y, std::function<void(bool up)> onStep) {
    auto* box = new QWidget(this);
    box->setObjectName(QString::number(nID));
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (bool up : {true, false}) {
        auto* arrow = new QToolButton(box);
        arrow->setArrowType(up ? Qt::UpArrow : Qt::DownArrow);
        arrow->setObjectName(up ? QStringLiteral("up") : QStringLiteral("down"));
        arrow->setAutoRepeat(true);
        arrow->setFocusPolicy(Qt::NoFocus);
        arrow->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        connect(arrow, &QToolButton::clicked, this, [onStep, up] { onStep(up); });
        layout->addWidget(arrow);
    }
    PlaceControl(box, x, y, 9, kEditHeight);
    m_controls[nID] = box;
}

void CPressPropertiesDlg::StepWhole(UINT nEdit, int lo, int hi, bool up) {
    auto* edit = static_cast<QLineEdit*>(GetControl(nEdit));
    bool ok = false;
    int value = edit->text().trimmed().toInt(&ok);
    if (!ok) {
        value = lo;
    } else {
        // Stepped from within the range, so a typed value far beyond it cannot overflow.
        value = std::clamp(value, lo, hi) + (up ? 1 : -1);
    }
    edit->setText(QString::number(std::clamp(value, lo, hi)));
}

void CPressPropertiesDlg::BuildControls() {
    auto group = [this](const char* title, int x, int y, int cx, int cy) {
        auto* box = new QGroupBox(QString::fromUtf8(title), this);
        PlaceControl(box, x, y, cx, cy);
        box->lower();
    };
    group("Zarn Information", 7, 4, 316, 54);
    AddLabel("Serial Number:", 14, 19, 58);
    AddEdit(IDC_SERIAL_NO, 74, 17, 66);
    AddLabel("Node ID:", 146, 19, 32);
    AddEdit(IDC_NODE_ID, 180, 17, 30);
    AddArrows(IDC_NODE_SPIN, 211, 17, [this](bool up) { StepWhole(IDC_NODE_ID, 1, 254, up); });
    connect(AddButton(IDC_CHECK_ID, "&Check ID", 250, 16, 62), &QPushButton::clicked, this,
            [this] { m_pLogic->CheckID(TakeFieldTexts()); });
    m_pStatusIcon = new QLabel(this);
    m_pStatusIcon->setObjectName(QString::number(IDC_STATUS_ICON));
    PlaceControl(m_pStatusIcon, 14, 32, 24, 22);
    m_controls[IDC_STATUS_ICON] = m_pStatusIcon;
    AddLabel("", 42, 39, 120, IDC_STATUS);

    group("Zarn Limits", 7, 62, 155, 98);
    const struct {
        const char* pszLabel;
        UINT nEdit;
        UINT nSpin;
        int y;
    } limits[] = {{"BLO:", IDC_BLO, IDC_BLO_SPIN, 76},
                  {"DFactor:", IDC_D_FACTOR, IDC_D_SPIN, 92},
                  {"TFactor:", IDC_T_FACTOR, IDC_T_SPIN, 108},
                  {"SFactor:", IDC_S_FACTOR, IDC_S_SPIN, 124}};
    for (const auto& l : limits) {
        AddLabel(l.pszLabel, 14, l.y + 2, 40);
        AddEdit(l.nEdit, 60, l.y, 50);
    }
    AddArrows(IDC_BLO_SPIN, 111, 76, [this](bool up) { StepWhole(IDC_BLO, 10, 200, up); });
    auto factorArrow = [this](CPressProperties::Factor factor) {
        return [this, factor](bool up) {
            if (m_pLogic->FactorArrow(TakeFieldTexts(), factor, up)) {
                ShowValues();
            }
        };
    };
    AddArrows(IDC_D_SPIN, 111, 92, factorArrow(CPressProperties::Factor::d));
    AddArrows(IDC_T_SPIN, 111, 108, factorArrow(CPressProperties::Factor::t));
    AddArrows(IDC_S_SPIN, 111, 124, factorArrow(CPressProperties::Factor::s));
    connect(AddButton(IDC_GET_LIMITS, "&Get", 20, 141, 50), &QPushButton::clicked, this,
            [this] { m_pLogic->ReadLimits(); });
    connect(AddButton(IDC_SET_LIMITS, "&Set", 90, 141, 50), &QPushButton::clicked, this,
            [this] { m_pLogic->WriteLimits(TakeFieldTexts()); });

    group("Station Information", 168, 62, 155, 98);
    AddLabel("Station ID:", 175, 78, 48);
    AddEdit(IDC_STATION_ID, 232, 76, 84);
    AddLabel("Wire Type:", 175, 94, 48);
    AddEdit(IDC_WIRE_TYPE, 232, 92, 84);
    AddLabel("Terminal Type:", 175, 110, 56);
    AddEdit(IDC_TERMINAL_TYPE, 232, 108, 84);
    auto* stationIcon = new QLabel(this);
    stationIcon->setPixmap(CResources::LoadIcon(IDI_STATION).pixmap(32, 32));
    PlaceControl(stationIcon, 175, 128, 24, 24);

    group("Zarn Production Data", 7, 164, 316, 60);
    AddLabel("Pass Count:", 14, 178, 42);
    AddLabel("", 58, 178, 40, IDC_PASS_COUNT);
    AddLabel("Fail Count:", 112, 178, 42);
    AddLabel("", 156, 178, 40, IDC_FAIL_COUNT);
    AddLabel("Peak Force:", 210, 178, 44);
    AddLabel("", 256, 178, 50, IDC_PEAK_FORCE);
    connect(AddButton(IDC_GET_PRODUCTION, "Ge&t", 14, 201, 50), &QPushButton::clicked, this,
            [this] { m_pLogic->ReadProduction(TakeFieldTexts()); });
    AddLabel("Teach Cycles:", 100, 203, 50);
    AddEdit(IDC_TEACH_CYCLES, 152, 201, 30);
    AddArrows(IDC_TEACH_SPIN, 183, 201,
              [this](bool up) { StepWhole(IDC_TEACH_CYCLES, 5, 15, up); });
    connect(AddButton(IDC_SET_TEACH, "&Set Teach Cyles", 220, 200, 90), &QPushButton::clicked, this,
            [this] { m_pLogic->SetTeachCycles(TakeFieldTexts()); });

    auto* ok = AddButton(IDOK, "OK", 204, 230, 55);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &CPressPropertiesDlg::accept);
    connect(AddButton(IDCANCEL, "Cancel", 268, 230, 55), &QPushButton::clicked, this,
            &CPressPropertiesDlg::reject);
    EnableAnalyserControls();
}

void CPressPropertiesDlg::showEvent(QShowEvent* pEvent) {
    CDialog::showEvent(pEvent);
    if (!m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
    }
}

void CPressPropertiesDlg::OnInitDialog() {
    m_bInitialised = true;
    m_pLogic->Open();
    ShowValues();
    EnableAnalyserControls();
    if (auto* node = GetControl(IDC_NODE_ID)) {
        node->setFocus();
    }
}

void CPressPropertiesDlg::done(int nResult) {
    CancelRequests();
    CDialog::done(nResult);
}

void CPressPropertiesDlg::CancelRequests() {
    for (const std::weak_ptr<CLineOperation>& p : m_operations) {
        if (auto pOperation = p.lock()) {
            pOperation->Cancel();
            pOperation->End();
        }
    }
    m_operations.clear();
}

int CPressPropertiesDlg::GetRunning() const {
    int n = 0;
    for (const auto& [request, count] : m_running) {
        n += count;
    }
    return n;
}

void CPressPropertiesDlg::Run(CPressProperties::Request request,
                              std::vector<CLineWorker::Step> steps,
                              std::function<void(bool bOk)> done) {
    if (m_pLine == nullptr) {
        done(false);
        return;
    }
    std::string strLabel = m_strStation + " (node " + std::to_string(m_pLogic->m_nNodeID) + ")";
    auto pOperation = m_pLine->BeginOperation("Press Properties: " + strLabel);
    m_operations.erase(std::remove_if(m_operations.begin(), m_operations.end(),
                                      [](const auto& p) { return p.expired(); }),
                       m_operations.end());
    m_operations.push_back(pOperation);
    ++m_running[request];
    EnableAnalyserControls();
    m_pLine->Post(
        this, std::move(steps),
        [this, request, pOperation, strLabel = std::move(strLabel),
         done = std::move(done)](const CLineClient::Result& result) {
            pOperation->End();
            --m_running[request];
            EnableAnalyserControls();
            if (result.outcome != CLineClient::Outcome::cancelled) {
                m_strLostLine = m_pLine->FailureText(result, {}, strLabel);
                m_bLostLineTold = false;
                done(result.outcome == CLineClient::Outcome::done);
                m_strLostLine.clear();
            }
        },
        pOperation);
}

CPressProperties::Poster CPressPropertiesDlg::MakePoster() {
    return [line = QPointer<CLineClient>(m_pLine),
            context = QPointer<QObject>(this)](std::function<void()> fn) {
        // The line outlives every exchange it runs, so it is there whenever a step calls this.
        line.data()->Deliver(context, std::move(fn));
    };
}

CPressProperties::CHost::ChangeSink CPressPropertiesDlg::MakeChangeSink() {
    CQuorvelApp* pApp = GetQuorvelApp();
    CHistoryRecorder* pHistory = pApp != nullptr ? pApp->GetHistory() : nullptr;
    if (pHistory == nullptr) {
        return {};
    }
    // The recorder lives as long as the line; the user is the one at the dialog now.
    return [pHistory, station = m_historyStation,
            user = CHistoryStore::CurrentUser()](unsigned nNodeID, const CHistoryChange& change) {
        CHistoryStation at = station;
        at.m_nNodeID = static_cast<int>(nNodeID);
        CHistoryChange made = change;
        made.m_strUser = user;
        pHistory->RecordChange(at, made);
    };
}

void CPressPropertiesDlg::ShowReadings() {
    const CPressProperties::Fields f = m_pLogic->ShowValues();
    for (const auto& [nID, text] : {std::pair<UINT, const std::string&>{IDC_BLO, f.strBLO},
                                    {IDC_D_FACTOR, f.strDFactor},
                                    {IDC_S_FACTOR, f.strSFactor},
                                    {IDC_T_FACTOR, f.strTFactor},
                                    {IDC_PASS_COUNT, f.strPass},
                                    {IDC_FAIL_COUNT, f.strFail},
                                    {IDC_PEAK_FORCE, f.strPeak}}) {
        QWidget* w = GetControl(nID);
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            edit->setText(Q(text));
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            label->setText(Q(text));
        }
    }
}

void CPressPropertiesDlg::Refresh() {
    ShowValues();
    EnableAnalyserControls();
}

void CPressPropertiesDlg::accept() {
    if (m_pLogic->OK(TakeFieldTexts())) {
        CDialog::accept();
    }
}

CPressProperties::Fields CPressPropertiesDlg::TakeFieldTexts() const {
    auto text = [this](UINT nID) {
        QWidget* w = GetControl(nID);
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            return edit->text().toStdString();
        }
        if (auto* label = qobject_cast<QLabel*>(w)) {
            return label->text().toStdString();
        }
        return std::string();
    };
    CPressProperties::Fields f;
    f.strNodeID = text(IDC_NODE_ID);
    f.strTeachCycles = text(IDC_TEACH_CYCLES);
    f.strSerialNo = text(IDC_SERIAL_NO);
    f.strName = text(IDC_STATION_ID);
    f.strTerminalType = text(IDC_TERMINAL_TYPE);
    f.strPass = text(IDC_PASS_COUNT);
    f.strFail = text(IDC_FAIL_COUNT);
    f.strPeak = text(IDC_PEAK_FORCE);
    f.strDFactor = text(IDC_D_FACTOR);
    f.strTFactor = text(IDC_T_FACTOR);
    f.strSFactor = text(IDC_S_FACTOR);
    f.strBLO = text(IDC_BLO);
    f.strWireType = text(IDC_WIRE_TYPE);
    f.strStatus = text(IDC_STATUS);
    return f;
}

void CPressPropertiesDlg::ShowValues() {
    const CPressProperties::Fields f = m_pLogic->ShowValues();
    auto set = [this](UINT nID, const std::string& s) {
        QWidget* w = GetControl(nID);
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            edit->setText(Q(s));
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            label->setText(Q(s));
        }
    };
    set(IDC_NODE_ID, f.strNodeID);
    set(IDC_TEACH_CYCLES, f.strTeachCycles);
    set(IDC_SERIAL_NO, f.strSerialNo);
    set(IDC_STATION_ID, f.strName);
    set(IDC_TERMINAL_TYPE, f.strTerminalType);
    set(IDC_PASS_COUNT, f.strPass);
    set(IDC_FAIL_COUNT, f.strFail);
    set(IDC_PEAK_FORCE, f.strPeak);
    set(IDC_D_FACTOR, f.strDFactor);
    set(IDC_T_FACTOR, f.strTFactor);
    set(IDC_S_FACTOR, f.strSFactor);
    set(IDC_BLO, f.strBLO);
    set(IDC_WIRE_TYPE, f.strWireType);
    set(IDC_STATUS, f.strStatus);
}

void CPressPropertiesDlg::EnableAnalyserControls() {
    using Request = CPressProperties::Request;
    const bool on = m_pLogic->AnalyserControlsEnabled();
    for (UINT nID : {IDC_TEACH_CYCLES, IDC_T_FACTOR, IDC_S_FACTOR, IDC_D_FACTOR, IDC_BLO}) {
        GetControl(nID)->setEnabled(on);
    }
    // A button waits while its own request runs.
    auto idle = [this](Request request) {
        auto it = m_running.find(request);
        return it == m_running.end() || it->second == 0;
    };
    GetControl(IDC_GET_LIMITS)->setEnabled(on && idle(Request::getLimits));
    GetControl(IDC_SET_LIMITS)->setEnabled(on && idle(Request::setLimits));
    GetControl(IDC_GET_PRODUCTION)->setEnabled(on && idle(Request::getProduction));
    GetControl(IDC_SET_TEACH)->setEnabled(on && idle(Request::setTeachCycles));
    GetControl(IDC_CHECK_ID)->setEnabled(idle(Request::checkID));
    m_pStatusIcon->setPixmap(
        CResources::LoadIcon(m_pLogic->IconOnline() ? IDI_ONLINE : IDI_NO_RESPONSE).pixmap(32, 32));
}

void CPressPropertiesDlg::Message(unsigned nStringID, const std::string& strArg,
                                  CPressProperties::Icon icon) {
    MessageText(CStringTable::Format1(nStringID, strArg), icon);
}

void CPressPropertiesDlg::MessageText(const std::string& text, CPressProperties::Icon icon) {
    if (!m_strLostLine.empty()) {
        // One message for the lost line, whatever the button would have said.
        if (!std::exchange(m_bLostLineTold, true)) {
            AfxMessageBox(m_strLostLine, MB_OK | MB_ICONSTOP);
        }
        return;
    }
    AfxMessageBox(text, MB_OK | IconFlag(icon));
}

void CPressPropertiesDlg::Confirm(const std::string& strText) {
    CQuorvelApp* pApp = GetQuorvelApp();
    if (pApp != nullptr && pApp->m_pMainWnd != nullptr) {
        pApp->m_pMainWnd->ShowConfirmation(strText);
    }
}

std::string CPressPropertiesDlg::String(unsigned nStringID) {
    return CStringTable::Load(nStringID);
}

void CPressPropertiesDlg::FocusField(CPressProperties::Field field) {
    UINT nID = 0;
    switch (field) {
    case CPressProperties::Field::nodeID:
        nID = IDC_NODE_ID;
        break;
    case CPressProperties::Field::teachCycles:
        nID = IDC_TEACH_CYCLES;
        break;
    case CPressProperties::Field::dFactor:
        nID = IDC_D_FACTOR;
        break;
    case CPressProperties::Field::tFactor:
        nID = IDC_T_FACTOR;
        break;
    case CPressProperties::Field::sFactor:
        nID = IDC_S_FACTOR;
        break;
    case CPressProperties::Field::blo:
        nID = IDC_BLO;
        break;
    case CPressProperties::Field::none:
        return;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(GetControl(nID))) {
        edit->setFocus();
        edit->selectAll();
    }
}
