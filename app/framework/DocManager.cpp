#include "app/framework/DocManager.h"

#include "app/framework/Document.h"
#include "app/framework/FrameworkIds.h"
#include "app/framework/StringTable.h"

CDocManager::~CDocManager() {
    // Templates close their documents as they go, the last added first.
    while (!m_templates.empty()) {
        m_templates.pop_back();
    }
}

CDocTemplate* CDocManager::AddDocTemplate(std::unique_ptr<CDocTemplate> pTemplate) {
    if (pTemplate == nullptr) {
        return nullptr;
    }
    m_templates.push_back(std::move(pTemplate));
    return m_templates.back().get();
}

std::vector<CDocTemplate*> CDocManager::GetTemplates() const {
    std::vector<CDocTemplate*> templates;
    for (const auto& p : m_templates) {
        templates.push_back(p.get());
    }
    return templates;
}

std::vector<CDocManager::Filter>
CDocManager::BuildFilters(const std::vector<CDocTemplate*>& templates) {
    std::vector<Filter> filters;
    for (CDocTemplate* pTemplate : templates) {
        std::string name = pTemplate->GetDocString(CDocTemplate::filterName);
        std::string ext = pTemplate->GetDocString(CDocTemplate::filterExt);
        if (name.empty() || ext.empty()) {
            continue;
        }
        Filter filter{name, {}};
        std::size_t start = 0;
        while (start <= ext.size()) {
            std::size_t semi = ext.find(';', start);
            std::string one =
                ext.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
            if (!one.empty()) {
                filter.patterns.push_back(one[0] == '*' ? one : "*" + one);
            }
            if (semi == std::string::npos) {
                break;
            }
            start = semi + 1;
        }
        if (!filter.patterns.empty()) {
            filters.push_back(filter);
        }
    }
    filters.push_back({CStringTable::Load(AFX_IDS_ALLFILTER), {"*"}});
    return filters;
}

std::string CDocManager::FormatFilters(const std::vector<Filter>& filters) {
    std::string out;
    for (const Filter& f : filters) {
        std::string patterns;
        for (const std::string& p : f.patterns) {
            patterns += (patterns.empty() ? "" : " ") + p;
        }
        // A name that already ends in its patterns ("Curves (*.cur)") is used as it is.
        std::string entry = f.strName;
        std::size_t open = entry.rfind('(');
        bool hasPatterns = open != std::string::npos && !entry.empty() && entry.back() == ')';
        if (!hasPatterns) {
            entry += " (" + patterns + ")";
        }
        out += (out.empty() ? "" : ";;") + entry;
    }
    return out;
}

std::vector<CDocTemplate*>
CDocManager::GetNewTemplates(const std::vector<CDocTemplate*>& templates) {
    std::vector<CDocTemplate*> out;
    for (CDocTemplate* pTemplate : templates) {
        if (!pTemplate->GetDocString(CDocTemplate::fileNewName).empty()) {
            out.push_back(pTemplate);
        }
    }
    return out;
}

CDocTemplate* CDocManager::FindTemplateForFile(const std::string& strPathName,
                                               CDocument*& rpOpenDoc) const {
    rpOpenDoc = nullptr;
    CDocTemplate* best = nullptr;
    CDocTemplate::Confidence bestMatch = CDocTemplate::noAttempt;
    for (const auto& p : m_templates) {
        CDocument* pOpen = nullptr;
        CDocTemplate::Confidence match = p->MatchDocType(strPathName, pOpen);
        if (match > bestMatch) {
            bestMatch = match;
            best = p.get();
            rpOpenDoc = pOpen;
        }
        if (match == CDocTemplate::yesAlreadyOpen) {
            break;
        }
    }
    return best;
}

bool CDocManager::SaveAllModified() {
    for (const auto& p : m_templates) {
        if (!p->SaveAllModified()) {
            return false;
        }
    }
    return true;
}

void CDocManager::CloseAllDocuments(bool bEndSession) {
    for (const auto& p : m_templates) {
        p->CloseAllDocuments(bEndSession);
    }
}

std::vector<CDocument*> CDocManager::GetAllDocuments() const {
    std::vector<CDocument*> docs;
    for (const auto& p : m_templates) {
        docs.insert(docs.end(), p->GetDocuments().begin(), p->GetDocuments().end());
    }
    return docs;
}
