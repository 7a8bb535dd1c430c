#include "app/graphs/CompareDoc.h"

#include "app/graphs/CurveDoc.h"
#include "app/shell/QuorvelApp.h"
#include "base/Archive.h"
#include "base/FileIO.h"
#include "records/TimeText.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace {

constexpr const char* kCurveTitleStart = "Downloaded Curve - ";
// A curve file is some 8 KB; anything far larger is not one and is not read into memory.
constexpr qint64 kLargestCurveFile = 1 << 20;

} // namespace

bool CCompareDoc::OnNewDocument() {
    if (!CDocument::OnNewDocument()) {
        return false;
    }
    SetTitle("Compare Curves");
    bool bFull = false;
    AddOpenCurveWindows(bFull);
    return true;
}

CCompareDoc::Added CCompareDoc::AddCurve(CCompareCurve curve) {
    for (const CCompareCurve& shown : m_curves) {
        if (shown.SameAs(curve)) {
            return Added::duplicate;
        }
    }
    if (m_curves.size() >= kMaxCurves) {
        return Added::full;
    }
    m_curves.push_back(std::move(curve));
    UpdateAllViews(nullptr);
    return Added::added;
}

int CCompareDoc::AddOpenCurveWindows(bool& bFull) {
    bFull = false;
    CQuorvelApp* pApp = GetQuorvelApp();
    if (pApp == nullptr || pApp->m_pCurveTemplate == nullptr) {
        return 0;
    }
    int added = 0;
    for (CDocument* pDoc : pApp->m_pCurveTemplate->GetDocuments()) {
        auto* pCurve = dynamic_cast<CCurveDoc*>(pDoc);
        if (pCurve == nullptr || !pCurve->m_bHasData) {
            continue;
        }
        switch (AddCurve(FromCurveDoc(*pCurve))) {
        case Added::added:
            ++added;
            break;
        case Added::full:
            bFull = true;
            break;
        case Added::duplicate:
            break;
        }
    }
    return added;
}

bool CCompareDoc::AddFile(const std::string& strPath, bool& bFull) {
    bFull = false;
    std::vector<std::uint8_t> data;
    if (QFileInfo(QString::fromStdString(strPath)).size() > kLargestCurveFile ||
        !ReadWholeFile(strPath, data)) {
        return false;
    }
    CCurveDoc doc;
    try {
        CArchive ar(data);
        doc.Serialize(ar);
    } catch (const CArchiveException&) {
        return false;
    }
    doc.SetTitle(doc.m_strSavedTitle);
    CCompareCurve curve = FromCurveDoc(doc);
    curve.strSource = strPath;
    if (curve.strTime.empty()) {
        // A title of its own: the file's time is the best there is.
        const QDateTime modified = QFileInfo(QString::fromStdString(strPath)).lastModified();
        curve.strTime = modified.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
    }
    bFull = AddCurve(std::move(curve)) == Added::full;
    return true;
}

void CCompareDoc::RemoveCurve(std::size_t nIndex) {
    if (nIndex < m_curves.size()) {
        m_curves.erase(m_curves.begin() + static_cast<std::ptrdiff_t>(nIndex));
        UpdateAllViews(nullptr);
    }
}

void CCompareDoc::RemoveAll() {
    m_curves.clear();
    UpdateAllViews(nullptr);
}

CCompareCurve CCompareDoc::FromCurveDoc(const CCurveDoc& doc) {
    CCompareCurve curve;
    curve.strStation = doc.m_strStation;
    curve.nNodeID = doc.m_nNodeID;
    if (doc.m_nTimeMs != 0) {
        curve.strTime = CTimeText::FormatLocal(doc.m_nTimeMs);
    } else {
        // A saved curve's window is named after its file; its download title went with it.
        std::string title = TimeFromTitle(doc.GetTitle());
        curve.strTime = IsoTime(title.empty() ? TimeFromTitle(doc.m_strSavedTitle) : title);
    }
    curve.strSource = doc.GetTitle();
    const std::size_t n =
        std::min(doc.m_pForce.size(), static_cast<std::size_t>(CCurveDoc::kDownloadedPoints));
    curve.points.assign(doc.m_pForce.begin(),
                        doc.m_pForce.begin() + static_cast<std::ptrdiff_t>(n));
    return curve;
}

std::string CCompareDoc::IsoTime(const std::string& strLocaleTime) {
    QDateTime when =
        QLocale::system().toDateTime(QString::fromStdString(strLocaleTime), QLocale::ShortFormat);
    if (!when.isValid()) {
        return strLocaleTime; // not the program's own: as the title gives it
    }
    // A two-digit year is of this century.
    if (when.date().year() < 1970) {
        when = when.addYears(100);
    }
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
}

std::string CCompareDoc::TimeFromTitle(const std::string& strTitle) {
    if (strTitle.rfind(kCurveTitleStart, 0) != 0 || strTitle.empty() || strTitle.back() != ')') {
        return {};
    }
    const std::size_t open = strTitle.rfind(" (");
    const std::size_t node = strTitle.find("(Node - ");
    if (open == std::string::npos || node == std::string::npos || open <= node) {
        return {};
    }
    return strTitle.substr(open + 2, strTitle.size() - open - 3);
}
