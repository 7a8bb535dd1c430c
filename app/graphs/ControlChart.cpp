#include "app/graphs/ControlChart.h"

#include <algorithm>
#include <cmath>

CControlChart::CControlChart(std::vector<int> values) : m_values(std::move(values)) {
    const std::size_t n = m_values.size();
    if (n == 0) {
        return;
    }
    // Two passes: the squares of the differences, not of the values, so that a large offset
    // loses no precision.
    long double sum = 0;
    for (int v : m_values) {
        sum += v;
    }
    const long double mean = sum / static_cast<long double>(n);
    m_fMean = static_cast<double>(mean);
    if (n < 2) {
        return;
    }
    long double squares = 0;
    for (int v : m_values) {
        const long double d = v - mean;
        squares += d * d;
    }
    m_fSigma = static_cast<double>(std::sqrt(squares / static_cast<long double>(n - 1)));
    if (m_fSigma <= 0.0) {
        return;
    }
    const double upper = GetUpper();
    const double lower = GetLower();
    for (std::size_t i = 0; i < n; ++i) {
        if (m_values[i] > upper || m_values[i] < lower) {
            m_beyond.push_back(static_cast<int>(i));
        }
    }
}

bool CControlChart::IsBeyond(int nIndex) const {
    return std::binary_search(m_beyond.begin(), m_beyond.end(), nIndex);
}

void CControlChart::FullRange(double& fLow, double& fHigh) const {
    fLow = GetLower();
    fHigh = GetUpper();
    for (int v : m_values) {
        fLow = std::min(fLow, static_cast<double>(v));
        fHigh = std::max(fHigh, static_cast<double>(v));
    }
    if (fHigh - fLow < 1.0) {
        const double middle = (fHigh + fLow) / 2.0;
        fLow = middle - 0.5;
        fHigh = middle + 0.5;
    }
    const double margin = (fHigh - fLow) / 20.0;
    fLow -= margin;
    fHigh += margin;
}
