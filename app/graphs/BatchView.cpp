#include "app/graphs/BatchView.h"

#include "app/framework/MDIFrameWnd.h"
#include "app/graphs/BatchDoc.h"
#include "app/graphs/BatchStatsDlg.h"
#include "app/graphs/GraphPaint.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Resource.h"
#include "records/RecordExport.h"

#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintDevice>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <locale>
#include <sstream>

namespace {

// The property the main window's menus carry their command numbers in.
constexpr const char* kCommandProperty = "quorvelCommand";

} // namespace

CBatchView::CBatchView() {
    MapCommand(
        ID_FILE_EXPORT, [this] { OnFileExport(); },
        [this](CCmdUI& ui) {
            CBatchDoc* pDoc = GetDocument();
            ui.Enable(pDoc != nullptr && pDoc->m_bHasData);
        });
    m_lfLabels.setFamily("Small Font");
    m_lfLabels.setPixelSize(5);
    // The magnifier shows whichever window is active.
    setCursor(m_hZoomCursor);
    MapCommand(
        ID_BATCH_ZOOM_OUT, [this] { OnZoomOut(); },
        [this](CCmdUI& ui) {
            CBatchDoc* pDoc = GetDocument();
            ui.Enable(pDoc != nullptr &&
                      (m_nRangeX != pDoc->m_nCount || (m_bControlChart && m_chartPlot.IsZoomed())));
        });
    MapCommand(ID_BATCH_STATISTICS, [this] { OnBatchStatistics(); });
    MapCommand(
        ID_CONTROL_CHART, [this] { OnControlChart(); },
        [this](CCmdUI& ui) { ui.SetCheck(m_bControlChart ? 1 : 0); });
}

CBatchDoc* CBatchView::GetDocument() const {
    return dynamic_cast<CBatchDoc*>(CView::GetDocument());
}

void CBatchView::ResetZoom() {
    CBatchDoc* pDoc = GetDocument();
    if (pDoc != nullptr) {
        CBatchGraph::ResetZoom(pDoc->m_nCount, pDoc->GetFullRangeY());
        // The data may be new: the chart is worked out again with the zoom.
        std::vector<int> values;
        const int n = std::min<int>(pDoc->m_nCount, static_cast<int>(pDoc->m_pPoints.size()));
        for (int i = 0; i < n; ++i) {
            values.push_back(pDoc->m_pPoints[static_cast<std::size_t>(i)].y);
        }
        m_chart = CControlChart(std::move(values));
        m_chartPlot.ResetZoom(m_chart);
    }
}

void CBatchView::OnControlChart() {
    m_bControlChart = !m_bControlChart;
    update();
}

void CBatchView::OnInitialUpdate() {
    CView::OnInitialUpdate();
    m_pDoc = GetDocument();
    ResetZoom();
    if (m_pDoc != nullptr) {
        m_pDoc->SetTitle(m_pDoc->m_strSavedTitle);
    }
}

void CBatchView::OnBatchStatistics() {
    CBatchDoc* pDoc = GetDocument();
    if (pDoc == nullptr) {
        return;
    }
    CBatchStatsDlg dlg(pDoc->m_stats, this);
    dlg.DoModal();
}

