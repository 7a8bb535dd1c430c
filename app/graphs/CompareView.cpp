#include "app/graphs/CompareView.h"

#include "app/framework/Dialog.h"
#include "app/framework/MDIFrameWnd.h"
#include "app/framework/MessageService.h"
#include "app/framework/StringTable.h"
#include "app/graphs/CompareDoc.h"
#include "app/graphs/CurveHistory.h"
#include "app/graphs/GraphFormat.h"
#include "app/graphs/GraphPaint.h"
#include "app/shell/QuorvelApp.h"
#include "app/shell/Resource.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace {

// The property the main window's menus carry their command numbers in.
constexpr const char* kCommandProperty = "quorvelCommand";
// A picture export: large enough to print, its text at a size that reads at that width.
constexpr int kPngWidth = 1600;
constexpr int kPngHeight = 1000;
constexpr int kPngTextPixels = 18;

} // namespace

CCompareView::CCompareView() {
    EnableStandardPrinting();
    MapCommand(ID_COMPARE_ADD_WINDOWS, [this] { OnAddWindows(); });
    MapCommand(ID_COMPARE_ADD_FILE, [this] { OnAddFile(); });
    MapCommand(
        ID_COMPARE_ADD_HISTORY, [this] { OnAddHistory(); },
        [](CCmdUI& ui) { ui.Enable(CCurveHistory::IsAvailable()); });
    MapCommand(ID_COMPARE_EXPORT_PNG, [this] { OnExportPng(); });
    MapCommand(ID_COMPARE_EXPORT_PDF, [this] { OnExportPdf(); });
    MapCommand(
        ID_COMPARE_REMOVE_ALL,
        [this] {
            if (CCompareDoc* pDoc = GetDocument()) {
                pDoc->RemoveAll();
            }
        },
        [this](CCmdUI& ui) {
            CCompareDoc* pDoc = GetDocument();
            ui.Enable(pDoc != nullptr && !pDoc->GetCurves().empty());
        });
}

CCompareDoc* CCompareView::GetDocument() const {
    return dynamic_cast<CCompareDoc*>(CView::GetDocument());
}

std::string CCompareView::Heading() const {
    CCompareDoc* pDoc = GetDocument();
    const std::size_t n = pDoc != nullptr ? pDoc->GetCurves().size() : 0;
    return CGraphFormat::Format("Force curves compared: %zu", n);
}

void CCompareView::OnDraw(QPainter* pDC) {
    CCompareDoc* pDoc = GetDocument();
    if (pDoc == nullptr || CGraphPaint::IsMinimized(this)) {
        return;
    }
    QRect area = rect();
    if (IsPrinting(pDC)) {
        area = CGraphPaint::PrintTitle(pDC, pDoc->GetTitle());
    } else {
        pDC->fillRect(area, Qt::white);
    }
    m_plot.Draw(pDC, area, pDoc->GetCurves(), Heading());
}

void CCompareView::OnAddWindows() {
    CCompareDoc* pDoc = GetDocument();
    if (pDoc == nullptr) {
        return;
    }
    bool bFull = false;
    const int added = pDoc->AddOpenCurveWindows(bFull);
    if (bFull) {
        AfxMessageBox(IDS_COMPARE_FULL, MB_OK | MB_ICONINFORMATION);
    } else if (added == 0) {
        AfxMessageBox(IDS_COMPARE_NO_WINDOWS, MB_OK | MB_ICONINFORMATION);
    }
}

