#include "app/graphs/CurveView.h"

#include "app/framework/MDIChildWnd.h"
#include "app/framework/MDIFrameWnd.h"
#include "app/graphs/CurveDoc.h"
#include "app/graphs/GraphPaint.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Resource.h"
#include "records/RecordExport.h"

#include <QPaintEngine>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>
#include <limits>
#include <locale>
#include <sstream>

namespace {

constexpr int kScreenLabelHeight = 175;
constexpr int kPrinterLabelHeight = 100;

// The ground of every curve window, made once for the whole run.
const QBrush& GroundBrush() {
    static const QBrush brush(QColor(0, 150, 0));
    return brush;
}

int ClampToInt(long long v) {
    return static_cast<int>(
        std::clamp<long long>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

} // namespace

CCurveView::CCurveView() {
    MapCommand(
        ID_FILE_EXPORT, [this] { OnFileExport(); },
        [this](CCmdUI& ui) {
            CCurveDoc* pDoc = GetDocument();
            ui.Enable(pDoc != nullptr && pDoc->m_bHasData);
        });
    m_lfLabels.setFamily("MS Sans Serif");
    m_lfLabels.setPixelSize(kScreenLabelHeight);
    setMouseTracking(true);
    MapCommand(
        ID_CURVE_ZOOM_OUT, [this] { OnZoomOut(); },
        [this](CCmdUI& ui) { ui.Enable(m_nRangeX != kFullRangeX); });
}

CCurveDoc* CCurveView::GetDocument() const {
    return dynamic_cast<CCurveDoc*>(CView::GetDocument());
}

void CCurveView::OnInitialUpdate() {
    CView::OnInitialUpdate();
    m_pDoc = GetDocument();
    if (m_pDoc != nullptr) {
        m_pDoc->SetTitle(m_pDoc->m_strSavedTitle);
    }
}

void CCurveView::OnNewData() {
    if (CCurveDoc* pDoc = GetDocument()) {
        m_strLabels = FormatLabels(*pDoc);
    }
}

QBrush CCurveView::Ground() const {
    return GroundBrush();
}

void CCurveView::OnDraw(QPainter* pDC) {
    CCurveDoc* pDoc = GetDocument();
    if (pDoc == nullptr || !pDoc->m_bHasData || CGraphPaint::IsMinimized(this)) {
        return;
    }
    pDC->save();
    QRect area;
    if (IsPrinting(pDC)) {
        area = CGraphPaint::PrintTitle(pDC, pDoc->GetTitle());
        m_lfLabels.setPixelSize(kPrinterLabelHeight);
    } else {
        area = rect();
        m_lfLabels.setPixelSize(kScreenLabelHeight);
    }
    const CGraphMapping mapping = Mapping(area);

    // Labels: placed in graph units and sized by the mapping, but upright.
    pDC->resetTransform();
    QFont font = m_lfLabels;
    const double height = std::fabs(m_lfLabels.pixelSize() * mapping.ScaleY());
    font.setPixelSize(std::clamp(static_cast<int>(std::lround(height)), 1,
                                 std::max(2 * std::max(area.height(), 1), 1)));
    pDC->setFont(font);
    pDC->setBackgroundMode(Qt::TransparentMode);
    pDC->setPen(Qt::black);
    for (int i = 0; i < kLabels; ++i) {
        CGraphPaint::TextAt(pDC, mapping.ToDevice(kLabelX, kLabelY[i]), Qt::AlignLeft,
                            m_strLabels[i]);
    }

    pDC->setTransform(mapping.Transform());
    // Zone lines: the dots darken what lies under them without wiping out the gaps.
    if (pDC->paintEngine() != nullptr &&
        pDC->paintEngine()->hasFeature(QPaintEngine::RasterOpModes)) {
        pDC->setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    }
    CGraphPaint::SetPen(pDC, Qt::black, Qt::DotLine);
    const int* z = pDoc->m_nZoneInfo;
    const int zones[5] = {z[0], z[1], z[2], z[3], ClampToInt(static_cast<long long>(z[3]) + z[4])};
    for (int x : zones) {
        pDC->drawLine(QPoint(x, 0), QPoint(x, kFullRangeY));
    }
    pDC->setCompositionMode(QPainter::CompositionMode_SourceOver);

    QPolygon reference(CCurveDoc::kDownloadedPoints);
    QPolygon force(CCurveDoc::kDownloadedPoints);
    for (int i = 0; i < CCurveDoc::kDownloadedPoints; ++i) {
        reference.setPoint(i, pDoc->m_pReference[i].x, pDoc->m_pReference[i].y);
        force.setPoint(i, pDoc->m_pForce[i].x, pDoc->m_pForce[i].y);
    }
    CGraphPaint::SetPen(pDC, QColor(255, 0, 0), Qt::SolidLine);
    pDC->drawPolyline(reference);
    CGraphPaint::SetPen(pDC, Qt::black, Qt::SolidLine);
    pDC->drawPolyline(force);
    pDC->restore();
}

void CCurveView::OpenContextMenu(QPoint point) {
    CQuorvelApp* pApp = GetQuorvelApp();
    if (pApp != nullptr && pApp->m_pMainWnd != nullptr) {
        pApp->m_pMainWnd->TrackPopupMenu(IDR_CURVE_MENU, 0, mapToGlobal(point));
    }
}

void CCurveView::mouseMoveEvent(QMouseEvent* pEvent) {
    UpdateCursor();
    CZoomView::mouseMoveEvent(pEvent);
}

bool CCurveView::ZoomTo(const QRect& band) {
    return Zoom(band, size());
}

void CCurveView::enterEvent(QEnterEvent* pEvent) {
    UpdateCursor();
    CView::enterEvent(pEvent);
}

void CCurveView::UpdateCursor() {
    // The magnifier only over the active curve window.
    CQuorvelApp* pApp = GetQuorvelApp();
    CMDIChildWnd* pFrame = GetParentFrame();
    if (pApp != nullptr && pApp->m_pMainWnd != nullptr && pFrame != nullptr &&
        pApp->m_pMainWnd->MDIGetActive() == pFrame) {
        setCursor(m_hZoomCursor);
    } else {
        unsetCursor();
    }
}

void CCurveView::OnFileExport() {
    CCurveDoc* pDoc = GetDocument();
    if (pDoc != nullptr && pDoc->m_bHasData) {
        CExportFile::AskAndWriteGraph(this, pDoc->GetTitle(), [pDoc] { return Csv(*pDoc); });
    }
}

std::string CCurveView::Csv(const CCurveDoc& doc) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    CRecordExport::WriteCurveCsv(out, doc.ToRecord());
    return out.str();
}

bool CCurveView::Export(const std::string& strPath, CExportFile::Format format,
                        std::string* pReason) {
    CCurveDoc* pDoc = GetDocument();
    return pDoc != nullptr && pDoc->m_bHasData &&
           CExportFile::WriteGraph(
               strPath, format, this, [pDoc] { return Csv(*pDoc); }, pReason);
}
