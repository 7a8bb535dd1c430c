#pragma once

#include "app/framework/Document.h"
#include "records/StationFile.h"

#include <string>
#include <vector>

// The one network document: owner of every press station of the layout. It reads the station
// file when it is created and writes it when it is destroyed; the file commands never save it,
// and its window cannot be closed while the program runs.
class CQuorvelDoc : public CDocument {
public:
    static constexpr const char* kTitle = "Press Stations";

    // Reads the station file from the current folder, or lays out the default network when
    // there is none.
    CQuorvelDoc();
    // Writes the station file (safely: a failed write keeps the old file).
    ~CQuorvelDoc() override;

    PressList& GetPresses() { return m_pPresses; }
    const PressList& GetPresses() const { return m_pPresses; }
    std::vector<CPress*>& GetGroup() { return m_pGroup; }

    CPress* FindPress(int nNodeID) const;
    CPress* AddNewPress();
    // Deletes the station if it belongs to the layout; nothing otherwise.
    void RemovePress(CPress* pPress);

    void SetTitle(const std::string& strTitle) override;
    bool CanCloseFrame(CFrameWnd* pFrame) override;
    bool SaveModified() override { return true; }

    // Where the station file lives: the process's current folder unless told otherwise.
    static void SetFileName(const std::string& strPath) { s_strFileName = strPath; }
    static const std::string& GetFileName() { return s_strFileName; }

private:
    PressList m_pPresses;
    std::vector<CPress*> m_pGroup;
    static std::string s_strFileName;
};
