#include "app/graphs/AxisScale.h"

#include "records/ClassicNumbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

double CAxisScale::Step(double fLow, double fHigh, int nMaxSteps) {
    const double span = std::fabs(fHigh - fLow);
    const int steps = std::max(nMaxSteps, 1);
    if (!std::isfinite(span) || span <= 0.0) {
        return 1.0;
    }
    const double rough = span / steps;
    double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (;;) {
        for (double factor : {1.0, 2.0, 5.0}) {
            if (factor * power >= rough * (1.0 - 1e-9)) {
                return factor * power;
            }
        }
        power *= 10.0;
    }
}

std::vector<double> CAxisScale::Ticks(double fLow, double fHigh, int nMaxSteps) {
    std::vector<double> ticks;
    if (!std::isfinite(fLow) || !std::isfinite(fHigh)) {
        return ticks;
    }
    const double low = std::min(fLow, fHigh);
    const double high = std::max(fLow, fHigh);
    const double step = Step(low, high, nMaxSteps);
    const double slack = step * 1e-9;
    // Counted in whole steps, so that no rounding error adds up along the axis.
    const long long first = static_cast<long long>(std::ceil((low - slack) / step));
    const long long last = static_cast<long long>(std::floor((high + slack) / step));
    for (long long k = first; k <= last && ticks.size() <= 1000; ++k) {
        const double value = static_cast<double>(k) * step;
        ticks.push_back(value == 0.0 ? 0.0 : value); // never "-0"
    }
    return ticks;
}

std::string CAxisScale::Label(double fValue, double fStep) {
    int decimals = 0;
    if (fStep > 0.0 && fStep < 1.0) {
        decimals = static_cast<int>(std::ceil(-std::log10(fStep) - 1e-9));
        // 0.25 and 0.05 need one place more than their power of ten says.
        const double scaled = fStep * std::pow(10.0, decimals);
        if (std::fabs(scaled - std::round(scaled)) > 1e-6) {
            ++decimals;
        }
    }
    if (std::fabs(fValue) < fStep * 1e-9) {
        fValue = 0.0;
    }
    char text[64];
    const CClassicNumbers classic;
    std::snprintf(text, sizeof text, "%.*f", std::min(decimals, 9), fValue);
    return text;
}
