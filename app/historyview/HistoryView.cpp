#include "app/historyview/HistoryView.h"

#include "app/framework/Dialog.h"
#include "app/framework/MDIChildWnd.h"
#include "app/framework/StringTable.h"
#include "app/graphs/ExportFile.h"
#include "app/historyview/HistoryDoc.h"
#include "app/network/StationMonitor.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Resource.h"
#include "records/TimeText.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMdiArea>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct ChartText {
    const char* pszTitle;
    const char* pszAxis;
};

constexpr ChartText kChartTexts[CHistoryView::kCharts] = {
    {"Bad crimps", "Bad (%)"},
    {"Mean", "Mean"},
    {"Cp", "Cp"},
    {"Cpk", "Cpk"},
};

// Colours that stay apart for the colour-blind, as the compare window uses.
const QColor kSeriesColours[] = {
    QColor(0, 114, 178),  QColor(213, 94, 0),  QColor(0, 158, 115), QColor(204, 121, 167),
    QColor(86, 180, 233), QColor(230, 159, 0), QColor(0, 0, 0),     QColor(120, 94, 240),
};

double ValueOf(const CChartBucket& bucket, int nChart) {
    switch (nChart) {
    case CHistoryView::chartBad:
        return bucket.m_fPercentBad;
    case CHistoryView::chartMean:
        return bucket.m_fMean;
    case CHistoryView::chartCp:
        return bucket.m_fCp;
    default:
        return bucket.m_fCpk;
    }
}

const char* ParameterText(CHistoryChange::Parameter parameter) {
    switch (parameter) {
    case CHistoryChange::Parameter::blo:
        return "BLO";
    case CHistoryChange::Parameter::tfactor:
        return "T factor";
    case CHistoryChange::Parameter::dfactor:
        return "D factor";
    case CHistoryChange::Parameter::sfactor:
        return "S factor";
    case CHistoryChange::Parameter::teachCycles:
        return "Teach cycles";
    case CHistoryChange::Parameter::resetBatch:
        return "Reset batch buffer";
    case CHistoryChange::Parameter::newReference:
        return "New reference";
    }
    return "";
}

// The factors are held in hundredths.
QString ValueText(CHistoryChange::Parameter parameter, const std::optional<std::int64_t>& value) {
    if (!value) {
        return QString();
    }
    const bool bFactor = parameter == CHistoryChange::Parameter::tfactor ||
                         parameter == CHistoryChange::Parameter::dfactor ||
                         parameter == CHistoryChange::Parameter::sfactor;
    return bFactor ? QString::number(static_cast<double>(*value) / 100.0, 'f', 2)
                   : QString::number(*value);
}

QString LocalTime(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// The time axis's ends: the range moved out to whole steps of local time (whole hours of the
// day, or midnights).
std::pair<std::int64_t, std::int64_t> AxisEnds(std::int64_t fromMs, std::int64_t toMs,
                                               std::int64_t stepMs) {
    auto floorLocal = [stepMs](std::int64_t ms) {
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms);
        const QDateTime midnight(at.date(), QTime(0, 0));
        if (stepMs >= CHistoryRange::kDay) {
            const qint64 days = stepMs / CHistoryRange::kDay;
            return midnight.addDays(-(at.date().toJulianDay() % days)).toMSecsSinceEpoch();
        }
        const std::int64_t into = ms - midnight.toMSecsSinceEpoch();
        return midnight.toMSecsSinceEpoch() + into / stepMs * stepMs;
    };
    const std::int64_t from = floorLocal(fromMs);
    std::int64_t to = floorLocal(toMs);
    if (to < toMs) {
        to += stepMs;
    }
    // Whole steps from one end to the other, whatever the clock changes did.
    to = from + std::max<std::int64_t>((to - from + stepMs / 2) / stepMs, 1) * stepMs;
    return {from, to};
}

} // namespace

