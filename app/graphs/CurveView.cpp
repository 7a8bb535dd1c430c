#include "app/graphs/CurveView.h"

#include "app/framework/MDIChildWnd.h"
#include "app/framework/MDIFrameWnd.h"
#include "app/graphs/AxisScale.h"
#include "app/graphs/CurveDoc.h"
#include "app/graphs/GraphPaint.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Registry.h"
#include "app/shell/Resource.h"
#include "records/RecordExport.h"
#include "records/TimeText.h"

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
    MapCommand(
        ID_CURVE_AXES, [this] { SetAxesShown(!m_bShowAxes); },
        [this](CCmdUI& ui) { ui.SetCheck(m_bShowAxes ? 1 : 0); });
    DWORD axes = 1;
    if (ReadRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "CurveAxes", &axes)) {
        m_bShowAxes = axes != 0;
    }
}

void CCurveView::SetAxesShown(bool bShow) {
    m_bShowAxes = bShow;
    WriteRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "CurveAxes", bShow ? 1 : 0);
    update();
}

std::string CCurveView::Caption(const CCurveDoc& doc) {
    std::string text = doc.m_strStation.empty() ? std::string("Curve") : doc.m_strStation;
    text += " (node " + std::to_string(doc.m_nNodeID) + ")";
    if (doc.m_nTimeMs != 0) {
        text += ", " + CTimeText::FormatLocal(doc.m_nTimeMs);
    }
    return text;
}

void CCurveView::DrawOverlay(QPainter* pDC, const QRect& area, const CGraphMapping& mapping,
                             const QFont& font) {
    CCurveDoc* pDoc = GetDocument();
    pDC->save();
    pDC->resetTransform();
    pDC->setCompositionMode(QPainter::CompositionMode_SourceOver);
    QFont small = font;
    small.setPixelSize(std::max(area.height() / 40, 9));
    pDC->setFont(small);
    const QFontMetrics metrics(small);
    const int h = metrics.height();
    const int tick = std::max(h / 3, 3);
    const double line = std::max(h / 12.0, 1.0);
    QPen pen(Qt::black);
    pen.setWidthF(line);
    pDC->setPen(pen);
    const int left = area.left();
    const int right = area.left() + area.width() - 1;
    const int bottom = area.top() + area.height() - 1;
    if (m_bShowAxes) {
        // Force on the right edge (the results stand on the left), stroke along the bottom.
        const int yLow = m_nOriginY;
        const int yHigh = m_nOriginY + m_nRangeY;
        const int forceSteps = std::max(area.height() / (h * 3), 1);
        const double forceStep = CAxisScale::Step(yLow, yHigh, forceSteps);
        for (double f : CAxisScale::Ticks(yLow, yHigh, forceSteps)) {
            const int y = mapping.ToDevice(0, static_cast<int>(std::lround(f))).y();
            if (y < area.top() + h || y > bottom - h) {
                continue;
            }
            pDC->drawLine(right - tick, y, right, y);
            pDC->drawText(QRect(right - tick - 200, y - h / 2, 200 - 2, h),
                          Qt::AlignRight | Qt::AlignVCenter,
                          QString::fromStdString(CAxisScale::Label(f, forceStep)));
        }
        const int xLow = m_nOriginX;
        const int xHigh = m_nOriginX + m_nRangeX - 1;
        const int widest = metrics.horizontalAdvance(QStringLiteral("0000"));
        const int strokeSteps = std::max(area.width() / (widest * 2), 1);
        const double strokeStep = std::max(CAxisScale::Step(xLow, xHigh, strokeSteps), 1.0);
        for (double s : CAxisScale::Ticks(xLow, xHigh, strokeSteps)) {
            const int x = mapping.ToDevice(static_cast<int>(std::lround(s)), 0).x();
            if (x < left + widest || x > right - widest * 2) {
                continue;
            }
            pDC->drawLine(x, bottom - tick, x, bottom);
            pDC->drawText(QRect(x - widest, bottom - tick - h, widest * 2, h), Qt::AlignCenter,
                          QString::fromStdString(CAxisScale::Label(s, strokeStep)));
        }
        pDC->drawText(QRect(left, bottom - tick - h * 2, right - left - widest, h),
                      Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Stroke (samples)"));
        pDC->drawText(QRect(right - 200 - tick, area.top() + 2, 200, h),
                      Qt::AlignRight | Qt::AlignTop, QStringLiteral("Force"));

        // The legend in the upper right, under the force title.
        const QString names[] = {QStringLiteral("Reference"), QStringLiteral("Last crimp")};
        const QColor colours[] = {QColor(255, 0, 0), Qt::black};
        const int text =
            std::max(metrics.horizontalAdvance(names[0]), metrics.horizontalAdvance(names[1]));
        const int boxWidth = h * 3 + text;
        const QRect box(right - tick - h * 4 - boxWidth, area.top() + h + 6, boxWidth, h * 2 + 6);
        pDC->setBrush(QColor(255, 255, 255, 200));
        pDC->setPen(QPen(QColor(90, 90, 90), line));
        pDC->drawRect(box);
        for (int i = 0; i < 2; ++i) {
            const int y = box.top() + 3 + h * i + h / 2;
            QPen curve(colours[i]);
            curve.setWidthF(line * 2);
            pDC->setPen(curve);
            pDC->drawLine(box.left() + h / 3, y, box.left() + h * 2 - h / 3, y);
            pDC->setPen(pen);
            pDC->drawText(QRect(box.left() + h * 2, y - h / 2, text + h, h),
                          Qt::AlignLeft | Qt::AlignVCenter, names[i]);
        }
    }
    if (m_bExporting && pDoc != nullptr) {
        pDC->setPen(pen);
        pDC->drawText(QRect(left, area.top() + 2, area.width(), h), Qt::AlignHCenter | Qt::AlignTop,
                      QString::fromStdString(Caption(*pDoc)));
    }
    pDC->restore();
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
    DrawOverlay(pDC, area, mapping, m_lfLabels);
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
        m_bExporting = true;
        CExportFile::AskAndWriteGraph(this, pDoc->GetTitle(), [pDoc] { return Csv(*pDoc); });
        m_bExporting = false;
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
    if (pDoc == nullptr || !pDoc->m_bHasData) {
        return false;
    }
    m_bExporting = true;
    const bool bOk = CExportFile::WriteGraph(
        strPath, format, this, [pDoc] { return Csv(*pDoc); }, pReason);
    m_bExporting = false;
    return bOk;
}
