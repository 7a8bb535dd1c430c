#include "app/network/QuorvelView.h"

#include "app/framework/MDIFrameWnd.h"
#include "app/framework/MessageService.h"
#include "app/framework/Resources.h"
#include "app/framework/StringTable.h"
#include "app/history/HistoryRecorder.h"
#include "app/historyview/HistoryDoc.h"
#include "app/network/GroupRun.h"
#include "app/network/PressPropertiesDlg.h"
#include "app/network/QuorvelDoc.h"
#include "app/network/StationMonitor.h"
#include "app/shell/PressCollector.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Registry.h"
#include "app/shell/Resource.h"
#include "network/ZarnPort.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QToolTip>

std::function<std::string(const std::string&)> CQuorvelView::s_chooseBackground =
    [](const std::string& strFolder) {
        QString path =
            QFileDialog::getOpenFileName(nullptr, QString(), QString::fromStdString(strFolder),
                                         QStringLiteral("Bitmap Files (*.bmp)"));
        if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) {
            path += QStringLiteral(".bmp");
        }
        return path.toStdString();
    };

namespace {

constexpr int kIconSize = CPress::kIconSize;

// Operations of the group commands.
enum GroupOperation { opReset = 0, opNewReference = 1, opCurve = 2, opBatch = 3, opStatistics = 4 };

// The order to a station's analyser, recorded in the history as it is carried out.
CLineClient::Step OrderStep(const CPress& press, int nCode, int (CZarnPort::*order)(unsigned int)) {
    const auto node = static_cast<unsigned>(press.GetNodeID());
    CLineClient::Step step = [node, order](CZarnPort& port) { return (port.*order)(node) != 0; };
    CQuorvelApp* app = GetQuorvelApp();
    CHistoryRecorder* history = app != nullptr ? app->GetHistory() : nullptr;
    if (history == nullptr) {
        return step;
    }
    return history->ChangeStep(CHistoryRecorder::StationOf(press),
                               nCode == opReset ? CHistoryChange::Parameter::resetBatch
                                                : CHistoryChange::Parameter::newReference,
                               std::move(step));
}

// A command carried out: a confirmation in the status bar, and the statistics rows of the
// stations it changed read again.
void ConfirmAndReread(const std::string& strDone, const std::vector<int>& nodes) {
    CQuorvelApp* app = GetQuorvelApp();
    if (app == nullptr) {
        return;
    }
    if (!strDone.empty() && app->m_pMainWnd != nullptr) {
        app->m_pMainWnd->ShowConfirmation(strDone);
    }
    if (nodes.empty() || app->m_pStatsTemplate == nullptr) {
        return;
    }
    for (CDocument* pDoc : app->m_pStatsTemplate->GetDocuments()) {
        if (auto* pCollector = dynamic_cast<CPressCollector*>(pDoc)) {
            pCollector->Reread(nodes);
        }
    }
}

} // namespace

CQuorvelView::CQuorvelView() {
    ReadRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "Image", m_strImage);
    m_iconStation = CResources::LoadIcon(IDI_STATION);
    m_iconSelected = CResources::LoadIcon(IDI_STATION_SELECTED);
    m_labelFont = QFont(QStringLiteral("Small Font"));
    m_labelFont.setPixelSize(12);
    m_labelFont.setWeight(QFont::Normal);
    m_labelFont.setItalic(false);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);

    CQuorvelApp* app = GetQuorvelApp();
    // A download or statistics entry works only once its kind of window exists.
    auto whenTemplate = [app](CMultiDocTemplate* CQuorvelApp::*pTemplate) {
        return [app, pTemplate](CCmdUI& ui) {
            ui.Enable(app != nullptr && app->*pTemplate != nullptr);
        };
    };
    MapCommand(
        ID_DOWNLOAD_CURVE, [this] { OnDownloadCurve(); },
        whenTemplate(&CQuorvelApp::m_pCurveTemplate));
    MapCommand(
        ID_DOWNLOAD_BATCH, [this] { OnDownloadBatch(); },
        whenTemplate(&CQuorvelApp::m_pBatchTemplate));
    MapCommand(
        ID_ADD_TO_STATISTICS, [this] { OnAddToStatistics(); },
        whenTemplate(&CQuorvelApp::m_pStatsTemplate));
    MapCommand(
        ID_HISTORY_WINDOW, [this] { OnHistory(); }, whenTemplate(&CQuorvelApp::m_pHistoryTemplate));
    MapCommand(ID_RESET_BATCH, [this] { OnResetBatch(); });
    MapCommand(ID_NEW_REFERENCE, [this] { OnNewReference(); });
    MapCommand(
        ID_EDIT_PROPERTIES, [this] { EditProperties(GetCurPress()); },
        [this](CCmdUI& ui) { ui.Enable(GetGroupCount() == 0); });
    MapCommand(ID_ADD_NEW_PRESS, [this] { OnAddNewPress(); });
    MapCommand(ID_DELETE_PRESS, [this] { OnDeletePress(); });
    MapCommand(ID_SET_BACKGROUND, [this] { OnSetBackground(); });
    MapCommand(
        ID_VIEW_LEGEND, [this] { SetLegendShown(!m_bShowLegend); },
        [this](CCmdUI& ui) { ui.SetCheck(m_bShowLegend ? 1 : 0); });
    DWORD legend = 1;
    if (ReadRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "StatusLegend", &legend)) {
        m_bShowLegend = legend != 0;
    }
}

