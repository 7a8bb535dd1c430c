#pragma once

#include "app/framework/ScrollView.h"
#include "app/network/NetworkSelection.h"
#include "app/network/StationStatus.h"
#include "app/shell/LineClient.h"

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <functional>
#include <string>
#include <vector>

class CQuorvelApp;
class CQuorvelDoc;
class CPress;
class CZarnPort;
class QRubberBand;

// The layout window: the shop floor's picture with every press station drawn over it. The
// operator selects stations by click or rubber band, drags them about, and runs the station,
// group and background commands from context menus.
class CQuorvelView : public CScrollView {
    Q_OBJECT
public:
    // The extent of a layout without a picture.
    static constexpr int kDefaultExtent = 500;

    CQuorvelView();
    ~CQuorvelView() override;

    CQuorvelDoc* GetDocument() const;
    CPress* GetCurPress() const { return m_selection.GetCurPress(); }
    unsigned GetGroupCount() const { return m_selection.GetGroupCount(); }
    bool IsDragging() const { return m_selection.IsDragging(); }
    const std::string& GetImagePath() const { return m_strImage; }
    bool HasBackground() const { return !m_image.isNull(); }
    // A station the group commands act on, drawn with the group's outline.
    bool IsMarkedInGroup(const CPress* pPress) const;
    // The menu the last right click opened (136, 145 or 146), 0 before any.
    UINT GetLastMenu() const { return m_nLastMenu; }

    void OnInitialUpdate() override;
    void OnDraw(QPainter* pDC) override;
    // Draws every station; with bShifted the painter is the bare window and positions are
    // moved by the scroll position.
    void DrawPresses(QPainter* pDC, bool bShifted);
    // The station under a window point (the last in list order), which becomes current.
    CPress* HitTestPress(QPoint point, bool bUpdate);
    bool LoadBackground(const std::string& strPath);

    // The commands.
    void EditProperties(CPress* pPress);
    void RunOnGroup(int nCode);
    void OnDownloadCurve();
    void OnDownloadBatch();
    void OnAddToStatistics();
    // A history window for the selected station or the group.
    void OnHistory();
    void OnResetBatch();
    void OnNewReference();
    void OnAddNewPress();
    void OnDeletePress();
    void OnSetBackground();

    // The badges' legend, shown unless the operator hid it (View menu; kept in the settings).
    bool IsLegendShown() const { return m_bShowLegend; }
    void SetLegendShown(bool bShow);
    // Where the legend was last drawn in the window; empty when it was left out.
    QRect GetLegendBox() const { return m_legendBox; }
    // The first corner of the window (lower left, lower right, upper right, upper left) where a
    // legend of that size covers none of the stations' areas; empty when there is none.
    static QRect PlaceLegend(QSize view, QSize legend, const std::vector<QRect>& stations);
    // Each station's icon, badge and name in window coordinates.
    std::vector<QRect> StationAreas() const;

    // Asks for a background picture in the folder given; empty when the operator cancels.
    // Tests replace it.
    static std::function<std::string(const std::string& strFolder)> s_chooseBackground;

protected:
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    bool event(QEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;

private:
    CPoint ToLayout(QPoint point) const;
    // What is known of the analysers; null before the line runs.
    const CStationStatus* Status() const;
    static void DrawBadge(QPainter* pDC, QPoint centre, CStationStatus::State state);
    // A command on the group, or on the current station alone.
    void RunOnSelection(int nGroupCode, const char* pszWhat,
                        void (*single)(CQuorvelApp&, CPress*, CLineJob));
    // Reset and new reference: the question, then the order to the group or the station.
    void ConfirmAndOrder(UINT nQuestion, int nGroupCode, const char* pszWhat,
                         int (CZarnPort::*order)(unsigned int), UINT nFailure);
    // An operation on one station, this window busy while it runs; null without a line.
    std::shared_ptr<CLineOperation> BeginOperation(const char* pszWhat, const CPress& press);
    void RedrawNow();
    void OpenContextMenu(QPoint point);
    std::string BackgroundFolder() const;

    CNetworkSelection m_selection;
    std::string m_strImage;
    QImage m_image;
    std::vector<QRgb> m_palette; // the picture's own colours when it has 256 or fewer
    QFont m_labelFont;
    QIcon m_iconStation;
    QIcon m_iconSelected;
    QRubberBand* m_pBand = nullptr;
    QPoint m_bandOrigin;
    bool m_bBanding = false;
    UINT m_nLastMenu = 0;
    bool m_bShowLegend = true;
    QRect m_legendBox;
};
