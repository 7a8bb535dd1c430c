#pragma once

#include <string>

// The station a record belongs to, as the layout names it at the time of the record.
class CHistoryStation {
public:
    int m_nNodeID = 0;
    std::string m_strName;
    std::string m_strTerminalType;
    std::string m_strWireType;
    std::string m_strSerialNo;
};