CQuorvelView::~CQuorvelView() = default;

CQuorvelDoc* CQuorvelView::GetDocument() const {
    return static_cast<CQuorvelDoc*>(CView::GetDocument());
}

CPoint CQuorvelView::ToLayout(QPoint point) const {
    const QPoint scroll = GetScrollPosition();
    return {point.x() + scroll.x(), point.y() + scroll.y()};
}

void CQuorvelView::RedrawNow() {
    update();
    repaint();
}

bool CQuorvelView::LoadBackground(const std::string& strPath) {
    m_image = QImage();
    m_palette.clear();
    if (strPath.empty()) {
        return false;
    }
    QImage image(QString::fromStdString(strPath));
    if (image.isNull()) {
        return false;
    }
    if (image.depth() <= 8) {
        // The picture's own colours, padded to a full 256-entry palette.
        const QList<QRgb> table = image.colorTable();
        m_palette.assign(256, qRgb(0, 0, 0));
        for (int i = 0; i < table.size() && i < 256; ++i) {
            m_palette[static_cast<std::size_t>(i)] = table[i] | 0xFF000000u;
        }
        image.setColorTable(QList<QRgb>(m_palette.begin(),
                                        m_palette.begin() + std::max<qsizetype>(table.size(), 1)));
    }
    m_image = image.convertToFormat(QImage::Format_RGB32);
    return true;
}

void CQuorvelView::OnInitialUpdate() {
    CScrollView::OnInitialUpdate();
    if (LoadBackground(m_strImage)) {
        SetScrollSizes(m_image.size());
    } else {
        SetScrollSizes(QSize(kDefaultExtent, kDefaultExtent));
    }
}

void CQuorvelView::OnDraw(QPainter* pDC) {
    if (!m_image.isNull()) {
        pDC->drawImage(0, 0, m_image);
    }
    DrawPresses(pDC, false);
}

void CQuorvelView::DrawPresses(QPainter* pDC, bool bShifted) {
    CQuorvelDoc* doc = GetDocument();
    if (doc == nullptr) {
        return;
    }
    pDC->save();
    pDC->setFont(m_labelFont);
    pDC->setBackgroundMode(Qt::TransparentMode);
    const QFontMetrics metrics(m_labelFont);
    const QPoint scroll = bShifted ? GetScrollPosition() : QPoint(0, 0);
    const CStationStatus* status = Status();
    for (const auto& press : doc->GetPresses()) {
        const bool selected = press->IsSelected();
        const CRect rect = press->GetRect().Offset(-scroll.x(), -scroll.y());
        const QIcon& icon = selected ? m_iconSelected : m_iconStation;
        pDC->drawPixmap(rect.left, rect.top, icon.pixmap(kIconSize, kIconSize));
        const QString name = QString::fromStdString(press->GetName());
        const CPoint at = LabelPosition(rect, metrics.horizontalAdvance(name), metrics.height());
        if (IsMarkedInGroup(press.get())) {
            const QRect label(at.x, at.y, metrics.horizontalAdvance(name), metrics.height());
            const QRect mark = QRect(rect.left, rect.top, kIconSize, kIconSize)
                                   .united(label)
                                   .adjusted(-3, -3, 3, 3);
            pDC->setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DashLine));
            pDC->setBrush(Qt::NoBrush);
            pDC->drawRect(mark);
        }
        pDC->setPen(selected ? palette().color(QPalette::Highlight) : QColor(Qt::black));
        // The label's top-left corner is at the computed point.
        pDC->drawText(QPoint(at.x, at.y + metrics.ascent()), name);
        if (status != nullptr) {
            DrawBadge(pDC, QPoint(rect.left + kIconSize - 6, rect.top + 6),
                      status->GetState(press->GetNodeID()));
        }
    }
    pDC->restore();
}