CHistoryView::CHistoryView() {
    MapCommand(ID_HISTORY_REFRESH, [this] {
        if (CHistoryDoc* pDoc = GetDocument()) {
            ApplyRangeFromControls();
            pDoc->Refresh();
        }
    });
    MapCommand(ID_HISTORY_EXPORT_PNG, [this] { OnExportPng(); });

    // The range: a fixed span up to now, or from/to.
    m_pSpan = new QComboBox(this);
    m_pSpan->addItems({QStringLiteral("Last 24 hours"), QStringLiteral("Last 7 days"),
                       QStringLiteral("Last 30 days"), QStringLiteral("Last 365 days"),
                       QStringLiteral("From - to")});
    m_pSpan->setCurrentIndex(1);
    m_pSpan->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_pFrom = new QDateTimeEdit(this);
    m_pTo = new QDateTimeEdit(this);
    for (QDateTimeEdit* pEdit : {m_pFrom, m_pTo}) {
        pEdit->setCalendarPopup(true);
        pEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
        pEdit->setEnabled(false);
        pEdit->setMinimumWidth(
            pEdit->fontMetrics().horizontalAdvance(QStringLiteral("8888-88-88 88:88")) + 40);
    }
    auto* pShow = new QPushButton(QStringLiteral("&Show"), this);
    auto* pBar = new QHBoxLayout;
    pBar->addWidget(new QLabel(QStringLiteral("Time range:"), this));
    pBar->addWidget(m_pSpan);
    pBar->addSpacing(12);
    pBar->addWidget(new QLabel(QStringLiteral("From:"), this));
    pBar->addWidget(m_pFrom);
    pBar->addWidget(new QLabel(QStringLiteral("To:"), this));
    pBar->addWidget(m_pTo);
    pBar->addWidget(pShow);
    pBar->addStretch(1);
    connect(m_pSpan, &QComboBox::activated, this, &CHistoryView::ChooseSpan);
    connect(pShow, &QPushButton::clicked, this, [this] {
        if (CHistoryDoc* pDoc = GetDocument()) {
            ApplyRangeFromControls();
            pDoc->Refresh();
        }
    });

    m_pStatus = new QLabel(this);
    m_pStatus->setObjectName(QStringLiteral("HistoryStatus"));
    m_pStatus->setWordWrap(true);
    m_pStatus->setAlignment(Qt::AlignCenter);
    QFont statusFont = m_pStatus->font();
    statusFont.setPointSizeF(statusFont.pointSizeF() * 1.2);
    m_pStatus->setFont(statusFont);

    m_pChartArea = new QWidget(this);
    auto* pGrid = new QGridLayout(m_pChartArea);
    pGrid->setContentsMargins(0, 0, 0, 0);
    pGrid->setSpacing(2);
    for (int i = 0; i < kCharts; ++i) {
        auto* pChart = new QChart;
        pChart->setTitle(QString::fromLatin1(kChartTexts[i].pszTitle));
        QFont title = pChart->titleFont();
        title.setBold(true);
        pChart->setTitleFont(title);
        pChart->legend()->setAlignment(Qt::AlignBottom);
        pChart->setMargins(QMargins(4, 4, 4, 4));
        pChart->setBackgroundRoundness(0);
        auto* pView = new QChartView(pChart, m_pChartArea);
        pView->setRenderHint(QPainter::Antialiasing);
        pView->setMinimumSize(120, 90);
        m_charts[static_cast<std::size_t>(i)] = pView;
        pGrid->addWidget(pView, i / 2, i % 2);
    }

    m_pChanges = new QTreeWidget(this);
    m_pChanges->setObjectName(QStringLiteral("HistoryChanges"));
    m_pChanges->setRootIsDecorated(false);
    m_pChanges->setUniformRowHeights(true);
    m_pChanges->setHeaderLabels({QStringLiteral("Time"), QStringLiteral("Station"),
                                 QStringLiteral("Parameter"), QStringLiteral("Before"),
                                 QStringLiteral("After"), QStringLiteral("Result"),
                                 QStringLiteral("User")});
    m_pChanges->setColumnWidth(0, 150);
    m_pChanges->setColumnWidth(1, 140);
    m_pChanges->setColumnWidth(2, 130);
    m_pChanges->setFont(CDialog::DialogFont());

    auto* pChangesBox = new QWidget(this);
    auto* pChangesLayout = new QVBoxLayout(pChangesBox);
    pChangesLayout->setContentsMargins(0, 0, 0, 0);
    pChangesLayout->addWidget(new QLabel(QStringLiteral("Changes made to the stations:"), this));
    pChangesLayout->addWidget(m_pChanges);

    auto* pSplitter = new QSplitter(Qt::Vertical, this);
    pSplitter->addWidget(m_pChartArea);
    pSplitter->addWidget(pChangesBox);
    pSplitter->setStretchFactor(0, 4);
    pSplitter->setStretchFactor(1, 1);

    // The window fits any slot Tile and Cascade give it: what does not fit is cut off rather
    // than the window pushed out of the workspace.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(6, 6, 6, 6);
    pLayout->addLayout(pBar);
    pLayout->addWidget(m_pStatus);
    pLayout->addWidget(pSplitter, 1);
}

