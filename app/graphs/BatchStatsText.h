#pragma once

#include "app/framework/WinTypes.h"

#include <string>
#include <vector>

class CStats;

// Control numbers of the Batch Statistics dialog's value fields.
constexpr UINT IDC_BATCH_MEAN = 1031;
constexpr UINT IDC_BATCH_STDDEV = 1032;
constexpr UINT IDC_BATCH_CPK = 1033;
constexpr UINT IDC_BATCH_CP = 1034;
constexpr UINT IDC_BATCH_MIN = 1036;
constexpr UINT IDC_BATCH_MAX = 1037;
constexpr UINT IDC_BATCH_BLO = 1009;
constexpr UINT IDC_BATCH_GOOD = 1039;
constexpr UINT IDC_BATCH_BAD = 1040;
constexpr UINT IDC_BATCH_SIZE = 1041;
constexpr UINT IDC_BATCH_GOOD_PERCENT = 1042;
constexpr UINT IDC_BATCH_BAD_PERCENT = 1043;

// The texts of the Batch Statistics dialog: the analyser's values as they stand, with the batch
// size and the two percentages worked out here.
class CBatchStatsText {
public:
    struct Field {
        UINT nID;
        const char* pszLabel;
        std::string strText;
    };
    // In the dialog's order: the statistics group, then the details group.
    static std::vector<Field> Format(const CStats& stats);
};
