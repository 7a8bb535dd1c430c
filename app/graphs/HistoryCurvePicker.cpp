#include "app/graphs/HistoryCurvePicker.h"

#include "app/framework/MessageService.h"
#include "app/framework/StringTable.h"
#include "app/graphs/CurveHistory.h"
#include "app/history/HistorySettings.h"
#include "app/historyview/HistoryWorker.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Resource.h"
#include "history/HistoryQuery.h"
#include "records/TimeText.h"

#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace {

QString LocalTime(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

CHistoryCurvePicker::CHistoryCurvePicker(const std::string& strTarget, QWidget* pParent)
    : CDialog(pParent) {
    setWindowTitle(QStringLiteral("Add From History"));
    setFont(DialogFont());
    m_pStation = new QComboBox(this);
    m_pStation->addItem(QStringLiteral("All stations"));
    m_pList = new QTreeWidget(this);
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->setHeaderLabels({QStringLiteral("Station"), QStringLiteral("Node"),
                              QStringLiteral("Time"), QStringLiteral("Peak")});
    m_pList->setColumnWidth(0, 160);
    m_pList->setColumnWidth(1, 50);
    m_pList->setColumnWidth(2, 150);
    m_pStatus = new QLabel(this);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    pButtons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Add"));
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pList, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* pTop = new QHBoxLayout;
    pTop->addWidget(new QLabel(QStringLiteral("Curves of the last 30 days. Station:"), this));
    pTop->addWidget(m_pStation, 1);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pTop);
    pLayout->addWidget(m_pList, 1);
    pLayout->addWidget(m_pStatus);
    pLayout->addWidget(pButtons);
    resize(520, 420);

    connect(m_pStation, &QComboBox::activated, this, [this](int nIndex) {
        Load(nIndex <= 0 ? std::string() : m_pStation->itemText(nIndex).toStdString());
    });
    m_pWorker = std::make_unique<CHistoryWorker>(
        CHistorySettings::WithStoredPassword(strTarget), [this](std::function<void()> done) {
            QMetaObject::invokeMethod(&m_context, std::move(done), Qt::QueuedConnection);
        });
    Load(std::string());
}

CHistoryCurvePicker::~CHistoryCurvePicker() {
    // No answer is delivered once the worker has gone; it goes before the context.
    m_pWorker.reset();
}

void CHistoryCurvePicker::Register() {
    CCurveHistory::SetPicker([](QWidget* pParent) {
        CQuorvelApp* pApp = GetQuorvelApp();
        CHistoryCurvePicker dialog(pApp != nullptr ? pApp->GetHistoryReadTarget() : std::string(),
                                   pParent);
        return dialog.DoModal() == IDOK ? dialog.GetChosen() : std::vector<CCompareCurve>();
    });
}

void CHistoryCurvePicker::Load(const std::string& strStation) {
    m_bLoading = true;
    m_pStatus->setText(QString::fromStdString(CStringTable::Load(IDS_HISTORY_LOADING)));
    const unsigned nGeneration = ++m_nGeneration;
    CHistoryFilter filter;
    filter.m_strStation = strStation;
    filter.m_nSince = CTimeText::NowUtcMs() - std::int64_t{kDays} * 24 * 3600 * 1000;
    filter.m_nLimit = kMaxCurves;
    m_pWorker->Post(
        [this, nGeneration, filter](CHistoryQuery* pQuery, const std::string& strError) {
            auto pCurves = std::make_shared<std::vector<CHistoryCurve>>();
            std::string error = strError;
            if (pQuery != nullptr && !pQuery->Curves(filter, *pCurves)) {
                error = pQuery->GetError();
            }
            return std::function<void()>([this, nGeneration, error, pCurves] {
                OnLoaded(nGeneration, error, std::move(*pCurves));
            });
        });
}

void CHistoryCurvePicker::OnLoaded(unsigned nGeneration, const std::string& strError,
                                   std::vector<CHistoryCurve> curves) {
    if (nGeneration != m_nGeneration) {
        return;
    }
    m_bLoading = false;
    m_pList->clear();
    // Newest first: the operator looks for what just happened.
    std::reverse(curves.begin(), curves.end());
    m_curves = std::move(curves);
    if (!strError.empty()) {
        m_pStatus->setText(
            QString::fromStdString(CStringTable::Format1(IDS_HISTORY_UNREADABLE, strError)));
        return;
    }
    std::set<QString> known;
    for (int i = 1; i < m_pStation->count(); ++i) {
        known.insert(m_pStation->itemText(i));
    }
    for (std::size_t i = 0; i < m_curves.size(); ++i) {
        const CHistoryCurve& curve = m_curves[i];
        auto* pItem = new QTreeWidgetItem(m_pList);
        const QString station = QString::fromStdString(curve.m_station.m_strName);
        pItem->setText(0, station);
        pItem->setText(1, QString::number(curve.m_station.m_nNodeID));
        pItem->setText(2, LocalTime(curve.m_nTimeMs));
        pItem->setText(3, QString::number(curve.m_curve.m_nPeakForce));
        pItem->setData(0, Qt::UserRole, static_cast<qulonglong>(i));
        if (known.insert(station).second) {
            m_pStation->addItem(station);
        }
    }
    m_pStatus->setText(m_curves.empty()
                           ? QString::fromStdString(CStringTable::Load(IDS_HISTORY_NO_CURVES))
                           : QStringLiteral("%1 curves").arg(m_curves.size()));
}

std::string CHistoryCurvePicker::GetStatusText() const {
    return m_pStatus->text().toStdString();
}

std::vector<CCompareCurve> CHistoryCurvePicker::GetChosen() const {
    std::vector<CCompareCurve> chosen;
    for (QTreeWidgetItem* pItem : m_pList->selectedItems()) {
        const auto at = pItem->data(0, Qt::UserRole).toULongLong();
        if (at >= m_curves.size()) {
            continue;
        }
        const CHistoryCurve& recorded = m_curves[at];
        CCompareCurve curve;
        curve.strStation = recorded.m_station.m_strName;
        curve.nNodeID = recorded.m_station.m_nNodeID;
        curve.strTime = LocalTime(recorded.m_nTimeMs).toStdString();
        curve.strSource = "history " + recorded.m_strKey;
        const std::size_t n = std::min(recorded.m_curve.m_pForce.size(),
                                       std::size_t{CCurveRecord::kDownloadedPoints});
        curve.points.assign(recorded.m_curve.m_pForce.begin(),
                            recorded.m_curve.m_pForce.begin() + static_cast<std::ptrdiff_t>(n));
        chosen.push_back(std::move(curve));
    }
    return chosen;
}