CHistoryDoc* CHistoryView::GetDocument() const {
    return dynamic_cast<CHistoryDoc*>(CView::GetDocument());
}

QChart* CHistoryView::GetChart(Chart chart) const {
    return m_charts[static_cast<std::size_t>(chart)]->chart();
}

void CHistoryView::OnInitialUpdate() {
    CView::OnInitialUpdate();
    ShowRange();
    ShowStatus();
    // Four charts and a list need room: most of the workspace, never more than it.
    if (CMDIChildWnd* pFrame = GetParentFrame()) {
        const QMdiArea* pArea = pFrame->mdiArea();
        const QSize room = pArea != nullptr ? pArea->viewport()->size() : QSize(1000, 720);
        const QSize size(std::min(std::max(room.width() * 9 / 10, 640), room.width()),
                         std::min(std::max(room.height() * 9 / 10, 480), room.height()));
        pFrame->resize(size);
        if (pFrame->x() + size.width() > room.width() ||
            pFrame->y() + size.height() > room.height()) {
            pFrame->move(std::clamp(pFrame->x(), 0, std::max(room.width() - size.width(), 0)),
                         std::clamp(pFrame->y(), 0, std::max(room.height() - size.height(), 0)));
        }
    }
}

void CHistoryView::ShowRange() {
    // The range in force, also while the fields are greyed for a fixed span.
    CHistoryDoc* pDoc = GetDocument();
    if (pDoc == nullptr) {
        return;
    }
    const CHistoryRange& range = pDoc->GetRange();
    const int nCustom = static_cast<int>(CHistoryRange::Span::custom);
    if (m_pSpan->currentIndex() == nCustom && range.m_span != CHistoryRange::Span::custom) {
        return; // the operator is typing a range of his own
    }
    m_pSpan->setCurrentIndex(static_cast<int>(range.m_span));
    if (range.m_nToMs > range.m_nFromMs) {
        m_pFrom->setDateTime(QDateTime::fromMSecsSinceEpoch(range.m_nFromMs));
        m_pTo->setDateTime(QDateTime::fromMSecsSinceEpoch(range.m_nToMs));
    }
    const bool bCustom = range.m_span == CHistoryRange::Span::custom;
    m_pFrom->setEnabled(bCustom);
    m_pTo->setEnabled(bCustom);
}

void CHistoryView::ChooseSpan(int nIndex) {
    const bool bCustom = nIndex == static_cast<int>(CHistoryRange::Span::custom);
    m_pFrom->setEnabled(bCustom);
    m_pTo->setEnabled(bCustom);
    // A fixed span is shown at once; from/to waits for its times.
    if (CHistoryDoc* pDoc = GetDocument(); pDoc != nullptr && !bCustom) {
        ApplyRangeFromControls();
        pDoc->Refresh();
    }
}

void CHistoryView::ApplyRangeFromControls() {
    CHistoryDoc* pDoc = GetDocument();
    if (pDoc == nullptr) {
        return;
    }
    CHistoryRange range = pDoc->GetRange();
    range.m_span = static_cast<CHistoryRange::Span>(
        std::clamp(m_pSpan->currentIndex(), 0, static_cast<int>(CHistoryRange::Span::custom)));
    range.m_nFromMs = m_pFrom->dateTime().toMSecsSinceEpoch();
    range.m_nToMs = m_pTo->dateTime().toMSecsSinceEpoch();
    pDoc->SetRange(range);
}

