#pragma once

#include "app/framework/Document.h"
#include "app/shell/PressCollector.h"
#include "app/stats/StatsList.h"

#include <cstdint>
#include <string>
#include <vector>

// The statistics window's document: the rows of chosen stations and the list file they are
// kept in. Its window cannot be closed; it is saved, without asking, when the program ends.
class CStatsDoc : public CDocument, public CPressCollector {
public:
    static constexpr const char* kListFile = "statswnd.vlm";
    static constexpr const char* kTitle = "Process Statistics";

    // Polling period in milliseconds.
    int m_nPeriod = 3000;
    // The node IDs last read from the list file.
    std::vector<std::uint32_t> m_aNodeIDs;

    CStatsList& GetRows() { return m_rows; }
    const CStatsList& GetRows() const { return m_rows; }

    // Hands the station to the views, which add it (reporting problems with bReport).
    BOOL AddPress(CPress* pPress, BOOL bReport, CLineJob job) override;
    std::vector<int> Restore(const std::function<CPress*(int nNodeID)>& find) override;
    void Reread(const std::vector<int>& nodes) override;

    // Makes the list file in the current folder when it is missing, then reads the path. A
    // damaged file is reported and the window starts with an empty list all the same.
    bool OnOpenDocument(const std::string& strPathName) override;
    void Serialize(CArchive& ar) override;
    void DeleteContents() override { m_aNodeIDs.clear(); }
    void SetTitle(const std::string& strTitle) override;

    bool CanCloseFrame(CFrameWnd* pFrame) override;
    // Writes the list to its file without asking; always lets the caller go on.
    bool SaveModified() override;

protected:
    void ReportSaveLoadException(const std::string& strPathName, bool bSaving,
                                 bool bFormat) override;

private:
    CStatsList m_rows;
    bool m_bDamaged = false;
};
