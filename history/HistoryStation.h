#pragma once

#include "records/Press.h"

#include <string>

// The station a record belongs to, as the layout names it at the time of the record.
class CHistoryStation {
public:
    int m_nNodeID = 0;
    std::string m_strName;
    std::string m_strTerminalType;
    std::string m_strWireType;
    std::string m_strSerialNo;

    // The station as the layout's press names it.
    static CHistoryStation Of(const CPress& press) {
        CHistoryStation station;
        station.m_nNodeID = press.GetNodeID();
        station.m_strName = press.GetName();
        station.m_strTerminalType = press.GetTerminalType();
        station.m_strWireType = press.GetWireType();
        station.m_strSerialNo = press.GetSerialNo();
        return station;
    }
};
