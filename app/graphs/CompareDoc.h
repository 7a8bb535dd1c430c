#pragma once

#include "app/framework/Document.h"
#include "app/graphs/CompareCurve.h"

#include <string>
#include <vector>

class CCurveDoc;

// The curves of a compare window. It starts with the curves of the open curve windows; the
// operator adds more from curve windows, from .cur files and from the history where there is
// one, and removes them again. Nothing of it is stored: it never asks to be saved.
class CCompareDoc : public CDocument {
public:
    // As many as the legend and the colours keep apart.
    static constexpr std::size_t kMaxCurves = 16;

    enum class Added { added, duplicate, full };

    bool OnNewDocument() override;
    void DeleteContents() override { m_curves.clear(); }

    const std::vector<CCompareCurve>& GetCurves() const { return m_curves; }
    Added AddCurve(CCompareCurve curve);
    // The curves of every curve window that shows a downloaded or loaded curve; how many were
    // added. bFull is set when some did not fit.
    int AddOpenCurveWindows(bool& bFull);
    // A .cur file; false when it cannot be read as one. bFull as above.
    bool AddFile(const std::string& strPath, bool& bFull);
    void RemoveCurve(std::size_t nIndex);
    void RemoveAll();

    // The force curve of a curve window (the samples a download fills), with the station, the
    // node and the time its title gives.
    static CCompareCurve FromCurveDoc(const CCurveDoc& doc);
    // The time in a curve title "Downloaded Curve - name (Node - n) (time)"; empty for any
    // other title.
    static std::string TimeFromTitle(const std::string& strTitle);
    // A time as a title writes it (the desktop's short format) in the one way the compare
    // window writes times, "YYYY-MM-DD hh:mm:ss"; text it cannot read is kept as it is.
    static std::string IsoTime(const std::string& strLocaleTime);

private:
    std::vector<CCompareCurve> m_curves;
};
