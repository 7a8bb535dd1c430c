#pragma once

#include "app/graphs/CompareCurve.h"

#include <functional>
#include <vector>

class QWidget;

// Where a compare window finds recorded curves. A program with a history store registers a
// picker at start-up: it lets the operator choose recorded curves (station, time span) and
// returns them. Without one, the compare window's Add From History command stays disabled.
class CCurveHistory {
public:
    using Picker = std::function<std::vector<CCompareCurve>(QWidget* pParent)>;

    // An empty picker takes the history away again.
    static void SetPicker(Picker picker);
    static bool IsAvailable();
    // The curves the operator chose; none when there is no history or the choice was cancelled.
    static std::vector<CCompareCurve> Pick(QWidget* pParent);
};
