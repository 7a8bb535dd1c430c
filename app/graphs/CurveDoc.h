#pragma once

#include "app/framework/Document.h"
#include "app/shell/PressDocument.h"
#include "network/Point.h"

#include <cstdint>
#include <string>
#include <vector>

class CZarnPort;

// One analyser's last force curve over its reference curve, with its zone positions and result
// values. Made for a station it downloads at once (and again on Reload); read from a .cur file
// it shows what the file holds for good.
class CCurveDoc : public CDocument, public CPressDocument {
public:
    // Both curves hold one point more than a download fills; the last is stored as it is.
    static constexpr int kCurvePoints = 501;
    static constexpr int kDownloadedPoints = 500;

    CCurveDoc();

    void SetPress(CPress* pPress) override;
    void Reload() override;

    void Serialize(CArchive& ar) override;
    bool OnOpenDocument(const std::string& strPathName) override;
    void DeleteContents() override;

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

private:
    // False when a request failed: the message is shown and the window closes.
    bool Download(CZarnPort* pPort);
};
