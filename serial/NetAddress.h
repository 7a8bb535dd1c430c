#pragma once

#include "base/Export.h"

#include <string>

// A serial line reached over the network: "socket://HOST:PORT" is raw TCP carrying the line's
// bytes (a device server's TCP server mode, ser2net's raw mode), "rfc2217://HOST:PORT" is
// Telnet with the COM-port control option. HOST is a name, an IPv4 address or an IPv6 address
// in brackets ("rfc2217://[fd00::7]:2217").
class LINTARO_API CNetAddress {
public:
    enum Kind { raw, rfc2217 };

    // True when the name starts with one of the two schemes (letter case aside), whether or not
    // the rest is well formed: such a name is never a device path.
    static bool IsNetName(const std::string& name);
    // False when the name is not a well-formed network port name.
    static bool Parse(const std::string& name, CNetAddress& address);
    // "HOST:PORT", "[V6]:PORT" or, when host may be left out, "PORT" alone (host is then left
    // as it was). Ports run from 1 to 65535, or from 0 when bAllowZero (any free port).
    static bool ParseHostPort(const std::string& text, bool bHostOptional, bool bAllowZero,
                              std::string& host, unsigned& port);
    // "HOST:PORT" with an IPv6 address in brackets.
    static std::string JoinHostPort(const std::string& host, unsigned port);

    std::string GetUrl() const;

    // Looks the host up and connects, within timeoutMs for both: a connected non-blocking
    // socket with TCP_NODELAY and keep-alive probes, or -1 with the reason in errno (an errno
    // value such as ECONNREFUSED or ETIMEDOUT, or ERROR_HOST_NOT_FOUND, ERROR_HOST_LOOKUP).
    // Every address of the name is tried in turn.
    int Connect(int timeoutMs) const;

    Kind m_nKind = raw;
    std::string m_strHost;
    unsigned m_nPort = 0;
};
