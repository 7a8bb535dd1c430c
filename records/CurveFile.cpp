#include "records/CurveFile.h"

#include "base/Archive.h"
#include "base/CodePage.h"
#include "records/LayoutFile.h"

void CCurveFile::Store(CArchive& ar, const CCurveRecord& curve) {
    ar.WriteString(Utf8ToCp1252(curve.m_strTitle));
    for (int i = 0; i < CCurveRecord::kCurvePoints; ++i) {
        // A short array (never one of ours) stores its missing points as (0, 0).
        const auto at = static_cast<std::size_t>(i);
        const tagPOINT f = at < curve.m_pForce.size() ? curve.m_pForce[at] : tagPOINT{0, 0};
        const tagPOINT r = at < curve.m_pReference.size() ? curve.m_pReference[at] : tagPOINT{0, 0};
        ar << f.x << f.y << r.x << r.y;
    }
    ar << static_cast<std::int32_t>(curve.m_nNodeID);
    ar.WriteString(Utf8ToCp1252(curve.m_strStation));
    for (int z : curve.m_nZoneInfo) {
        ar << static_cast<std::int32_t>(z);
    }
    ar << static_cast<std::int32_t>(curve.m_nPeakForce);
}

void CCurveFile::Load(CArchive& ar, CCurveRecord& curve) {
    curve.m_strTitle = Cp1252ToUtf8(ar.ReadString());
    curve.m_pForce.resize(CCurveRecord::kCurvePoints);
    curve.m_pReference.resize(CCurveRecord::kCurvePoints);
    for (int i = 0; i < CCurveRecord::kCurvePoints; ++i) {
        tagPOINT& f = curve.m_pForce[static_cast<std::size_t>(i)];
        tagPOINT& r = curve.m_pReference[static_cast<std::size_t>(i)];
        ar >> f.x >> f.y >> r.x >> r.y;
    }
    std::int32_t node = 0;
    ar >> node;
    curve.m_nNodeID = node;
    curve.m_strStation = Cp1252ToUtf8(ar.ReadString());
    for (int& z : curve.m_nZoneInfo) {
        std::int32_t v = 0;
        ar >> v;
        z = v;
    }
    std::int32_t peak = 0;
    ar >> peak;
    curve.m_nPeakForce = peak;
    // Anything after the last field is not a curve file of ours.
    if (ar.Remaining() != 0) {
        throw CArchiveException(CArchiveException::badIndex, "data after the curve");
    }
}

std::vector<std::uint8_t> CCurveFile::ToBytes(const CCurveRecord& curve) {
    return LayoutFile::ToBytes(&Store, curve);
}

bool CCurveFile::FromBytes(const std::vector<std::uint8_t>& bytes, CCurveRecord& curve,
                           std::string* reason) {
    return LayoutFile::FromBytes(&Load, "curve file", bytes, curve, reason);
}

bool CCurveFile::ReadFile(const std::string& path, CCurveRecord& curve, std::string* reason) {
    std::vector<std::uint8_t> bytes;
    return LayoutFile::ReadBytes(path, bytes, reason) && FromBytes(bytes, curve, reason);
}

bool CCurveFile::WriteFile(const std::string& path, const CCurveRecord& curve,
                           std::string* reason) {
    return LayoutFile::Write(&Store, path, curve, reason);
}