bool CQuorvelView::IsMarkedInGroup(const CPress* pPress) const {
    // In group mode the group stays marked, whichever station a click has highlighted since.
    CQuorvelDoc* doc = GetDocument();
    if (doc == nullptr || GetGroupCount() == 0) {
        return false;
    }
    const std::vector<CPress*>& group = doc->GetGroup();
    return std::find(group.begin(), group.end(), pPress) != group.end();
}

const CStationStatus* CQuorvelView::Status() const {
    CQuorvelApp* app = GetQuorvelApp();
    return app != nullptr && app->m_pMonitor != nullptr ? &app->m_pMonitor->GetStatus() : nullptr;
}

void CQuorvelView::DrawBadge(QPainter* pDC, QPoint centre, CStationStatus::State state) {
    // Each state has a shape of its own as well as a colour.
    pDC->save();
    pDC->setRenderHint(QPainter::Antialiasing);
    pDC->setPen(QPen(QColor(40, 40, 40), 1));
    const QRectF box(centre.x() - 5.5, centre.y() - 5.5, 11, 11);
    switch (state) {
    case CStationStatus::State::answering: // a green disc
        pDC->setBrush(QColor(0, 158, 115));
        pDC->drawEllipse(box);
        break;
    case CStationStatus::State::silent: { // a red square with a cross
        pDC->setBrush(QColor(213, 94, 0));
        pDC->drawRect(box);
        pDC->setPen(QPen(Qt::white, 1.5));
        pDC->drawLine(box.topLeft() + QPointF(3, 3), box.bottomRight() - QPointF(3, 3));
        pDC->drawLine(box.topRight() + QPointF(-3, 3), box.bottomLeft() + QPointF(3, -3));
        break;
    }
    case CStationStatus::State::alarm: { // an amber triangle with a bar
        const QPointF points[] = {QPointF(centre.x(), centre.y() - 6.5),
                                  QPointF(centre.x() + 6.5, centre.y() + 5.5),
                                  QPointF(centre.x() - 6.5, centre.y() + 5.5)};
        pDC->setBrush(QColor(230, 159, 0));
        pDC->drawPolygon(points, 3);
        pDC->setPen(QPen(Qt::black, 1.5));
        pDC->drawLine(QPointF(centre.x(), centre.y() - 2.5), QPointF(centre.x(), centre.y() + 1.5));
        pDC->drawPoint(QPointF(centre.x(), centre.y() + 3.5));
        break;
    }
    case CStationStatus::State::lineLost: { // a blue diamond with a broken bar
        const QPointF points[] = {
            QPointF(centre.x(), centre.y() - 6.5), QPointF(centre.x() + 6.5, centre.y()),
            QPointF(centre.x(), centre.y() + 6.5), QPointF(centre.x() - 6.5, centre.y())};
        pDC->setBrush(QColor(0, 114, 178));
        pDC->drawPolygon(points, 4);
        pDC->setPen(QPen(Qt::white, 1.5));
        pDC->drawLine(QPointF(centre.x() - 3.5, centre.y()), QPointF(centre.x() - 1, centre.y()));
        pDC->drawLine(QPointF(centre.x() + 1, centre.y()), QPointF(centre.x() + 3.5, centre.y()));
        break;
    }
    default: // not yet known: a hollow grey ring
        pDC->setPen(QPen(QColor(120, 120, 120), 2));
        pDC->setBrush(Qt::white);
        pDC->drawEllipse(box.adjusted(1, 1, -1, -1));
        break;
    }
    pDC->restore();
}

