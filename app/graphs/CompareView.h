#pragma once

#include "app/framework/View.h"
#include "app/graphs/ComparePlot.h"

#include <QPoint>

#include <string>

class CCompareDoc;

// The compare window: several force curves over each other, each with its legend entry. The
// operator adds curves from the open curve windows, from .cur files and from the history, and
// exports the picture as PNG or PDF. A right click offers the same commands and, on a legend
// entry, its removal.
class CCompareView : public CView {
    Q_OBJECT
public:
    CCompareView();

    CCompareDoc* GetDocument() const;
    void OnDraw(QPainter* pDC) override;

    void OnAddWindows();
    void OnAddFile();
    void OnAddHistory();
    void OnExportPng();
    void OnExportPdf();
    // The picture as a file; false when it could not be written.
    bool ExportPng(const std::string& strPath);
    bool ExportPdf(const std::string& strPath);
    // Adds .cur files, reporting each that cannot be read and a comparison that is full.
    void AddFiles(const std::vector<std::string>& paths);
    const CComparePlot& GetPlot() const { return m_plot; }

protected:
    void mousePressEvent(QMouseEvent* pEvent) override;

private:
    std::string Heading() const;
    // Asks where to write an export; empty when the operator cancels.
    std::string AskExportPath(const char* pszFilter, const char* pszSuffix);
    void OpenContextMenu(QPoint point);

    CComparePlot m_plot;
};