void CCompareView::OnAddFile() {
    if (CMessageService::IsEnding()) {
        return;
    }
    QFileDialog dialog(this, QStringLiteral("Add Curve File"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(QStringLiteral("Zarn Force Curves (*.cur)"));
    if (CDialog::RunModal(dialog) != IDOK) {
        return;
    }
    std::vector<std::string> paths;
    for (const QString& file : dialog.selectedFiles()) {
        paths.push_back(file.toStdString());
    }
    AddFiles(paths);
}

void CCompareView::AddFiles(const std::vector<std::string>& paths) {
    CCompareDoc* pDoc = GetDocument();
    if (pDoc == nullptr) {
        return;
    }
    for (const std::string& path : paths) {
        bool bFull = false;
        if (!pDoc->AddFile(path, bFull)) {
            AfxMessageBox(CStringTable::Format1(IDS_COMPARE_NOT_A_CURVE, path),
                          MB_OK | MB_ICONSTOP);
        } else if (bFull) {
            AfxMessageBox(IDS_COMPARE_FULL, MB_OK | MB_ICONINFORMATION);
            return;
        }
    }
}

void CCompareView::OnAddHistory() {
    CCompareDoc* pDoc = GetDocument();
    if (pDoc == nullptr) {
        return;
    }
    int nAgain = 0;
    for (CCompareCurve& curve : CCurveHistory::Pick(this)) {
        const CCompareDoc::Added added = pDoc->AddCurve(std::move(curve));
        if (added == CCompareDoc::Added::full) {
            AfxMessageBox(IDS_COMPARE_FULL, MB_OK | MB_ICONINFORMATION);
            return;
        }
        nAgain += added == CCompareDoc::Added::duplicate ? 1 : 0;
    }
    // A curve compared already is not added twice; the operator is told without a message.
    CQuorvelApp* pApp = GetQuorvelApp();
    if (nAgain != 0 && pApp != nullptr && pApp->m_pMainWnd != nullptr) {
        pApp->m_pMainWnd->ShowConfirmation(
            nAgain == 1 ? std::string("The curve is compared already; it was not added again.")
                        : std::to_string(nAgain) +
                              " curves are compared already; they were not added again.");
    }
}

std::string CCompareView::AskExportPath(const char* pszFilter, const char* pszSuffix) {
    if (CMessageService::IsEnding()) {
        return {};
    }
    QFileDialog dialog(this, QStringLiteral("Export"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QString::fromLatin1(pszFilter));
    dialog.setDefaultSuffix(QString::fromLatin1(pszSuffix));
    dialog.selectFile(QStringLiteral("curves.") + QString::fromLatin1(pszSuffix));
    if (CDialog::RunModal(dialog) != IDOK || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front().toStdString();
}

void CCompareView::OnExportPng() {
    const std::string path = AskExportPath("PNG Pictures (*.png)", "png");
    if (!path.empty() && !ExportPng(path)) {
        AfxMessageBox(CStringTable::Format1(IDS_COMPARE_EXPORT_FAILED, path), MB_OK | MB_ICONSTOP);
    }
}

void CCompareView::OnExportPdf() {
    const std::string path = AskExportPath("PDF Documents (*.pdf)", "pdf");
    if (!path.empty() && !ExportPdf(path)) {
        AfxMessageBox(CStringTable::Format1(IDS_COMPARE_EXPORT_FAILED, path), MB_OK | MB_ICONSTOP);
    }
}

bool CCompareView::ExportPng(const std::string& strPath) {
    CCompareDoc* pDoc = GetDocument();
    if (pDoc == nullptr) {
        return false;
    }
    QImage image(kPngWidth, kPngHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        QFont font = painter.font();
        font.setPixelSize(kPngTextPixels);
        painter.setFont(font);
        // The plot of an export is its own: the screen's hit test keeps the window's.
        CComparePlot plot;
        plot.Draw(&painter, image.rect().adjusted(10, 10, -10, -10), pDoc->GetCurves(),
                  pDoc->GetTitle() + " - " + Heading());
    }
    return image.save(QString::fromStdString(strPath), "PNG");
}

bool CCompareView::ExportPdf(const std::string& strPath) {
    CCompareDoc* pDoc = GetDocument();
    if (pDoc == nullptr) {
        return false;
    }
    {
        QPdfWriter writer(QString::fromStdString(strPath));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle(QString::fromStdString(pDoc->GetTitle()));
        QPainter painter;
        if (!painter.begin(&writer)) {
            return false;
        }
        QFont font = painter.font();
        font.setPointSizeF(9.0);
        painter.setFont(font);
        CComparePlot plot;
        plot.Draw(&painter, QRect(0, 0, writer.width(), writer.height()), pDoc->GetCurves(),
                  pDoc->GetTitle() + " - " + Heading());
        if (!painter.end()) {
            return false;
        }
    }
    const QFileInfo written(QString::fromStdString(strPath));
    return written.exists() && written.size() > 0;
}

void CCompareView::mousePressEvent(QMouseEvent* pEvent) {
    if (pEvent->button() == Qt::RightButton) {
        OpenContextMenu(pEvent->position().toPoint());
        return;
    }
    CView::mousePressEvent(pEvent);
}

void CCompareView::OpenContextMenu(QPoint point) {
    CQuorvelApp* pApp = GetQuorvelApp();
    CCompareDoc* pDoc = GetDocument();
    if (pApp == nullptr || pApp->m_pMainWnd == nullptr || pDoc == nullptr ||
        CMessageService::IsEnding()) {
        return;
    }
    CMDIFrameWnd* pMain = pApp->m_pMainWnd;
    QMenu* pMenu = pMain->CreatePopupMenu(IDR_COMPARE_MENU, 0, pMain);
    if (pMenu == nullptr) {
        return;
    }
    // On a legend entry: that curve can go.
    const int entry = m_plot.LegendEntryAt(point);
    QAction* pRemove = nullptr;
    if (entry >= 0 && static_cast<std::size_t>(entry) < pDoc->GetCurves().size()) {
        pMenu->addSeparator();
        QString legend = QString::fromStdString(pDoc->GetCurves()[entry].Legend());
        legend.replace(QLatin1Char('&'), QLatin1String("&&"));
        pRemove = pMenu->addAction(QStringLiteral("Remove %1").arg(legend));
    }
    pMain->UpdateMenu(pMenu);
    QAction* pChosen = pMenu->exec(mapToGlobal(point));
    const UINT nID = pChosen != nullptr ? pChosen->property(kCommandProperty).toUInt() : 0;
    const bool bRemove = pChosen != nullptr && pChosen == pRemove;
    delete pMenu;
    if (bRemove) {
        // The menu ran a loop of its own: the document may have changed meanwhile.
        if (CCompareDoc* pNow = GetDocument(); pNow != nullptr) {
            pNow->RemoveCurve(static_cast<std::size_t>(entry));
        }
    } else if (nID != 0) {
        pMain->SendCommand(nID);
    }
}
