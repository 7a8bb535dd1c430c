#include "app/network/NetworkSelection.h"

#include <algorithm>

CPress* CNetworkSelection::HitTest(const PressList& presses, CPoint point, bool update) {
    m_pCurPress = nullptr;
    for (const auto& press : presses) {
        const bool hit = press->HitTest(point);
        if (hit) {
            m_pCurPress = press.get();
        }
        if (update) {
            press->SetSelected(hit);
        }
    }
    return m_pCurPress;
}

void CNetworkSelection::RubberBand(const PressList& presses, std::vector<CPress*>& group,
                                   const CRect& band) {
    const CRect area = band.Normalized();
    group.clear();
    m_nGroupCount = 0;
    m_pCurPress = nullptr;
    for (const auto& press : presses) {
        if (press->GetRect().Intersects(area)) {
            press->SetSelected(true);
            m_pCurPress = press.get();
            ++m_nGroupCount;
            group.push_back(press.get());
        } else {
            press->SetSelected(false);
        }
    }
    if (m_nGroupCount == 1) {
        m_nGroupCount = 0;
    }
}

bool CNetworkSelection::LeftUp(CPoint point) {
    if (!m_bDragging) {
        return false;
    }
    m_bDragging = false;
    if (!m_pCurPress) {
        return false;
    }
    const bool moved = m_pCurPress->GetPosition() != point;
    m_pCurPress->MoveTo(point);
    return moved;
}

CNetworkSelection::Menu CNetworkSelection::RightDown(const PressList& presses, CPoint point) {
    if (InGroupMode()) {
        return Menu::group;
    }
    return HitTest(presses, point, true) ? Menu::station : Menu::background;
}

void CNetworkSelection::Forget(const CPress* press, std::vector<CPress*>& group) {
    if (m_pCurPress == press) {
        m_pCurPress = nullptr;
        m_bDragging = false;
    }
    auto it = std::find(group.begin(), group.end(), press);
    if (it != group.end()) {
        group.erase(it);
        // A group that shrinks below two is no longer a group.
        if (m_nGroupCount) {
            m_nGroupCount = group.size() >= 2 ? static_cast<unsigned>(group.size()) : 0;
        }
    }
}

CPoint LabelPosition(const CRect& rect, int cx, int cy) {
    const long long left = rect.left;
    const long long width = static_cast<long long>(rect.right) - rect.left;
    return {ClampToInt(left + width / 2 - cx / 2),
            ClampToInt(static_cast<long long>(rect.top) - cy - 3)};
}
