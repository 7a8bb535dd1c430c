#include "sim/BatchStatistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

std::int16_t Tenths(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double scaled = std::round(value * 10.0);
    if (scaled >= std::numeric_limits<std::int16_t>::max()) {
        return std::numeric_limits<std::int16_t>::max();
    }
    if (scaled <= std::numeric_limits<std::int16_t>::min()) {
        return std::numeric_limits<std::int16_t>::min();
    }
    return static_cast<std::int16_t>(scaled);
}

// A ratio whose divisor is zero saturates by the sign of its dividend.
double Ratio(double dividend, double divisor) {
    if (divisor > 0.0) {
        return dividend / divisor;
    }
    if (dividend == 0.0) {
        return 0.0;
    }
    return dividend > 0.0 ? std::numeric_limits<double>::infinity()
                          : -std::numeric_limits<double>::infinity();
}

std::int16_t Narrow(std::uint16_t value) {
    return static_cast<std::int16_t>(std::min<std::uint16_t>(value, 0x7FFF));
}

} // namespace

SimBatchStatistics ComputeBatchStatistics(const std::vector<std::uint16_t>& batch,
                                          std::uint16_t lower, std::uint16_t upper) {
    SimBatchStatistics stats;
    if (batch.empty()) {
        return stats;
    }
    double sum = 0.0;
    std::uint16_t lowest = batch.front();
    std::uint16_t highest = batch.front();
    unsigned long good = 0;
    for (std::uint16_t v : batch) {
        sum += v;
        lowest = std::min(lowest, v);
        highest = std::max(highest, v);
        if (v >= lower && v <= upper) {
            ++good;
        }
    }
    const double n = static_cast<double>(batch.size());
    const double mean = sum / n;
    double squares = 0.0;
    for (std::uint16_t v : batch) {
        squares += (v - mean) * (v - mean);
    }
    const double sigma = batch.size() > 1 ? std::sqrt(squares / (n - 1.0)) : 0.0;
    const double cp = Ratio(static_cast<double>(upper) - lower, 6.0 * sigma);
    const double cpk = Ratio(std::min(upper - mean, mean - lower), 3.0 * sigma);

    stats.nMean = Tenths(mean);
    stats.nStdDev = Tenths(sigma);
    stats.nCpk = Tenths(cpk);
    stats.nCp = Tenths(cp);
    stats.nMin = Narrow(lowest);
    stats.nMax = Narrow(highest);
    const unsigned long bad = batch.size() - good;
    stats.nGood = static_cast<std::uint16_t>(std::min<unsigned long>(good, 0xFFFF));
    stats.nBad = static_cast<std::uint16_t>(std::min<unsigned long>(bad, 0xFFFF));
    return stats;
}
