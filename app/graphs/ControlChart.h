#pragma once

#include <vector>

// The arithmetic of an individuals control chart over a batch: the mean of the values, their
// standard deviation and the limits three deviations either side, and the entries beyond them.
// The deviation is that of the batch values themselves (the sample deviation, n - 1), so a
// batch read from a file, which holds no statistics of the analyser, gets the same chart as a
// downloaded one.
class CControlChart {
public:
    CControlChart() = default;
    explicit CControlChart(std::vector<int> values);

    const std::vector<int>& GetValues() const { return m_values; }
    int GetCount() const { return static_cast<int>(m_values.size()); }
    double GetMean() const { return m_fMean; }
    // 0 for fewer than two values.
    double GetSigma() const { return m_fSigma; }
    double GetUpper() const { return m_fMean + 3.0 * m_fSigma; }
    double GetLower() const { return m_fMean - 3.0 * m_fSigma; }
    // The entries strictly above the upper or below the lower limit, in entry order. A batch
    // without spread has none.
    const std::vector<int>& GetBeyond() const { return m_beyond; }
    bool IsBeyond(int nIndex) const;
    // The values a full view shows: every entry and both limits, with a twentieth of the span
    // to spare above and below (a span of at least 1).
    void FullRange(double& fLow, double& fHigh) const;

private:
    std::vector<int> m_values;
    double m_fMean = 0.0;
    double m_fSigma = 0.0;
    std::vector<int> m_beyond;
};
