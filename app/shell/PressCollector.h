#pragma once

#include "app/framework/WinTypes.h"
#include "app/shell/LineClient.h"

#include <functional>
#include <vector>

class CPress;

// A document that collects stations (the statistics window).
class CPressCollector {
public:
    virtual ~CPressCollector() = default;
    // Adds the station; with bReport, a station already listed or unreadable is reported.
    // job.onFinished runs once that is over.
    virtual BOOL AddPress(CPress* pPress, BOOL bReport, CLineJob job) = 0;
    // Puts back the stations its list file names, found by node ID, in the file's order; the
    // node IDs no station has are left out and returned.
    virtual std::vector<int> Restore(const std::function<CPress*(int nNodeID)>& find) {
        (void)find;
        return {};
    }
    // Reads the listed ones of these stations again at once (a command changed them).
    virtual void Reread(const std::vector<int>& nodes) { (void)nodes; }
};
