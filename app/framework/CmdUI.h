#pragma once

#include "app/framework/WinTypes.h"

// The state of one command as its handlers want it shown: enabled, checked. A command that no
// handler claims is shown disabled.
class CCmdUI {
public:
    explicit CCmdUI(UINT nID) : m_nID(nID) {}

    void Enable(bool bOn = true) { m_bEnabled = bOn; }
    void SetCheck(int nCheck = 1) {
        m_nCheck = nCheck;
        m_bCheckSet = true;
    }

    UINT m_nID;
    bool m_bEnabled = false;
    int m_nCheck = 0;
    bool m_bCheckSet = false;
    bool m_bHandled = false; // some command target claimed the command
};