void CBatchView::OnDraw(QPainter* pDC) {
    CBatchDoc* pDoc = GetDocument();
    if (pDoc == nullptr || !pDoc->m_bHasData || CGraphPaint::IsMinimized(this)) {
        return;
    }
    pDC->save();
    const bool bPrinting = IsPrinting(pDC);
    const QRect area = bPrinting ? CGraphPaint::PrintTitle(pDC, pDoc->GetTitle()) : rect();
    if (m_bControlChart) {
        m_chartPlot.Draw(pDC, area, m_chart);
        pDC->restore();
        return;
    }
    // The labels' small type comes in few sizes: they never grow past 8 points.
    const int maxLabel = std::max(pDC->device()->logicalDpiY() * 8 / 72, 1);
    const QFont labelFont = m_lfLabels;
    const CBatchLayout layout =
        Layout(area, bPrinting, maxLabel, [&](const std::string& strText, int nPixels) {
            QFont font = labelFont;
            font.setPixelSize(nPixels);
            return QFontMetrics(font, pDC->device())
                .horizontalAdvance(QString::fromStdString(strText));
        });

    pDC->resetTransform();
    QFont font = m_lfLabels;
    font.setPixelSize(layout.nLabelPixels);
    pDC->setFont(font);
    CGraphPaint::SetPen(pDC, Qt::black, Qt::SolidLine);
    pDC->drawLine(layout.xAxis);
    for (const CBatchTick& tick : layout.xTicks) {
        pDC->drawLine(tick.tick);
        CGraphPaint::TextAt(pDC, tick.labelAt, Qt::AlignHCenter, tick.strLabel);
    }
    pDC->drawLine(layout.yAxis);
    for (const CBatchTick& tick : layout.yTicks) {
        pDC->drawLine(tick.tick);
        if (!tick.strLabel.empty()) {
            CGraphPaint::TextAt(pDC, tick.labelAt, Qt::AlignRight, tick.strLabel);
        }
    }

    pDC->setTransform(layout.data.Transform());
    int nFirst = 0;
    int nLast = 0;
    DataEntries(pDoc->m_nCount, nFirst, nLast);
    if (nLast > nFirst) {
        QPolygon line(nLast - nFirst);
        for (int i = nFirst; i < nLast; ++i) {
            line.setPoint(i - nFirst, pDoc->m_pPoints[i].x, pDoc->m_pPoints[i].y);
        }
        CGraphPaint::SetPen(pDC, QColor(255, 0, 0), Qt::SolidLine);
        pDC->drawPolyline(line);
    }
    CGraphPaint::SetPen(pDC, QColor(0, 255, 0), Qt::DotLine);
    pDC->drawLine(QPoint(m_nOriginX, pDoc->m_nLimitLine),
                  QPoint(LimitEnd(pDoc->m_nCount), pDoc->m_nLimitLine));
    pDC->restore();
}

bool CBatchView::ZoomTo(const QRect& band) {
    if (m_bControlChart) {
        return m_chartPlot.Zoom(band, size());
    }
    return Zoom(band, size());
}

void CBatchView::mouseDoubleClickEvent(QMouseEvent* pEvent) {
    if (pEvent->button() == Qt::LeftButton) {
        OnBatchStatistics();
    }
}

void CBatchView::OpenContextMenu(QPoint point) {
    CQuorvelApp* pApp = GetQuorvelApp();
    if (pApp == nullptr || pApp->m_pMainWnd == nullptr) {
        return;
    }
    CMDIFrameWnd* pMain = pApp->m_pMainWnd;
    QMenu* pMenu = pMain->CreatePopupMenu(IDR_BATCH_MENU, 0, pMain);
    if (pMenu == nullptr) {
        return;
    }
    // The batch menu has no entry for the statistics; this window offers one of its own.
    pMenu->addSeparator();
    QAction* pStats = pMenu->addAction(QStringLiteral("Batch &Statistics..."));
    pStats->setProperty(kCommandProperty, ID_BATCH_STATISTICS);
    QAction* pChart = pMenu->addAction(QStringLiteral("&Control Chart"));
    pChart->setProperty(kCommandProperty, ID_CONTROL_CHART);
    pMain->UpdateMenu(pMenu);
    QAction* pChosen = pMenu->exec(mapToGlobal(point));
    const UINT nID = pChosen != nullptr ? pChosen->property(kCommandProperty).toUInt() : 0;
    delete pMenu;
    if (nID != 0) {
        pMain->SendCommand(nID);
    }
}

void CBatchView::OnFileExport() {
    CBatchDoc* pDoc = GetDocument();
    if (pDoc != nullptr && pDoc->m_bHasData) {
        CExportFile::AskAndWriteGraph(this, pDoc->GetTitle(), [pDoc] { return Csv(*pDoc); });
    }
}

std::string CBatchView::Csv(const CBatchDoc& doc) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    CRecordExport::WriteBatchCsv(out, doc.ToRecord());
    return out.str();
}

bool CBatchView::Export(const std::string& strPath, CExportFile::Format format,
                        std::string* pReason) {
    CBatchDoc* pDoc = GetDocument();
    return pDoc != nullptr && pDoc->m_bHasData &&
           CExportFile::WriteGraph(
               strPath, format, this, [pDoc] { return Csv(*pDoc); }, pReason);
}
