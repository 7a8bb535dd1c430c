#include "records/Press.h"

#include "base/Archive.h"
#include "base/CodePage.h"

CPress::CPress(const std::string& strName, CPoint point, int nNodeID) : m_strName(strName) {
    MoveTo(point);
    m_nNodeID = nNodeID;
}

void CPress::MoveTo(CPoint point) {
    m_rect = {point.x, point.y, point.x + kIconSize, point.y + kIconSize};
}

void CPress::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << static_cast<std::int32_t>(m_nNodeID);
        ar.WriteString(Utf8ToCp1252(m_strName));
        ar.WriteString(Utf8ToCp1252(m_strTerminalType));
        ar.WriteString(Utf8ToCp1252(m_strWireType));
        ar << m_dSFactor << m_dDFactor << m_dTFactor;
        ar << static_cast<std::int32_t>(m_nTeachCycles);
        ar << static_cast<std::int32_t>(m_rect.left) << static_cast<std::int32_t>(m_rect.top)
           << static_cast<std::int32_t>(m_rect.right) << static_cast<std::int32_t>(m_rect.bottom);
        ar << m_dwReserved;
        ar.WriteString(Utf8ToCp1252(m_strSerialNo));
        return;
    }
    std::int32_t node, teach, left, top, right, bottom;
    ar >> node;
    std::string name = Cp1252ToUtf8(ar.ReadString());
    std::string terminal = Cp1252ToUtf8(ar.ReadString());
    std::string wire = Cp1252ToUtf8(ar.ReadString());
    double s, d, t;
    ar >> s >> d >> t >> teach >> left >> top >> right >> bottom;
    std::uint32_t reserved;
    ar >> reserved;
    std::string serial = Cp1252ToUtf8(ar.ReadString());
    // Only a completely read station takes the values.
    m_nNodeID = node;
    m_strName = name;
    m_strTerminalType = terminal;
    m_strWireType = wire;
    m_dSFactor = s;
    m_dDFactor = d;
    m_dTFactor = t;
    m_nTeachCycles = teach;
    m_rect = {left, top, right, bottom};
    m_dwReserved = reserved;
    m_strSerialNo = serial;
}
