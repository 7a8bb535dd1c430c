#include "app/shell/ChildFrame.h"

#include "app/framework/DocTemplate.h"
#include "app/framework/Document.h"
#include "app/shell/Registry.h"
#include "app/shell/Resource.h"
#include "app/shell/WindowPlacement.h"

bool CChildFrame::PreCreateWindow(CREATESTRUCT& cs) {
    cs.cx = kWidth;
    cs.cy = kHeight;
    return CMDIChildWnd::PreCreateWindow(cs);
}

void CChildFrame::OnDestroy() {
    CDocument* pDoc = GetActiveDocument();
    if (pDoc != nullptr && pDoc->GetDocTemplate() != nullptr &&
        pDoc->GetDocTemplate()->GetResourceID() == IDR_NETWORKTYPE) {
        CWindowPlacement::Write(REG_KEY_NETWORK_VIEW, GetWindowRect());
    }
    CMDIChildWnd::OnDestroy();
}