void CHistoryView::OnUpdate(CView*, long, CObject*) {
    ShowRange();
    ShowStatus();
    CHistoryDoc* pDoc = GetDocument();
    if (pDoc != nullptr && pDoc->GetState() != CHistoryDoc::State::loading) {
        ShowCharts();
        ShowChanges();
    }
}

std::string CHistoryView::GetStatusText() const {
    return m_pStatus->isHidden() ? std::string() : m_pStatus->text().toStdString();
}

void CHistoryView::ShowStatus() {
    CHistoryDoc* pDoc = GetDocument();
    QString text;
    if (pDoc == nullptr || pDoc->GetState() == CHistoryDoc::State::loading) {
        text = QString::fromStdString(CStringTable::Load(IDS_HISTORY_LOADING));
    } else if (pDoc->GetState() == CHistoryDoc::State::failed) {
        text =
            QString::fromStdString(CStringTable::Format1(IDS_HISTORY_UNREADABLE, pDoc->GetError()));
    } else if (pDoc->IsEmpty()) {
        text = QString::fromStdString(CStringTable::Load(IDS_HISTORY_EMPTY));
    }
    m_pStatus->setText(text);
    m_pStatus->setVisible(!text.isEmpty());
    const bool bFailed = pDoc != nullptr && pDoc->GetState() == CHistoryDoc::State::failed;
    m_pStatus->setStyleSheet(bFailed ? QStringLiteral("color: #B00000;") : QString());
}

double CHistoryView::CpkThreshold() {
    CQuorvelApp* pApp = GetQuorvelApp();
    return pApp != nullptr && pApp->m_pMonitor != nullptr
               ? pApp->m_pMonitor->GetStatus().GetThresholds().dCpk
               : CStationStatus::Thresholds{}.dCpk;
}

