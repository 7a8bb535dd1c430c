#include "app/framework/CmdTarget.h"

bool CCmdTarget::OnCmdMsg(UINT nID, CCmdUI* pCmdUI) {
    for (auto it = m_commandMap.rbegin(); it != m_commandMap.rend(); ++it) {
        if (nID < it->nFirst || nID > it->nLast) {
            continue;
        }
        if (pCmdUI != nullptr) {
            if (!it->updater && !it->handler) {
                continue;
            }
            pCmdUI->m_bHandled = true;
            pCmdUI->m_bEnabled = true;
            if (it->updater) {
                it->updater(*pCmdUI);
            }
            return true;
        }
        if (it->handler) {
            // Copy: the handler may remap commands or destroy this target's map entry.
            Handler handler = it->handler;
            handler(nID);
            return true;
        }
    }
    return false;
}

void CCmdTarget::MapCommand(UINT nID, std::function<void()> handler, Updater updater) {
    Handler h;
    if (handler) {
        h = [fn = std::move(handler)](UINT) { fn(); };
    }
    m_commandMap.push_back({nID, nID, std::move(h), std::move(updater)});
}

void CCmdTarget::MapCommandRange(UINT nFirst, UINT nLast, Handler handler, Updater updater) {
    m_commandMap.push_back({nFirst, nLast, std::move(handler), std::move(updater)});
}

void CCmdTarget::MapUpdate(UINT nID, Updater updater) {
    m_commandMap.push_back({nID, nID, {}, std::move(updater)});
}
