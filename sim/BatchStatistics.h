#pragma once

#include <cstdint>
#include <vector>

// The eight statistics values an analyser reports for its batch, as they travel on the line:
// mean, standard deviation, Cpk and Cp in tenths, then minimum, maximum, good and bad counts.
struct SimBatchStatistics {
    std::int16_t nMean = 0;
    std::int16_t nStdDev = 0;
    std::int16_t nCpk = 0;
    std::int16_t nCp = 0;
    std::int16_t nMin = 0;
    std::int16_t nMax = 0;
    std::uint16_t nGood = 0;
    std::uint16_t nBad = 0;
};

// Statistics of a batch judged against inclusive lower and upper limits, which are also the
// limits of Cp and Cpk. The standard deviation is the sample one (n - 1). Tenths are rounded
// to the nearest and saturate at the 16-bit range; a batch with no spread gives saturated
// indices. An empty batch gives all zeros.
SimBatchStatistics ComputeBatchStatistics(const std::vector<std::uint16_t>& batch,
                                          std::uint16_t lower, std::uint16_t upper);
