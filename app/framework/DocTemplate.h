#pragma once

#include "app/framework/CmdTarget.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CDocument;
class CMDIChildWnd;
class CMDIFrameWnd;
class CView;

// A document type: how to make its documents, frames and views, and its resources: the
// document string, menu, icon and accelerator table of its resource number. The document
// string holds seven fields separated by line breaks: window title, document name, new-file
// name, filter name, filter extension, file-type identifier, file-type name.
class CDocTemplate : public CCmdTarget {
public:
    enum DocStringIndex {
        windowTitle,
        docName,
        fileNewName,
        filterName,
        filterExt,
        regFileTypeId,
        regFileTypeName,
    };
    using DocumentFactory = std::function<CDocument*()>;
    using FrameFactory = std::function<CMDIChildWnd*()>;
    using ViewFactory = std::function<CView*()>;

    CDocTemplate(UINT nIDResource, DocumentFactory makeDocument, FrameFactory makeFrame,
                 ViewFactory makeView);
    ~CDocTemplate() override;
    CDocTemplate(const CDocTemplate&) = delete;
    CDocTemplate& operator=(const CDocTemplate&) = delete;

    UINT GetResourceID() const { return m_nIDResource; }
    // The seven fields of a document string; missing fields are empty.
    static std::array<std::string, 7> ParseDocString(const std::string& strDocString);
    bool GetDocString(std::string& strOut, DocStringIndex index) const;
    std::string GetDocString(DocStringIndex index) const;

    // How well a file suits this type: by its extension.
    enum Confidence { noAttempt, maybeAttemptNative, yesAttemptNative, yesAlreadyOpen };
    Confidence MatchDocType(const std::string& strPathName, CDocument*& rpDocMatch) const;

    const std::vector<CDocument*>& GetDocuments() const { return m_docList; }
    void AddDocument(CDocument* pDoc);
    void RemoveDocument(CDocument* pDoc);

    CDocument* CreateNewDocument();
    CMDIChildWnd* CreateNewFrame(CDocument* pDoc);
    // Sends the views their initial update, then shows and activates the frame when asked.
    void InitialUpdateFrame(CMDIChildWnd* pFrame, CDocument* pDoc, bool bMakeVisible = true);
    // A new, untitled document (null path) or one read from the file; null on failure.
    virtual CDocument* OpenDocumentFile(const char* pszPathName, bool bMakeVisible = true);
    void SetDefaultTitle(CDocument* pDoc);

    // Offers to save every modified document; false when the operator cancelled.
    bool SaveAllModified();
    // Closes every document without asking.
    void CloseAllDocuments(bool bEndSession);

private:
    UINT m_nIDResource;
    std::array<std::string, 7> m_docStrings;
    DocumentFactory m_makeDocument;
    FrameFactory m_makeFrame;
    ViewFactory m_makeView;
    std::vector<CDocument*> m_docList;
    unsigned m_nUntitledCount = 0;
};

// The program's document types are all of the multiple-document kind.
class CMultiDocTemplate : public CDocTemplate {
public:
    using CDocTemplate::CDocTemplate;

    // A template for document, frame and view classes that construct without arguments.
    template <class TDoc, class TFrame, class TView>
    static std::unique_ptr<CMultiDocTemplate> Make(UINT nIDResource) {
        return std::make_unique<CMultiDocTemplate>(
            nIDResource, [] { return static_cast<CDocument*>(new TDoc); },
            [] { return static_cast<CMDIChildWnd*>(new TFrame); },
            [] { return static_cast<CView*>(new TView); });
    }
};
