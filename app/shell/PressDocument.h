#pragma once

#include "app/shell/LineClient.h"

class CPress;

// A document made for one press station and downloaded from its analyser (the curve and
// batch windows). The application hands it the station and asks it to download again.
class CPressDocument {
public:
    virtual ~CPressDocument() = default;
    // Takes the station and downloads; job.onFinished runs once the download is over.
    virtual void SetPress(CPress* pPress, CLineJob job) = 0;
    // Downloads again; does nothing for a document read from a file.
    virtual void Reload(CLineJob job) = 0;
};
