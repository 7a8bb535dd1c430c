#pragma once

#include <string>
#include <vector>

// Round tick values for an axis showing a range of values, as the control chart and the
// compare window label their axes: steps of 1, 2 or 5 times a power of ten.
class CAxisScale {
public:
    // The smallest round step that divides [fLow, fHigh] into at most nMaxSteps intervals.
    static double Step(double fLow, double fHigh, int nMaxSteps);
    // Every multiple of the step from fLow to fHigh, both ends included when they fall on one.
    static std::vector<double> Ticks(double fLow, double fHigh, int nMaxSteps);
    // A tick's label with as many decimals as the step needs ("1200", "0.5", "-2.25").
    static std::string Label(double fValue, double fStep);
};
