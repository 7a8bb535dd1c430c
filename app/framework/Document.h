#pragma once

#include "app/framework/CmdTarget.h"
#include "base/Object.h"

#include <string>
#include <vector>

class CDocTemplate;
class CFrameWnd;
class CView;

// A document: the data of one window or more, its title and file, and its views. Documents
// reach their views only through UpdateAllViews and its hints. Opening and saving go through
// Serialize on a whole-file archive; a file is replaced only once it has been written whole.
class CDocument : public CObject, public CCmdTarget {
public:
    CDocument();
    ~CDocument() override;
    CDocument(const CDocument&) = delete;
    CDocument& operator=(const CDocument&) = delete;

    const std::string& GetTitle() const { return m_strTitle; }
    virtual void SetTitle(const std::string& strTitle);
    const std::string& GetPathName() const { return m_strPathName; }
    // Also names the document after its file; bAddToMRU puts the file in the recent-file list.
    virtual void SetPathName(const std::string& strPathName, bool bAddToMRU = true);
    CDocTemplate* GetDocTemplate() const { return m_pDocTemplate; }

    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool bModified = true) { m_bModified = bModified; }

    void AddView(CView* pView);
    void RemoveView(CView* pView);
    const std::vector<CView*>& GetViews() const { return m_viewList; }
    CView* GetFirstView() const { return m_viewList.empty() ? nullptr : m_viewList.front(); }
    // Every view but the sender gets OnUpdate(pSender, lHint, pHint).
    void UpdateAllViews(CView* pSender, long lHint = 0, CObject* pHint = nullptr);
    // The frames showing this document, each once.
    std::vector<CFrameWnd*> GetFrames() const;
    // Renumbers the frame titles ("title:1", "title:2") when the document has several.
    void UpdateFrameCounts();

    // Framework steps, overridable.
    virtual bool OnNewDocument();
    virtual bool OnOpenDocument(const std::string& strPathName);
    virtual bool OnSaveDocument(const std::string& strPathName);
    // Destroys the document's frames and then the document itself.
    virtual void OnCloseDocument();
    virtual void DeleteContents() {}
    // May this frame close? The default asks SaveModified when the frame is the document's
    // last one (or when pFrame is null: the whole document is to close).
    virtual bool CanCloseFrame(CFrameWnd* pFrame);
    // Offers to save a modified document: true when the caller may go on.
    virtual bool SaveModified();
    // Saves to the path, or asks for one when it is empty; true on success.
    virtual bool DoSave(const std::string& strPathName, bool bReplace = true);
    bool DoFileSave();

    void Serialize(CArchive& ar) override;

    // The standard File commands the document handles.
    void OnFileClose();
    void OnFileSave();
    void OnFileSaveAs();

protected:
    // Reports a file that could not be read or written, as the framework's messages.
    virtual void ReportSaveLoadException(const std::string& strPathName, bool bSaving,
                                         bool bFormat);

private:
    friend class CDocTemplate;

    std::string m_strTitle;
    std::string m_strPathName;
    CDocTemplate* m_pDocTemplate = nullptr;
    std::vector<CView*> m_viewList;
    bool m_bModified = false;
    bool m_bClosing = false;
};