QRect CQuorvelView::PlaceLegend(QSize view, QSize legend, const std::vector<QRect>& stations) {
    constexpr int kMargin = 4;
    const int right = view.width() - legend.width() - kMargin;
    const int bottom = view.height() - legend.height() - kMargin;
    // Lower left first, where it always stood; then the other corners.
    const QPoint corners[] = {
        {kMargin, bottom}, {right, bottom}, {right, kMargin}, {kMargin, kMargin}};
    for (const QPoint& corner : corners) {
        const QRect box(corner, legend);
        if (box.left() < 0 || box.top() < 0) {
            continue;
        }
        if (std::none_of(stations.begin(), stations.end(),
                         [&box](const QRect& station) { return station.intersects(box); })) {
            return box;
        }
    }
    return {};
}

std::vector<QRect> CQuorvelView::StationAreas() const {
    std::vector<QRect> areas;
    CQuorvelDoc* doc = GetDocument();
    if (doc == nullptr) {
        return areas;
    }
    const QFontMetrics metrics(m_labelFont);
    const QPoint scroll = GetScrollPosition();
    for (const auto& press : doc->GetPresses()) {
        const CRect rect = press->GetRect().Offset(-scroll.x(), -scroll.y());
        const QString name = QString::fromStdString(press->GetName());
        const int width = metrics.horizontalAdvance(name);
        const CPoint at = LabelPosition(rect, width, metrics.height());
        // The icon with its badge, and the name above it.
        areas.push_back(QRect(rect.left, rect.top, kIconSize + 2, kIconSize)
                            .united(QRect(at.x, at.y, width, metrics.height()))
                            .adjusted(-2, -2, 2, 2));
    }
    return areas;
}

void CQuorvelView::paintEvent(QPaintEvent* pEvent) {
    CScrollView::paintEvent(pEvent);
    m_legendBox = QRect();
    if (Status() == nullptr || !m_bShowLegend) {
        return;
    }
    // The legend stands over the layout in a corner where it covers no station: a column, or
    // where that finds no room, two rows or one. With no room anywhere it is left out.
    QPainter painter(this);
    painter.setFont(m_labelFont);
    const QFontMetrics metrics(m_labelFont);
    static const CStationStatus::State s_states[] = {
        CStationStatus::State::answering, CStationStatus::State::alarm,
        CStationStatus::State::silent, CStationStatus::State::lineLost,
        CStationStatus::State::unknown};
    const int nStates = static_cast<int>(std::size(s_states));
    const int row = std::max(metrics.height(), 14);
    int width = 0;
    for (CStationStatus::State state : s_states) {
        width = std::max(width, metrics.horizontalAdvance(CStationStatus::StateName(state)));
    }
    const int entry = width + 30;
    const std::vector<QRect> stations = StationAreas();
    QRect box;
    int nRows = nStates;
    for (int rows : {nStates, 2, 1}) {
        const int columns = (nStates + rows - 1) / rows;
        box = PlaceLegend(GetViewportSize(), QSize(entry * columns, row * rows + 6), stations);
        if (!box.isNull()) {
            nRows = rows;
            break;
        }
    }
    if (box.isNull()) {
        return;
    }
    m_legendBox = box;
    painter.setPen(QColor(160, 160, 160));
    painter.setBrush(QColor(255, 255, 255, 220));
    painter.drawRect(box);
    for (int i = 0; i < nStates; ++i) {
        const int x = box.left() + entry * (i / nRows);
        const int y = box.top() + 3 + row * (i % nRows);
        DrawBadge(&painter, QPoint(x + 12, y + row / 2), s_states[i]);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(x + 24, y + (row + metrics.ascent()) / 2 - 1),
                         QString::fromLatin1(CStationStatus::StateName(s_states[i])));
    }
}

void CQuorvelView::SetLegendShown(bool bShow) {
    m_bShowLegend = bShow;
    WriteRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "StatusLegend", bShow ? 1 : 0);
    update();
}

CPress* CQuorvelView::HitTestPress(QPoint point, bool bUpdate) {
    CQuorvelDoc* doc = GetDocument();
    if (doc == nullptr) {
        return nullptr;
    }
    return m_selection.HitTest(doc->GetPresses(), ToLayout(point), bUpdate);
}

