#pragma once

#include "app/framework/Document.h"
#include "app/graphs/PressDownload.h"
#include "app/shell/PressDocument.h"
#include "network/Point.h"
#include "records/CurveRecord.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One analyser's last force curve over its reference curve, with its zone positions and result
// values. Made for a station it downloads at once (and again on Reload); read from a .cur file
// it shows what the file holds for good.
class CCurveDoc : public CDocument, public CPressDocument {
public:
    // Both curves hold one point more than a download fills; the last is stored as it is.
    static constexpr int kCurvePoints = 501;
    static constexpr int kDownloadedPoints = 500;

    CCurveDoc();

    void SetPress(CPress* pPress, CLineJob job) override;
    void Reload(CLineJob job) override;
    // A download is on its way.
    bool IsDownloading() const { return m_download.IsRunning(); }

    void Serialize(CArchive& ar) override;
    bool OnOpenDocument(const std::string& strPathName) override;
    void DeleteContents() override;

    // The document's curve as the shared record (with the results where it was downloaded),
    // and back; what a .cur file holds goes through it, so the program and zarnctl write the
    // same bytes.
    CCurveRecord ToRecord() const;
    void FromRecord(const CCurveRecord& curve);

    bool m_bCanReload = true;
    std::vector<tagPOINT> m_pForce;
    std::vector<tagPOINT> m_pReference;
    int m_nZoneInfo[5] = {};
    int m_nPeakForce = 0;
    unsigned int m_nPassCount = 0;
    unsigned int m_nFailCount = 0;
    short m_nResultS[4] = {};
    unsigned short m_nResultU[4] = {};
    int m_nNodeID = 0;
    std::string m_strStation;
    std::string m_strSavedTitle;
    bool m_bHasData = false;
    std::int64_t m_nTimeMs = 0; // UTC milliseconds of the download; 0 for a file

private:
    struct CDownload;
    // The download's outcome, on the window thread: the data taken over, or the message of
    // the request that failed and the window closed.
    void OnDownloaded(const CLineClient::Result& result, const CDownload& data, CLineJob& job);

    CPressDownload m_download;
};
