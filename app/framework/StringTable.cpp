#include "app/framework/StringTable.h"

#include "app/framework/FrameworkIds.h"

#include <map>
#include <mutex>

namespace {

struct Table {
    std::mutex mutex;
    std::map<UINT, std::string> texts;

    Table() {
        // The framework's own texts; the program's come from its resource script.
        texts[AFX_IDS_UNTITLED] = "Untitled";
        texts[AFX_IDS_ALLFILTER] = "All Files (*)";
        texts[AFX_IDS_OPENFILE] = "Open";
        texts[AFX_IDS_SAVEFILE] = "Save As";
        texts[AFX_IDS_MORE_WINDOWS] = "&More Windows...";
        texts[AFX_IDS_RECENT_FILE] = "Recent File";
        texts[AFX_IDS_NEW_TITLE] = "New";
        texts[AFX_IDS_NEW_PROMPT] = "New";
        texts[AFX_IDS_SELECT_WINDOW] = "Select Window";
        texts[AFX_IDP_ASK_TO_SAVE] = "Save changes to %1?";
        texts[AFX_IDP_FAILED_TO_OPEN_DOC] = "Failed to open document.";
        texts[AFX_IDP_FAILED_TO_SAVE_DOC] = "Failed to save document.";
        texts[AFX_IDP_FAILED_INVALID_FORMAT] = "Unexpected file format.";
        texts[AFX_IDP_FAILED_TO_CREATE_DOC] = "Failed to create empty document.";
        texts[AFX_IDP_FILE_NOT_FOUND] = "%1\nFile not found.";
        texts[AFX_IDP_PRINT_FAILED] = "Failed to print document.";
    }
};

Table& TheTable() {
    static Table table;
    return table;
}

} // namespace

std::string CStringTable::Load(UINT nID) {
    Table& t = TheTable();
    std::lock_guard lock(t.mutex);
    auto it = t.texts.find(nID);
    return it == t.texts.end() ? std::string() : it->second;
}

bool CStringTable::Has(UINT nID) {
    Table& t = TheTable();
    std::lock_guard lock(t.mutex);
    return t.texts.count(nID) != 0;
}

void CStringTable::Register(UINT nID, const std::string& strText) {
    Table& t = TheTable();
    std::lock_guard lock(t.mutex);
    t.texts[nID] = strText;
}

std::string CStringTable::FormatText1(const std::string& strText, const std::string& strArg) {
    std::string out;
    out.reserve(strText.size() + strArg.size());
    for (std::size_t i = 0; i < strText.size(); ++i) {
        if (strText[i] == '%' && i + 1 < strText.size() && strText[i + 1] == '1') {
            out += strArg;
            ++i;
        } else {
            out += strText[i];
        }
    }
    return out;
}

std::string CStringTable::Format1(UINT nID, const std::string& strArg) {
    return FormatText1(Load(nID), strArg);
}

std::string CStringTable::Prompt(UINT nID) {
    std::string text = Load(nID);
    std::string::size_type nl = text.find('\n');
    return nl == std::string::npos ? text : text.substr(0, nl);
}

std::string CStringTable::ToolTip(UINT nID) {
    std::string text = Load(nID);
    std::string::size_type nl = text.find('\n');
    return nl == std::string::npos ? std::string() : text.substr(nl + 1);
}