void CQuorvelView::mousePressEvent(QMouseEvent* pEvent) {
    CQuorvelDoc* doc = GetDocument();
    const QPoint point = pEvent->position().toPoint();
    if (doc == nullptr) {
        return;
    }
    if (pEvent->button() == Qt::RightButton) {
        OpenContextMenu(point);
        return;
    }
    if (pEvent->button() != Qt::LeftButton) {
        return;
    }
    if (!m_selection.LeftDown(doc->GetPresses(), ToLayout(point))) {
        // Nothing hit: a rubber band from here.
        if (m_pBand == nullptr) {
            m_pBand = new QRubberBand(QRubberBand::Rectangle, this);
        }
        m_bandOrigin = point;
        m_pBand->setGeometry(QRect(point, QSize()));
        m_pBand->show();
        m_bBanding = true;
    }
    update();
}

void CQuorvelView::mouseMoveEvent(QMouseEvent* pEvent) {
    if (m_bBanding) {
        m_pBand->setGeometry(QRect(m_bandOrigin, pEvent->position().toPoint()).normalized());
        return;
    }
    m_selection.MouseMove((pEvent->buttons() & Qt::LeftButton) != 0);
    if (m_selection.IsDragging()) {
        setCursor(CResources::LoadCursor(IDC_MOVE));
    } else {
        unsetCursor();
    }
}

void CQuorvelView::mouseReleaseEvent(QMouseEvent* pEvent) {
    if (pEvent->button() != Qt::LeftButton) {
        return;
    }
    CQuorvelDoc* doc = GetDocument();
    const QPoint point = pEvent->position().toPoint();
    if (m_bBanding) {
        m_bBanding = false;
        m_pBand->hide();
        if (doc != nullptr) {
            const CPoint a = ToLayout(m_bandOrigin);
            const CPoint b = ToLayout(point);
            m_selection.RubberBand(doc->GetPresses(), doc->GetGroup(), CRect{a.x, a.y, b.x, b.y});
        }
        update();
        return;
    }
    if (m_selection.IsDragging()) {
        m_selection.LeftUp(ToLayout(point));
        unsetCursor();
        RedrawNow();
    }
}

void CQuorvelView::mouseDoubleClickEvent(QMouseEvent* pEvent) {
    if (pEvent->button() != Qt::LeftButton) {
        return;
    }
    // The press that began the double-click chose the station.
    if (CPress* press = GetCurPress()) {
        EditProperties(press);
    }
}

void CQuorvelView::resizeEvent(QResizeEvent* pEvent) {
    CScrollView::resizeEvent(pEvent);
    update();
}

bool CQuorvelView::event(QEvent* pEvent) {
    if (pEvent->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(pEvent);
        // A tool tip asks without changing the selection.
        CNetworkSelection probe = m_selection;
        CQuorvelDoc* doc = GetDocument();
        CPress* press = doc != nullptr
                            ? probe.HitTest(doc->GetPresses(), ToLayout(help->pos()), false)
                            : nullptr;
        if (press != nullptr) {
            const CStationStatus* status = Status();
            QToolTip::showText(help->globalPos(),
                               QString::fromStdString(status != nullptr ? status->Describe(*press)
                                                                        : press->GetName()),
                               this);
        } else {
            QToolTip::hideText();
            pEvent->ignore();
        }
        return true;
    }
    return CScrollView::event(pEvent);
}

void CQuorvelView::OpenContextMenu(QPoint point) {
    CQuorvelDoc* doc = GetDocument();
    const CNetworkSelection::Menu menu = m_selection.RightDown(doc->GetPresses(), ToLayout(point));
    update();
    m_nLastMenu = static_cast<UINT>(menu);
    CQuorvelApp* app = GetQuorvelApp();
    if (app != nullptr && app->m_pMainWnd != nullptr) {
        app->m_pMainWnd->TrackPopupMenu(m_nLastMenu, 0, mapToGlobal(point));
    }
}

void CQuorvelView::EditProperties(CPress* pPress) {
    CQuorvelApp* app = GetQuorvelApp();
    if (pPress == nullptr || app == nullptr) {
        return;
    }
    CPressPropertiesDlg dlg(GetDocument(), pPress, app->m_pLine, this);
    if (dlg.DoModal() != IDOK) {
        return;
    }
    // The name is the only thing drawn, so only a new name needs the window redrawn.
    if (dlg.GetValues().ApplyTo(*pPress)) {
        RedrawNow();
    }
}

