#pragma once

#include "base/Export.h"

class CArchive;
class CDumpContext;

// Root of the serializable classes.
class LINTARO_API CObject {
public:
    virtual ~CObject();
    virtual void Serialize(CArchive& ar);
    // Diagnostic hooks; they check and print nothing in this build.
    virtual void AssertValid() const;
    virtual void Dump(CDumpContext& dc) const;
};
