#pragma once

#include "network/Point.h"

#include <cstdint>
#include <string>
#include <vector>

// One downloaded force curve over its reference, with what the analyser reported beside it.
// Texts are UTF-8; the .cur file holds them in the 8-bit code page.
class CCurveRecord {
public:
    // A curve holds one point more than a download fills; the last is stored as it is.
    static constexpr int kCurvePoints = 501;
    static constexpr int kDownloadedPoints = 500;

    CCurveRecord();

    std::string m_strTitle;
    std::vector<tagPOINT> m_pForce;     // kCurvePoints
    std::vector<tagPOINT> m_pReference; // kCurvePoints
    int m_nNodeID = 0;
    std::string m_strStation;
    int m_nZoneInfo[5] = {};
    int m_nPeakForce = 0;

    // Not in the .cur file: known only for a download.
    bool m_bHasResults = false;
    short m_nResultS[4] = {};          // RS1, RS2, RS3, RSO
    unsigned short m_nResultU[4] = {}; // RU1, RU2, RU3, RUO
    unsigned int m_nPassCount = 0;
    unsigned int m_nFailCount = 0;
    std::int64_t m_nTimeMs = 0; // UTC milliseconds of the download, 0 when unknown
};
