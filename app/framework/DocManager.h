#pragma once

#include "app/framework/DocTemplate.h"

#include <memory>
#include <string>
#include <vector>

// The application's document types and what spans them: the File Open filter, the choices of
// the New dialog, finding the type for a file, save-all and close-all.
class CDocManager {
public:
    CDocManager() = default;
    ~CDocManager();
    CDocManager(const CDocManager&) = delete;
    CDocManager& operator=(const CDocManager&) = delete;

    // The manager owns the templates, in the order they were added.
    CDocTemplate* AddDocTemplate(std::unique_ptr<CDocTemplate> pTemplate);
    std::vector<CDocTemplate*> GetTemplates() const;

    // One filter of the File Open dialog.
    struct Filter {
        std::string strName;               // as the operator reads it
        std::vector<std::string> patterns; // "*.cur"
    };
    // The types that have a filter name and extension, in template order, then "All Files".
    static std::vector<Filter> BuildFilters(const std::vector<CDocTemplate*>& templates);
    // The same as a Qt file-dialog filter string ("A (*.a);;B (*.b);;All Files (*)").
    static std::string FormatFilters(const std::vector<Filter>& filters);
    // The types the New dialog offers: those with a new-file name, in template order.
    static std::vector<CDocTemplate*> GetNewTemplates(const std::vector<CDocTemplate*>& templates);

    // The type for a file: the one whose extension matches, or an open document of the file;
    // else the first type that has a filter. Null when no type can read files.
    CDocTemplate* FindTemplateForFile(const std::string& strPathName, CDocument*& rpOpenDoc) const;

    bool SaveAllModified();
    void CloseAllDocuments(bool bEndSession);
    std::vector<CDocument*> GetAllDocuments() const;

private:
    std::vector<std::unique_ptr<CDocTemplate>> m_templates;
};
