#pragma once

#include "app/framework/Document.h"
#include "app/graphs/PressDownload.h"
#include "app/network/PressWatcher.h"
#include "app/shell/PressDocument.h"
#include "network/Point.h"
#include "network/Stats.h"
#include "records/BatchRecord.h"

#include <QObject>

#include <memory>
#include <string>
#include <vector>

// One analyser's batch buffer (a value per crimp) with its statistics of the batch. Made for a
// station it downloads at once and again on Reload, reading the station's name and node ID
// each time; read from a .buf file it shows what the file holds for good.
class CBatchDoc : public CDocument, public CPressDocument, public CPressWatcher {
public:
    // The most entries a batch document holds; a longer batch is refused, never cut.
    static constexpr unsigned kCapacity = 1000;

    CBatchDoc();

    void SetPress(CPress* pPress, CLineJob job) override;
    void Reload(CLineJob job) override;
    bool IsDownloading() const { return m_download.IsRunning(); }
    // A station deleted from the layout: its last name and node ID are kept for reloads.
    void OnPressRemoved(CPress* pPress) override;

    void Serialize(CArchive& ar) override;
    bool OnOpenDocument(const std::string& strPathName) override;
    void DeleteContents() override;

    // The top of the graph at full range: the largest value the downloads delivered; for a
    // file, which holds no such value, the largest of its entries and its maximum.
    int GetFullRangeY() const;
    // The document's batch as the shared record (with the whole statistics where it was
    // downloaded); what a .buf file holds goes through it.
    CBatchRecord ToRecord() const;
    const std::string& GetStationName() const { return m_strStation; }
    int GetNodeID() const { return m_nNodeID; }

    std::vector<tagPOINT> m_pPoints;
    unsigned short m_nCount = 0;
    int m_nLimitLine = 0;
    CPress* m_pPress = nullptr;
    std::string m_strSavedTitle;
    bool m_bCanReload = true;
    CStats m_stats;
    bool m_bHasData = false;
    std::int64_t m_nTimeMs = 0; // UTC milliseconds of the download; 0 for a file

private:
    struct CDownload;
    void OnDownloaded(const CLineClient::Result& result, CDownload& data, CLineJob& job);
    // The statistics read with a download, or the batch downloaded, into the history.
    void RecordInHistory(const CDownload& data, bool bBatch) const;

    // The station's name and node ID as last read from it.
    std::string m_strStation;
    int m_nNodeID = 0;
    CPressDownload m_download;
};
