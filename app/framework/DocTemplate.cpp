#include "app/framework/DocTemplate.h"

#include "app/framework/Document.h"
#include "app/framework/FrameworkIds.h"
#include "app/framework/MDIChildWnd.h"
#include "app/framework/MDIFrameWnd.h"
#include "app/framework/MessageService.h"
#include "app/framework/StringTable.h"
#include "app/framework/View.h"
#include "app/framework/WaitCursor.h"
#include "app/framework/WinApp.h"

#include <QFileInfo>

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

} // namespace

CDocTemplate::CDocTemplate(UINT nIDResource, DocumentFactory makeDocument, FrameFactory makeFrame,
                           ViewFactory makeView)
    : m_nIDResource(nIDResource), m_docStrings(ParseDocString(CStringTable::Load(nIDResource))),
      m_makeDocument(std::move(makeDocument)), m_makeFrame(std::move(makeFrame)),
      m_makeView(std::move(makeView)) {}

CDocTemplate::~CDocTemplate() {
    // Documents still open when the template goes are closed without asking.
    CloseAllDocuments(true);
}

std::array<std::string, 7> CDocTemplate::ParseDocString(const std::string& strDocString) {
    std::array<std::string, 7> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (start > strDocString.size()) {
            break;
        }
        std::size_t nl = strDocString.find('\n', start);
        if (nl == std::string::npos) {
            fields[i] = strDocString.substr(start);
            break;
        }
        fields[i] = strDocString.substr(start, nl - start);
        start = nl + 1;
    }
    return fields;
}

bool CDocTemplate::GetDocString(std::string& strOut, DocStringIndex index) const {
    strOut = m_docStrings.at(static_cast<std::size_t>(index));
    return !strOut.empty();
}

std::string CDocTemplate::GetDocString(DocStringIndex index) const {
    return m_docStrings.at(static_cast<std::size_t>(index));
}

CDocTemplate::Confidence CDocTemplate::MatchDocType(const std::string& strPathName,
                                                    CDocument*& rpDocMatch) const {
    rpDocMatch = nullptr;
    std::string wanted =
        QFileInfo(QString::fromStdString(strPathName)).absoluteFilePath().toStdString();
    for (CDocument* pDoc : m_docList) {
        if (!pDoc->GetPathName().empty() && pDoc->GetPathName() == wanted) {
            rpDocMatch = pDoc;
            return yesAlreadyOpen;
        }
    }
    std::string ext = GetDocString(filterExt);
    if (ext.empty()) {
        return noAttempt;
    }
    // The extension field may list several, separated by semicolons.
    std::string path = Lower(strPathName);
    std::size_t start = 0;
    while (start <= ext.size()) {
        std::size_t semi = ext.find(';', start);
        std::string one =
            Lower(ext.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
        if (!one.empty() && one[0] == '*') {
            one.erase(0, 1);
        }
        if (!one.empty() && path.size() > one.size() &&
            path.compare(path.size() - one.size(), one.size(), one) == 0) {
            return yesAttemptNative;
        }
        if (semi == std::string::npos) {
            break;
        }
        start = semi + 1;
    }
    return maybeAttemptNative;
}

void CDocTemplate::AddDocument(CDocument* pDoc) {
    if (std::find(m_docList.begin(), m_docList.end(), pDoc) == m_docList.end()) {
        m_docList.push_back(pDoc);
    }
    pDoc->m_pDocTemplate = this;
}

void CDocTemplate::RemoveDocument(CDocument* pDoc) {
    m_docList.erase(std::remove(m_docList.begin(), m_docList.end(), pDoc), m_docList.end());
    if (pDoc->m_pDocTemplate == this) {
        pDoc->m_pDocTemplate = nullptr;
    }
}

CDocument* CDocTemplate::CreateNewDocument() {
    if (!m_makeDocument) {
        return nullptr;
    }
    CDocument* pDoc = m_makeDocument();
    if (pDoc != nullptr) {
        AddDocument(pDoc);
    }
    return pDoc;
}

CMDIChildWnd* CDocTemplate::CreateNewFrame(CDocument* pDoc) {
    CWinApp* pApp = AfxGetApp();
    CMDIFrameWnd* pMain = pApp != nullptr ? pApp->m_pMainWnd : nullptr;
    if (pMain == nullptr || pMain->GetMDIClient() == nullptr || !m_makeFrame || !m_makeView) {
        return nullptr;
    }
    CMDIChildWnd* pFrame = m_makeFrame();
    if (pFrame == nullptr) {
        return nullptr;
    }
    CView* pView = m_makeView();
    if (pView == nullptr || !pFrame->Create(this, pDoc, pView, pMain)) {
        delete pView;
        delete pFrame;
        return nullptr;
    }
    return pFrame;
}

void CDocTemplate::InitialUpdateFrame(CMDIChildWnd* pFrame, CDocument* pDoc, bool bMakeVisible) {
    if (pFrame == nullptr) {
        return;
    }
    if (pDoc != nullptr) {
        // Copy: an initial update may add or remove views.
        std::vector<CView*> views = pDoc->GetViews();
        for (CView* pView : views) {
            if (pView->GetParentFrame() == pFrame) {
                pView->OnInitialUpdate();
            }
        }
    }
    if (bMakeVisible && !pFrame->IsDestroyed()) {
        pFrame->ActivateFrame();
    }
}

CDocument* CDocTemplate::OpenDocumentFile(const char* pszPathName, bool bMakeVisible) {
    CDocument* pDoc = CreateNewDocument();
    if (pDoc == nullptr) {
        AfxMessageBox(AFX_IDP_FAILED_TO_CREATE_DOC, MB_OK | MB_ICONSTOP);
        return nullptr;
    }
    CMDIChildWnd* pFrame = CreateNewFrame(pDoc);
    if (pFrame == nullptr) {
        AfxMessageBox(AFX_IDP_FAILED_TO_CREATE_DOC, MB_OK | MB_ICONSTOP);
        delete pDoc;
        return nullptr;
    }
    if (pszPathName == nullptr) {
        SetDefaultTitle(pDoc);
        if (!pDoc->OnNewDocument()) {
            pFrame->DestroyWindow(); // the document goes with its last view
            return nullptr;
        }
        ++m_nUntitledCount;
    } else {
        bool ok;
        {
            CWaitCursor wait;
            ok = pDoc->OnOpenDocument(pszPathName);
        }
        if (!ok) {
            pFrame->DestroyWindow();
            return nullptr;
        }
        pDoc->SetPathName(pszPathName);
    }
    InitialUpdateFrame(pFrame, pDoc, bMakeVisible);
    return pDoc;
}

void CDocTemplate::SetDefaultTitle(CDocument* pDoc) {
    std::string title = GetDocString(docName);
    if (title.empty()) {
        title = CStringTable::Load(AFX_IDS_UNTITLED);
    }
    pDoc->SetTitle(title + std::to_string(m_nUntitledCount + 1));
}

bool CDocTemplate::SaveAllModified() {
    std::vector<CDocument*> docs = m_docList;
    for (CDocument* pDoc : docs) {
        if (std::find(m_docList.begin(), m_docList.end(), pDoc) != m_docList.end() &&
            !pDoc->SaveModified()) {
            return false;
        }
    }
    return true;
}

void CDocTemplate::CloseAllDocuments(bool) {
    while (!m_docList.empty()) {
        CDocument* pDoc = m_docList.front();
        pDoc->OnCloseDocument();
        // A document that survived its close step must not stop the loop.
        if (!m_docList.empty() && m_docList.front() == pDoc) {
            RemoveDocument(pDoc);
        }
    }
}
