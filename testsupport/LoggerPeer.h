#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

class CScriptedLine;

using Bytes = std::vector<std::uint8_t>;

// Independent of the library's code, so that both ends do not share a mistake.
std::uint16_t PeerManchester(std::uint8_t byte);
std::uint8_t PeerUnManchester(std::uint16_t word);

// Frames as the logger puts them on the line.
Bytes VaskFrame(std::uint8_t id, const Bytes& payload, std::uint8_t handshake,
                bool damageChecksum = false);
Bytes SerialFrame(const Bytes& payload, std::uint8_t handshake, bool damageChecksum = false);

// A data logger and wave jig at the far end of the line. It takes the host's frames in either
// format, answers the command table with the right reply codes and the request's handshake
// bit, and can be told to misbehave in the ways real lines do.
class CLoggerPeer {
public:
    struct Request {
        Bytes payload;
        std::uint8_t nHandshake;
        std::uint8_t nPacketID; // Vask only
    };
    // One misbehaviour for the next reply (taken in order, one per request).
    struct Fault {
        bool bSilent = false;
        bool bBadChecksum = false;
        bool bOtherHandshake = false;
        int nForeignBefore = 0; // frames for another packet ID ahead of the reply
        Bytes noiseBefore;      // bytes ahead of the reply
        Bytes payload;          // non-empty: this payload instead of the table's answer
        bool bTruncate = false; // the reply stops after half its bytes
    };

    explicit CLoggerPeer(bool vask, std::uint8_t packetID = 0x11);

    // Answers through the line's responder, each reply arriving delayMs after the request.
    void Attach(CScriptedLine& line, std::uint32_t delayMs = 2);
    // Feeds host bytes; returns what the peer puts on the line in answer (for a pty).
    Bytes Take(const Bytes& fromHost);

    void SetValue(std::uint8_t command, std::uint16_t value) { m_values[command] = value; }
    void SetSettings(const std::uint16_t (&values)[9]);
    void SetBuffer(const Bytes& reply) { m_buffer = reply; }
    void SetTimeStamps(const Bytes& stamps) { m_stamps = stamps; }
    void AddFault(const Fault& fault) { m_faults.push_back(fault); }
    void AddFaults(int count, const Fault& fault);
    // A frame of the peer's own (a stream frame), in the peer's format.
    Bytes Frame(const Bytes& payload, std::uint8_t handshake, bool damage = false) const;

    const std::vector<Request>& Requests() const { return m_requests; }
    std::vector<Bytes> Commands() const;
    int Replies() const { return m_nReplies; }

private:
    // The reply in the parts that arrive one after the other.
    std::vector<Bytes> Answer(const Request& request);
    Bytes ReplyFor(const Request& request);
    bool NextFrame(Request& request);

    bool m_bVask;
    std::uint8_t m_nPacketID;
    Bytes m_input;
    std::map<std::uint8_t, std::uint16_t> m_values;
    std::uint16_t m_settings[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    Bytes m_buffer;
    Bytes m_stamps;
    std::deque<Fault> m_faults;
    std::vector<Request> m_requests;
    int m_nReplies = 0;
    std::uint32_t m_nSpacingMs = 3;
};
