#pragma once

#include "app/framework/WinTypes.h"
#include "app/shell/LineClient.h"

class CPress;

// A document that collects stations (the statistics window).
class CPressCollector {
public:
    virtual ~CPressCollector() = default;
    // Adds the station; with bReport, a station already listed or unreadable is reported.
    // job.onFinished runs once that is over.
    virtual BOOL AddPress(CPress* pPress, BOOL bReport, CLineJob job) = 0;
};