void CHistoryView::ShowCharts() {
    CHistoryDoc* pDoc = GetDocument();
    if (pDoc == nullptr) {
        return;
    }
    const CHistoryRange& range = pDoc->GetRange();
    const double dThreshold = CpkThreshold();
    // The time axis names hours over a day or two, days beyond; its ticks fall on round hours
    // or on midnights, its ends moved out to the ticks around the range.
    const std::int64_t length = range.LengthMs();
    const std::int64_t step = CHistoryRange::TickStepMs(length);
    const QString format =
        step < CHistoryRange::kDay ? QStringLiteral("HH:mm") : QStringLiteral("dd MMM");
    const auto [axisFrom, axisTo] = AxisEnds(range.m_nFromMs, range.m_nToMs, step);
    const int nTicks = static_cast<int>((axisTo - axisFrom) / step) + 1;
    const auto& charts = pDoc->GetCharts();
    m_pAlarm = nullptr;
    for (int c = 0; c < kCharts; ++c) {
        QChart* pChart = GetChart(static_cast<Chart>(c));
        pChart->removeAllSeries();
        for (QAbstractAxis* pAxis : pChart->axes()) {
            pChart->removeAxis(pAxis);
            delete pAxis;
        }
        auto* pTime = new QDateTimeAxis;
        pTime->setFormat(format);
        pTime->setTitleText(QStringLiteral("Local time"));
        pTime->setTickCount(std::clamp(nTicks, 2, 64));
        pTime->setRange(QDateTime::fromMSecsSinceEpoch(axisFrom),
                        QDateTime::fromMSecsSinceEpoch(axisTo));
        auto* pValues = new QValueAxis;
        pValues->setTitleText(QString::fromLatin1(kChartTexts[c].pszAxis));
        pChart->addAxis(pTime, Qt::AlignBottom);
        pChart->addAxis(pValues, Qt::AlignLeft);

        double low = std::numeric_limits<double>::infinity();
        double high = -low;
        for (std::size_t s = 0; s < charts.size() && s < pDoc->GetStations().size(); ++s) {
            auto* pSeries = new QLineSeries;
            pSeries->setName(QString::fromStdString(pDoc->GetStations()[s].first));
            QPen pen(kSeriesColours[s % std::size(kSeriesColours)], 2);
            pSeries->setPen(pen);
            // A point per bucket, in its middle; a bucket without a value is left out.
            for (const CChartBucket& bucket : charts[s]) {
                const double value = ValueOf(bucket, c);
                if (!std::isfinite(value)) {
                    continue;
                }
                pSeries->append(static_cast<double>(bucket.m_nStartMs + pDoc->GetBucketMs() / 2),
                                value);
                low = std::min(low, value);
                high = std::max(high, value);
            }
            pSeries->setPointsVisible(pSeries->count() <= 60);
            pChart->addSeries(pSeries);
            pSeries->attachAxis(pTime);
            pSeries->attachAxis(pValues);
        }
        if (c == chartCpk || c == chartCp) {
            low = std::min(low, c == chartCpk ? dThreshold : low);
            high = std::max(high, c == chartCpk ? dThreshold : high);
        }
        if (c == chartCpk) {
            m_pAlarm = new QLineSeries;
            m_pAlarm->setName(QStringLiteral("Cpk alarm %1").arg(dThreshold, 0, 'f', 2));
            m_pAlarm->setPen(QPen(QColor(200, 0, 0), 1.5, Qt::DashLine));
            m_pAlarm->append(static_cast<double>(range.m_nFromMs), dThreshold);
            m_pAlarm->append(static_cast<double>(range.m_nToMs), dThreshold);
            pChart->addSeries(m_pAlarm);
            m_pAlarm->attachAxis(pTime);
            m_pAlarm->attachAxis(pValues);
        }
        if (!std::isfinite(low)) {
            low = 0;
            high = 1;
        }
        if (c == chartBad) {
            low = 0;
        }
        const double margin = std::max((high - low) * 0.08, 0.05);
        pValues->setRange(c == chartBad ? 0.0 : low - margin, high + margin);
        pValues->applyNiceNumbers();
    }
}

void CHistoryView::ShowChanges() {
    CHistoryDoc* pDoc = GetDocument();
    m_pChanges->clear();
    if (pDoc == nullptr) {
        return;
    }
    for (const CHistoryChangeEntry& entry : pDoc->GetChanges()) {
        const CHistoryChange& change = entry.m_change;
        auto* pItem = new QTreeWidgetItem(m_pChanges);
        pItem->setText(0, LocalTime(entry.m_nTimeMs));
        pItem->setText(1, QString::fromStdString(entry.m_station.m_strName));
        pItem->setText(2, QString::fromLatin1(ParameterText(change.m_parameter)));
        // A value sent without a reading before it: said so rather than left blank.
        pItem->setText(3, !change.m_nBefore && change.m_nAfter
                              ? QStringLiteral("unknown")
                              : ValueText(change.m_parameter, change.m_nBefore));
        pItem->setText(4, ValueText(change.m_parameter, change.m_nAfter));
        pItem->setText(5, change.m_bOk ? QStringLiteral("ok") : QStringLiteral("failed"));
        pItem->setText(6, QString::fromStdString(change.m_strUser));
        if (!change.m_bOk) {
            pItem->setForeground(5, QColor(176, 0, 0));
            pItem->setToolTip(5, QString::fromStdString(change.m_strError));
        }
    }
}

void CHistoryView::OnExportPng() {
    CHistoryDoc* pDoc = GetDocument();
    if (pDoc == nullptr) {
        return;
    }
    const auto choice = CExportFile::Ask(this, CExportFile::FileNameFrom(pDoc->GetTitle()),
                                         {CExportFile::Format::png});
    std::string reason;
    if (choice && !ExportPng(choice->strPath, &reason)) {
        CExportFile::ReportFailure(choice->strPath, reason);
    }
}

bool CHistoryView::ExportPng(const std::string& strPath, std::string* pReason) {
    return CExportFile::WriteImage(strPath, m_pChartArea->grab().toImage(), pReason);
}
