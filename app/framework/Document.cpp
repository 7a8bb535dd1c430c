#include "app/framework/Document.h"

#include "app/framework/Dialog.h"
#include "app/framework/DocTemplate.h"
#include "app/framework/FrameworkIds.h"
#include "app/framework/MDIChildWnd.h"
#include "app/framework/MDIFrameWnd.h"
#include "app/framework/MessageService.h"
#include "app/framework/StringTable.h"
#include "app/framework/View.h"
#include "app/framework/WaitCursor.h"
#include "app/framework/WinApp.h"
#include "base/Archive.h"
#include "base/FileIO.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <new>
#include <stdexcept>

CDocument::CDocument() {
    MapCommand(ID_FILE_CLOSE, [this] { OnFileClose(); });
    MapCommand(ID_FILE_SAVE, [this] { OnFileSave(); });
    MapCommand(ID_FILE_SAVE_AS, [this] { OnFileSaveAs(); });
}

CDocument::~CDocument() {
    for (CView* pView : m_viewList) {
        pView->m_pDocument = nullptr;
    }
    if (m_pDocTemplate != nullptr) {
        m_pDocTemplate->RemoveDocument(this);
    }
}

void CDocument::SetTitle(const std::string& strTitle) {
    m_strTitle = strTitle;
    UpdateFrameCounts();
}

void CDocument::SetPathName(const std::string& strPathName, bool bAddToMRU) {
    QFileInfo info(QString::fromStdString(strPathName));
    m_strPathName = info.absoluteFilePath().toStdString();
    SetTitle(info.fileName().toStdString());
    // Only files the operator can open again belong in the recent-file list.
    if (bAddToMRU && m_pDocTemplate != nullptr &&
        !m_pDocTemplate->GetDocString(CDocTemplate::filterExt).empty() && AfxGetApp() != nullptr) {
        AfxGetApp()->AddToRecentFileList(m_strPathName);
    }
}

void CDocument::AddView(CView* pView) {
    if (pView == nullptr ||
        std::find(m_viewList.begin(), m_viewList.end(), pView) != m_viewList.end()) {
        return;
    }
    m_viewList.push_back(pView);
    pView->m_pDocument = this;
    UpdateFrameCounts();
}

void CDocument::RemoveView(CView* pView) {
    auto it = std::find(m_viewList.begin(), m_viewList.end(), pView);
    if (it == m_viewList.end()) {
        return;
    }
    m_viewList.erase(it);
    pView->m_pDocument = nullptr;
    UpdateFrameCounts();
    // A document without views has no window left: it closes.
    if (m_viewList.empty() && !m_bClosing) {
        OnCloseDocument();
    }
}

void CDocument::UpdateAllViews(CView* pSender, long lHint, CObject* pHint) {
    // Copy: a view may close its frame in answer to a hint.
    std::vector<CView*> views = m_viewList;
    for (CView* pView : views) {
        if (pView != pSender &&
            std::find(m_viewList.begin(), m_viewList.end(), pView) != m_viewList.end()) {
            pView->OnUpdate(pSender, lHint, pHint);
        }
    }
}

std::vector<CFrameWnd*> CDocument::GetFrames() const {
    std::vector<CFrameWnd*> frames;
    for (CView* pView : m_viewList) {
        CFrameWnd* pFrame = pView->GetParentFrame();
        if (pFrame != nullptr && std::find(frames.begin(), frames.end(), pFrame) == frames.end()) {
            frames.push_back(pFrame);
        }
    }
    return frames;
}

void CDocument::UpdateFrameCounts() {
    std::vector<CFrameWnd*> frames = GetFrames();
    int number = frames.size() > 1 ? 1 : 0;
    for (CFrameWnd* pFrame : frames) {
        if (auto* pChild = dynamic_cast<CMDIChildWnd*>(pFrame)) {
            pChild->SetWindowNumber(number);
            if (number != 0) {
                ++number;
            }
        }
    }
}

bool CDocument::OnNewDocument() {
    DeleteContents();
    m_strPathName.clear();
    SetModifiedFlag(false);
    return true;
}