void CQuorvelView::RunOnGroup(int nCode) {
    CQuorvelDoc* doc = GetDocument();
    CQuorvelApp* app = GetQuorvelApp();
    CLineClient* line = app != nullptr ? app->m_pLine : nullptr;
    if (doc == nullptr || line == nullptr) {
        return;
    }
    static const char* const s_titles[] = {"Group reset", "Group new reference", "Group download",
                                           "Group batch download", "Group statistics"};
    if (nCode < opReset || nCode > opStatistics) {
        return;
    }
    CGroupRun::Action action;
    switch (nCode) {
    case opReset:
    case opNewReference: {
        // The analysers' answers to these get no message of their own in a group; the
        // summary at its end names the stations that refused.
        int (CZarnPort::*order)(unsigned int) =
            nCode == opReset ? &CZarnPort::ResetBatchBuffer : &CZarnPort::NewReference;
        action = [line, this, order, nCode](CPress* press, CLineJob job) {
            auto pJob = std::make_shared<CLineJob>(std::move(job));
            line->Post(
                this, {OrderStep(*press, nCode, order)},
                [pJob](const CLineClient::Result& result) {
                    pJob->bOk = result.outcome == CLineClient::Outcome::done;
                    pJob->bCancelled = result.outcome == CLineClient::Outcome::cancelled;
                    if (result.error == ZarnError::refused) {
                        pJob->strRefusal = CLineClient::RefusalText(result, {});
                    }
                    pJob->Finish();
                },
                pJob->pOperation);
        };
        break;
    }
    case opCurve:
        action = [app](CPress* press, CLineJob job) {
            app->OpenCurveWindow(press, std::move(job));
        };
        break;
    case opBatch:
        action = [app](CPress* press, CLineJob job) {
            app->OpenBatchWindow(press, std::move(job));
        };
        break;
    default:
        action = [app](CPress* press, CLineJob job) {
            app->AddToStatistics(press, TRUE, std::move(job));
        };
        break;
    }
    // A copy: opening windows may not change which stations are worked on.
    auto* run = new CGroupRun(*line, doc->GetGroup(), s_titles[nCode], std::move(action), this);
    // Success is said briefly where the operator looks, without a message to close; what a
    // reset or new reference changed shows in the statistics at once.
    const bool bChanges = nCode == opReset || nCode == opNewReference;
    run->SetOnEnded([bChanges](const std::vector<int>& nodes, const std::string& strDone) {
        ConfirmAndReread(strDone, bChanges ? nodes : std::vector<int>{});
    });
    run->Start();
}

void CQuorvelView::RunOnSelection(int nGroupCode, const char* pszWhat,
                                  void (*single)(CQuorvelApp&, CPress*, CLineJob)) {
    CQuorvelApp* app = GetQuorvelApp();
    if (GetGroupCount() != 0) {
        RunOnGroup(nGroupCode);
    } else if (CPress* press = GetCurPress(); press != nullptr && app != nullptr) {
        // One station: straight to its window, without asking whether it answers first.
        single(*app, press, CLineJob(BeginOperation(pszWhat, *press), nullptr));
    }
}

std::shared_ptr<CLineOperation> CQuorvelView::BeginOperation(const char* pszWhat,
                                                             const CPress& press) {
    CQuorvelApp* app = GetQuorvelApp();
    if (app == nullptr || app->m_pLine == nullptr) {
        return nullptr;
    }
    auto op = app->m_pLine->BeginOperation(std::string(pszWhat) + ": " + CGroupRun::Label(press));
    op->AddBusyWindow(this);
    return op;
}

void CQuorvelView::OnDownloadCurve() {
    RunOnSelection(opCurve, "Downloading force curve",
                   [](CQuorvelApp& app, CPress* press, CLineJob job) {
                       app.OpenCurveWindow(press, std::move(job));
                   });
}

void CQuorvelView::OnDownloadBatch() {
    RunOnSelection(opBatch, "Downloading batch buffer",
                   [](CQuorvelApp& app, CPress* press, CLineJob job) {
                       app.OpenBatchWindow(press, std::move(job));
                   });
}

void CQuorvelView::OnAddToStatistics() {
    RunOnSelection(opStatistics, "Reading statistics",
                   [](CQuorvelApp& app, CPress* press, CLineJob job) {
                       app.AddToStatistics(press, TRUE, std::move(job));
                   });
}

