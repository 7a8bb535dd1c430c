#pragma once

#include "network/Point.h"

#include <string>
#include <vector>

// One force curve in a compare window, with what its legend says about it.
struct CCompareCurve {
    std::string strStation;
    int nNodeID = 0;
    std::string strTime;   // when the curve was taken, as the operator reads it; may be empty
    std::string strSource; // where it came from (a window's title, a file's path, a record)
    std::vector<tagPOINT> points;

    // "Station (Node n) time"; the time left out when it is not known.
    std::string Legend() const;
    // The same curve: the same analyser's same samples, from whichever place (a window, its
    // file, its record in the history).
    bool SameAs(const CCompareCurve& other) const;
};
