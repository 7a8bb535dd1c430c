#pragma once

#include "base/Object.h"
#include "records/Geometry.h"

#include <cstdint>
#include <string>

// One press station of the shop-floor layout: where its icon sits, its analyser's node ID, its
// descriptive texts and the limits last accepted for it. Texts are held in UTF-8 and stored in
// the 8-bit code page.
class CPress : public CObject {
public:
    static constexpr const char* kClassName = "CPress";
    static constexpr std::uint16_t kSchema = 1;
    static constexpr int kIconSize = 32;

    CPress() = default;
    CPress(const std::string& strName, CPoint point, int nNodeID);

    void MoveTo(CPoint point);
    CPoint GetPosition() const { return m_rect.TopLeft(); }
    const CRect& GetRect() const { return m_rect; }
    void SetRect(const CRect& rect) { m_rect = rect; }
    bool HitTest(CPoint point) const { return m_rect.Contains(point); }

    const std::string& GetName() const { return m_strName; }
    void SetName(const std::string& name) { m_strName = name; }
    int GetNodeID() const { return m_nNodeID; }
    void SetNodeID(int node) { m_nNodeID = node; }
    bool IsSelected() const { return m_bSelected; }
    void SetSelected(bool selected) { m_bSelected = selected; }
    const std::string& GetSerialNo() const { return m_strSerialNo; }
    void SetSerialNo(const std::string& s) { m_strSerialNo = s; }
    const std::string& GetWireType() const { return m_strWireType; }
    void SetWireType(const std::string& s) { m_strWireType = s; }
    const std::string& GetTerminalType() const { return m_strTerminalType; }
    void SetTerminalType(const std::string& s) { m_strTerminalType = s; }
    std::uint32_t GetReserved() const { return m_dwReserved; }
    void SetReserved(std::uint32_t v) { m_dwReserved = v; }
    double GetSFactor() const { return m_dSFactor; }
    void SetSFactor(double v) { m_dSFactor = v; }
    double GetDFactor() const { return m_dDFactor; }
    void SetDFactor(double v) { m_dDFactor = v; }
    double GetTFactor() const { return m_dTFactor; }
    void SetTFactor(double v) { m_dTFactor = v; }
    int GetTeachCycles() const { return m_nTeachCycles; }
    void SetTeachCycles(int v) { m_nTeachCycles = v; }
    int GetBLO() const { return m_nBLO; }
    void SetBLO(int v) { m_nBLO = v; }

    // The station's fields, after its object tag, in the station file's order.
    void Serialize(CArchive& ar) override;

private:
    bool m_bSelected = false;
    CRect m_rect{0, 0, kIconSize, kIconSize};
    std::string m_strName;
    std::string m_strSerialNo;
    std::string m_strWireType;
    std::string m_strTerminalType;
    std::uint32_t m_dwReserved = 0;
    double m_dSFactor = 2.0;
    double m_dDFactor = 2.0;
    double m_dTFactor = 0.5;
    int m_nTeachCycles = 5;
    int m_nNodeID = 1;
    int m_nBLO = 10;
};
