#pragma once

#include <string>
#include <vector>

// libpq's password file (~/.pgpass, or $PGPASSFILE), where a plant database's password is kept
// when no desktop keyring runs: lines "hostname:port:database:username:password" with '\' and
// ':' escaped, readable by the owner only. libpq reads it itself when it connects. No windows.
class CPgPassFile {
public:
    class CEntry {
    public:
        std::string m_strHost;
        std::string m_strPort;
        std::string m_strDatabase;
        std::string m_strUser;
        std::string m_strPassword;
    };

    // The file libpq reads, resolved from the environment at each call.
    static std::string Path();

    static std::string Escape(const std::string& strField);
    static std::string Line(const CEntry& entry);

    // The entries libpq looks up when it connects with a URL: its host(s), port, database and
    // user as the URL, a service file, the environment and libpq's defaults give them. False
    // (with the reason) when they cannot be told, e.g. an unknown service.
    static bool EntriesFor(const std::string& strUrl, const std::string& strPassword,
                           std::vector<CEntry>& entries, std::string& strError);

    // Puts the entries into the file: a line for the same host, port, database and user is
    // replaced, every other line kept as it is. The file ends up with mode 0600. False (with
    // the reason) when it cannot be read or written.
    static bool Store(const std::string& strPath, const std::vector<CEntry>& entries,
                      std::string& strError);
};
