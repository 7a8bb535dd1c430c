#pragma once

#include "base/Export.h"

#include <cstddef>
#include <deque>
#include <vector>

// The Telnet layer of a network port: separates the line's data from the Telnet commands in
// what the server sends, answers option negotiation (the "Q method" of RFC 1143, so that two
// sides never loop), collects subnegotiations, and escapes 0xFF in what we send. Only the
// options named at construction are taken on; every other is refused. Garbage (an IAC before a
// byte that is no command, a subnegotiation cut off by another command) is dropped. What no
// server needs is a fault that ends the reading: a subnegotiation longer than the limit, or
// more option negotiations than the budget allows between two calls of ResetBudget.
class LINTARO_API CTelnetCodec {
public:
    static constexpr unsigned char IAC = 255;
    static constexpr unsigned char DONT = 254;
    static constexpr unsigned char DO = 253;
    static constexpr unsigned char WONT = 252;
    static constexpr unsigned char WILL = 251;
    static constexpr unsigned char SB = 250;
    static constexpr unsigned char SE = 240;

    static constexpr unsigned char OPT_BINARY = 0;
    static constexpr unsigned char OPT_ECHO = 1;
    static constexpr unsigned char OPT_SGA = 3;
    static constexpr unsigned char OPT_COM_PORT = 44;

    // The longest subnegotiation payload taken (after unescaping); a COM-port command carries
    // at most a signature text.
    static constexpr std::size_t kMaxSubnegotiation = 512;
    // Option negotiations taken per budget: a server agrees a handful of options once.
    static constexpr unsigned kNegotiationBudget = 64;

    enum class State { no, yes, wantYes };
    enum class Fault { none, longSubnegotiation, negotiationStorm };

    struct CSubnegotiation {
        unsigned char nOption = 0;
        std::vector<unsigned char> payload; // unescaped, without IAC SB option and IAC SE
    };

    // Options we will enable on our side (WILL) and allow on the server's side (DO).
    CTelnetCodec(std::vector<unsigned char> local, std::vector<unsigned char> remote);

    // Takes bytes from the server; line data is appended to data (a CR NUL as CR while the
    // server's side is not binary). After a fault nothing more is taken.
    void Feed(const unsigned char* bytes, std::size_t count, std::deque<unsigned char>& data);
    Fault GetFault() const { return m_fault; }
    // Starts a new budget of option negotiations (each open, each read).
    void ResetBudget() { m_nNegotiations = 0; }

    // Asks for an option on our side (WILL) or on the server's (DO), unless already agreed.
    void RequestLocal(unsigned char option);
    void RequestRemote(unsigned char option);
    State Local(unsigned char option) const { return m_local[option]; }
    State Remote(unsigned char option) const { return m_remote[option]; }

    // What is to be sent to the server (requests and answers, in order), emptied by the call.
    std::vector<unsigned char> TakeOutbox();
    // The subnegotiations received since the last call.
    std::vector<CSubnegotiation> TakeSubnegotiations();

    // Line data as it goes on the wire: every 0xFF doubled.
    static void EscapeData(const unsigned char* data, std::size_t count,
                           std::vector<unsigned char>& out);
    // The same for this connection: while our side is not binary, a CR goes as CR NUL, as a
    // network virtual terminal's bare CR does (RFC 854).
    void Encode(const unsigned char* data, std::size_t count,
                std::vector<unsigned char>& out) const;
    // The wire bytes one byte of line data takes under Encode.
    std::size_t Width(unsigned char b) const;
    // IAC SB option payload IAC SE, with 0xFF in the payload doubled.
    static std::vector<unsigned char> Subnegotiation(unsigned char option,
                                                     const std::vector<unsigned char>& payload);

private:
    // Every 0xFF doubled, and with bCrNul every CR followed by NUL.
    static void Escape(const unsigned char* data, std::size_t count, bool bCrNul,
                       std::vector<unsigned char>& out);

    enum class Parse { data, command, option, subOption, subData, subIac, failed };

    // The byte after an IAC.
    void Command(unsigned char b, std::deque<unsigned char>& data);
    void Data(unsigned char b, std::deque<unsigned char>& data);
    void Negotiate(unsigned char command, unsigned char option);
    void SubByte(unsigned char b);
    void Fail(Fault fault);
    void Send(unsigned char command, unsigned char option);
    static bool Has(const std::vector<unsigned char>& list, unsigned char option);

    std::vector<unsigned char> m_supportedLocal;
    std::vector<unsigned char> m_supportedRemote;
    State m_local[256] = {};
    State m_remote[256] = {};
    Parse m_parse = Parse::data;
    unsigned char m_nCommand = 0;
    unsigned m_nNegotiations = 0;
    Fault m_fault = Fault::none;
    // The last byte of line data was a CR: while the server's side is not binary, a NUL after
    // it is the NVT's padding, not data.
    bool m_bAfterCr = false;
    CSubnegotiation m_sub;
    std::vector<unsigned char> m_outbox;
    std::vector<CSubnegotiation> m_received;
};