void CQuorvelView::OnHistory() {
    CQuorvelDoc* doc = GetDocument();
    std::vector<CHistoryDoc::Station> stations;
    if (GetGroupCount() != 0 && doc != nullptr) {
        for (const CPress* press : doc->GetGroup()) {
            stations.emplace_back(press->GetName(), press->GetNodeID());
        }
    } else if (const CPress* press = GetCurPress()) {
        stations.emplace_back(press->GetName(), press->GetNodeID());
    }
    CHistoryDoc::OpenFor(stations);
}

void CQuorvelView::ConfirmAndOrder(UINT nQuestion, int nGroupCode, const char* pszWhat,
                                   int (CZarnPort::*order)(unsigned int), UINT nFailure) {
    // The question names every station the order will go to; No is the safe default.
    CQuorvelDoc* doc = GetDocument();
    std::vector<const CPress*> targets;
    if (GetGroupCount() != 0 && doc != nullptr) {
        targets.assign(doc->GetGroup().begin(), doc->GetGroup().end());
    } else if (GetCurPress() != nullptr) {
        targets.push_back(GetCurPress());
    }
    std::string question = CStringTable::Load(nQuestion);
    while (!question.empty() && question.back() == '\n') {
        question.pop_back();
    }
    question += "\n\nStations:";
    for (const CPress* target : targets) {
        question += "\n    " + CGroupRun::Label(*target);
    }
    if (AfxMessageBox(question, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES) {
        return;
    }
    if (GetGroupCount() != 0) {
        RunOnGroup(nGroupCode);
        return;
    }
    CQuorvelApp* app = GetQuorvelApp();
    CPress* press = GetCurPress();
    if (press == nullptr) {
        return;
    }
    std::shared_ptr<CLineOperation> op = BeginOperation(pszWhat, *press);
    if (op == nullptr) {
        AfxMessageBox(nFailure, MB_OK | MB_ICONSTOP);
        return;
    }
    app->m_pLine->Post(
        this, {OrderStep(*press, nGroupCode, order)},
        [op, nFailure, nNodeID = press->GetNodeID(),
         strDone = std::string(pszWhat) + ": " + press->GetName() + " done.",
         strStation = CGroupRun::Label(*press)](const CLineClient::Result& result) {
            op->End();
            if (result.outcome == CLineClient::Outcome::done) {
                ConfirmAndReread(strDone, {nNodeID});
            }
            if (result.outcome != CLineClient::Outcome::done &&
                result.outcome != CLineClient::Outcome::cancelled) {
                AfxMessageBox(LineFailureText(result, CStringTable::Load(nFailure), strStation),
                              MB_OK | MB_ICONSTOP);
            }
        },
        op);
}

void CQuorvelView::OnResetBatch() {
    ConfirmAndOrder(IDS_CONFIRM_RESET, opReset, "Resetting batch buffer",
                    &CZarnPort::ResetBatchBuffer, IDS_RESET_FAILED);
}

void CQuorvelView::OnNewReference() {
    ConfirmAndOrder(IDS_CONFIRM_NEW_REFERENCE, opNewReference, "Ordering new reference",
                    &CZarnPort::NewReference, IDS_NEW_REFERENCE_FAILED);
}

void CQuorvelView::OnAddNewPress() {
    if (CQuorvelDoc* doc = GetDocument()) {
        doc->AddNewPress();
        RedrawNow();
    }
}

void CQuorvelView::OnDeletePress() {
    CQuorvelDoc* doc = GetDocument();
    CPress* press = GetCurPress();
    if (doc == nullptr || press == nullptr) {
        return;
    }
    if (AfxMessageBox("Are you sure?", MB_YESNO | MB_ICONEXCLAMATION) != IDYES) {
        return;
    }
    m_selection.Forget(press, doc->GetGroup());
    doc->RemovePress(press);
    m_selection.SetCurPress(nullptr);
    RedrawNow();
}

std::string CQuorvelView::BackgroundFolder() const {
    std::string path = m_strImage;
    if (path.empty()) {
        path = QCoreApplication::applicationFilePath().toStdString();
    }
    const std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) {
        return path;
    }
    return path.substr(0, slash);
}

void CQuorvelView::OnSetBackground() {
    const std::string chosen = s_chooseBackground ? s_chooseBackground(BackgroundFolder()) : "";
    if (chosen.empty()) {
        return;
    }
    m_strImage = chosen;
    WriteRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "Image", m_strImage);
    if (LoadBackground(m_strImage)) {
        SetScrollSizes(m_image.size());
    }
    RedrawNow();
}
