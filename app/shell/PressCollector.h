#pragma once

#include "app/framework/WinTypes.h"

class CPress;

// A document that collects stations (the statistics window).
class CPressCollector {
public:
    virtual ~CPressCollector() = default;
    // Adds the station; with bReport, a station already listed or unreadable is reported.
    virtual BOOL AddPress(CPress* pPress, BOOL bReport) = 0;
};
