#pragma once

#include "base/Export.h"
#include "network/ZarnPacket.h"

#include <cstdint>
#include <string>

// One request as it travelled the line: the node it was addressed to, its code and its data.
// Noise can turn the request the controller sent into another valid one (the packet checks let
// a few two-bit errors through), and the analyser at the node it then names carries it out.
// The controller sees this in the line's echo of its request.
class LINTARO_API CZarnRequest {
public:
    unsigned char m_nNodeID = 0;
    unsigned char m_nCode = 0;
    std::uint16_t m_nData = 0;

    // The request a packet carries, if it is one an analyser would act on: start byte 0xFF, from
    // the controller, addressed to an analyser, both check bytes right.
    static bool FromPacket(const COAXNWKPACKET& packet, CZarnRequest& request);

    // True when carrying it out changes the analyser: a batch-buffer reset, a new reference,
    // setting the teach cycles, BLO, or the T, D or S factor.
    bool ChangesAnalyser() const { return CodeChangesAnalyser(m_nCode); }
    static bool CodeChangesAnalyser(unsigned char code);
    // For people: "reset batch buffer for node 2", "set BLO for node 4 to 158".
    std::string Describe() const;
    // "reset batch buffer", "read T factor", ...; "unknown request N" for a code no analyser
    // knows.
    static std::string Name(unsigned char code);
};
