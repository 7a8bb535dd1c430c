#pragma once

#include "records/Geometry.h"
#include "records/StationFile.h"

#include <vector>

// What the layout window knows about the operator's selection, and how clicks, rubber bands
// and drags change it. All points are layout coordinates (window point plus scroll position).
class CNetworkSelection {
public:
    // The context menus, by their resource numbers.
    enum class Menu { station = 136, group = 145, background = 146 };

    CPress* GetCurPress() const { return m_pCurPress; }
    void SetCurPress(CPress* press) { m_pCurPress = press; }
    unsigned GetGroupCount() const { return m_nGroupCount; }
    bool InGroupMode() const { return m_nGroupCount != 0; }
    bool IsDragging() const { return m_bDragging; }

    // The last station in list order under the point becomes current; with update, every
    // station is highlighted exactly when it lies under the point.
    CPress* HitTest(const PressList& presses, CPoint point, bool update);

    // Left button down: a hit selects; a miss starts a rubber band, which the caller runs and
    // hands to RubberBand. True when the press hit a station.
    bool LeftDown(const PressList& presses, CPoint point) {
        return HitTest(presses, point, true) != nullptr;
    }
    // Every station the band touches is highlighted and joins the group; a group of one is an
    // ordinary selection.
    void RubberBand(const PressList& presses, std::vector<CPress*>& group, const CRect& band);

    void MouseMove(bool leftButtonDown) { m_bDragging = leftButtonDown && m_pCurPress; }
    // Ends a drag: the current station's top-left corner lands on the point. True if it moved.
    bool LeftUp(CPoint point);

    // Right button down: which menu to open. Outside group mode this hit-tests and highlights.
    Menu RightDown(const PressList& presses, CPoint point);

    // A station leaves the layout.
    void Forget(const CPress* press, std::vector<CPress*>& group);

private:
    CPress* m_pCurPress = nullptr;
    unsigned m_nGroupCount = 0;
    bool m_bDragging = false;
};

// Where a station's label goes: centred above the icon, 3 pixels clear of it, for a name
// measuring cx by cy.
CPoint LabelPosition(const CRect& rect, int cx, int cy);
