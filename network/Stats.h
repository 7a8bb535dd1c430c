#pragma once

#include "base/Export.h"

// The batch statistics of one analyser: created by the program, filled by the library.
class LINTARO_API CStats {
public:
    CStats() = default;

    float m_fMean = 0.0f;
    float m_fCpk = 0.0f;
    float m_fCp = 0.0f;
    float m_fStdDev = 0.0f;
    short m_nMax = 0;
    short m_nMin = 0;
    unsigned short m_nBad = 0;
    unsigned short m_nGood = 0;
    unsigned short m_nBatchMax = 0;
    unsigned short m_nBLO = 0;
    int m_nNodeID = 0;
};