bool CDocument::OnOpenDocument(const std::string& strPathName) {
    std::vector<std::uint8_t> data;
    if (!ReadWholeFile(strPathName, data)) {
        ReportSaveLoadException(strPathName, false, false);
        return false;
    }
    DeleteContents();
    SetModifiedFlag(false);
    try {
        CArchive ar(data);
        Serialize(ar);
    } catch (const CArchiveException&) {
        DeleteContents();
        ReportSaveLoadException(strPathName, false, true);
        return false;
    } catch (const std::bad_alloc&) {
        DeleteContents();
        ReportSaveLoadException(strPathName, false, true);
        return false;
    } catch (const std::length_error&) {
        DeleteContents();
        ReportSaveLoadException(strPathName, false, true);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

bool CDocument::OnSaveDocument(const std::string& strPathName) {
    std::vector<std::uint8_t> data;
    try {
        CArchive ar(&data);
        Serialize(ar);
    } catch (const CArchiveException&) {
        ReportSaveLoadException(strPathName, true, true);
        return false;
    }
    if (!WriteFileAtomically(strPathName, data)) {
        ReportSaveLoadException(strPathName, true, false);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

void CDocument::OnCloseDocument() {
    if (m_bClosing) {
        return;
    }
    m_bClosing = true;
    for (CFrameWnd* pFrame : GetFrames()) {
        if (auto* pChild = dynamic_cast<CMDIChildWnd*>(pFrame)) {
            pChild->DestroyWindow();
        }
    }
    // Views outside frames (none in this program) only lose their document.
    std::vector<CView*> views = m_viewList;
    for (CView* pView : views) {
        RemoveView(pView);
    }
    DeleteContents();
    delete this;
}

bool CDocument::CanCloseFrame(CFrameWnd* pFrame) {
    if (pFrame != nullptr) {
        for (CFrameWnd* pOther : GetFrames()) {
            if (pOther != pFrame) {
                return true; // another frame still shows the document
            }
        }
    }
    return SaveModified();
}

bool CDocument::SaveModified() {
    if (!IsModified()) {
        return true;
    }
    std::string name =
        m_strPathName.empty()
            ? m_strTitle
            : QFileInfo(QString::fromStdString(m_strPathName)).fileName().toStdString();
    switch (AfxMessageBox(CStringTable::Format1(AFX_IDP_ASK_TO_SAVE, name),
                          MB_YESNOCANCEL | MB_ICONEXCLAMATION)) {
    case IDCANCEL:
        return false;
    case IDYES:
        return DoFileSave();
    default:
        return true;
    }
}

bool CDocument::DoSave(const std::string& strPathName, bool bReplace) {
    std::string path = strPathName;
    if (path.empty()) {
        if (CMessageService::IsEnding()) {
            return false;
        }
        std::string ext;
        std::string filter;
        if (m_pDocTemplate != nullptr) {
            ext = m_pDocTemplate->GetDocString(CDocTemplate::filterExt);
            filter = CDocManager::FormatFilters(CDocManager::BuildFilters({m_pDocTemplate}));
        }
        std::string suggested = m_strTitle;
        std::replace(suggested.begin(), suggested.end(), '/', '_');
        std::string firstExt = ext.substr(0, ext.find(';'));
        if (!firstExt.empty() && firstExt[0] == '*') {
            firstExt.erase(0, 1);
        }
        if (!firstExt.empty() && suggested.find('.') == std::string::npos) {
            suggested += firstExt;
        }
        QFileDialog dialog(QApplication::activeWindow(),
                           QString::fromStdString(CStringTable::Load(AFX_IDS_SAVEFILE)));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (!filter.empty()) {
            dialog.setNameFilter(QString::fromStdString(filter));
        }
        if (firstExt.size() > 1) {
            dialog.setDefaultSuffix(QString::fromStdString(firstExt.substr(1)));
        }
        dialog.selectFile(QString::fromStdString(suggested));
        if (CDialog::RunModal(dialog) != IDOK || dialog.selectedFiles().isEmpty()) {
            return false;
        }
        path = dialog.selectedFiles().front().toStdString();
    }
    bool ok;
    {
        CWaitCursor wait;
        ok = OnSaveDocument(path);
    }
    if (!ok) {
        return false;
    }
    if (bReplace) {
        SetPathName(path);
    }
    return true;
}

bool CDocument::DoFileSave() {
    return DoSave(m_strPathName);
}

void CDocument::Serialize(CArchive&) {}

void CDocument::OnFileClose() {
    if (!CanCloseFrame(nullptr)) {
        return;
    }
    OnCloseDocument();
}

void CDocument::OnFileSave() {
    DoFileSave();
}

void CDocument::OnFileSaveAs() {
    DoSave(std::string());
}

void CDocument::ReportSaveLoadException(const std::string& strPathName, bool bSaving,
                                        bool bFormat) {
    if (bSaving) {
        AfxMessageBox(AFX_IDP_FAILED_TO_SAVE_DOC, MB_OK | MB_ICONEXCLAMATION);
    } else if (bFormat) {
        AfxMessageBox(AFX_IDP_FAILED_INVALID_FORMAT, MB_OK | MB_ICONEXCLAMATION);
    } else if (errno == ENOENT) {
        AfxMessageBox(CStringTable::Format1(AFX_IDP_FILE_NOT_FOUND, strPathName),
                      MB_OK | MB_ICONEXCLAMATION);
    } else {
        AfxMessageBox(AFX_IDP_FAILED_TO_OPEN_DOC, MB_OK | MB_ICONEXCLAMATION);
    }
}
