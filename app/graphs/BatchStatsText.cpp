#include "app/graphs/BatchStatsText.h"

#include "app/graphs/GraphFormat.h"
#include "network/Stats.h"
#include "records/TextFormat.h"

std::vector<CBatchStatsText::Field> CBatchStatsText::Format(const CStats& stats) {
    const unsigned total = static_cast<unsigned>(stats.m_nGood) + stats.m_nBad;
    return {
        {IDC_BATCH_MEAN, "Mean:", CGraphFormat::Format("%3.1f", double{stats.m_fMean})},
        {IDC_BATCH_STDDEV,
         "Std. Deviation:", CGraphFormat::Format("%3.1f", double{stats.m_fStdDev})},
        {IDC_BATCH_CPK, "CPK:", CGraphFormat::Format("%3.1f", double{stats.m_fCpk})},
        {IDC_BATCH_CP, "CP:", CGraphFormat::Format("%3.1f", double{stats.m_fCp})},
        {IDC_BATCH_MIN, "Min:", CGraphFormat::Format("%d", int{stats.m_nMin})},
        {IDC_BATCH_MAX, "Max:", CGraphFormat::Format("%d", int{stats.m_nMax})},
        {IDC_BATCH_BLO, "BLO:", CGraphFormat::Format("%d", int{stats.m_nBLO})},
        {IDC_BATCH_GOOD, "Good Crimps:", CGraphFormat::Format("%d", int{stats.m_nGood})},
        {IDC_BATCH_BAD, "Bad Crimps:", CGraphFormat::Format("%d", int{stats.m_nBad})},
        {IDC_BATCH_SIZE, "Batch Size:", CGraphFormat::Format("%u", total)},
        {IDC_BATCH_GOOD_PERCENT, "Good Crimps(%):", FormatPercent(stats.m_nGood, total)},
        {IDC_BATCH_BAD_PERCENT, "Bad Crimps(%):", FormatPercent(stats.m_nBad, total)},
    };
}
