#pragma once

#include <string>
#include <vector>

// libpq's connection URLs (postgresql://[user[:password]@][host][:port][,...][/dbname][?k=v&...])
// as texts: a password taken out and handed back, passwords hidden in texts people see, and what
// a URL itself names. Service names, password files and everything else are libpq's business:
// a URL without a password passes through untouched.
class CPostgresUrl {
public:
    // What a URL names itself, decoded; empty where it leaves a part to libpq's defaults.
    class CParts {
    public:
        std::vector<std::string> m_hosts;
        std::vector<std::string> m_ports;
        std::string m_strHostAddr;
        std::string m_strDatabase;
        std::string m_strUser;
        std::string m_strService;
    };

    // False for a text that is not a postgresql:// or postgres:// URL.
    static bool Parse(const std::string& strUrl, CParts& parts);

    // The URL without its password (in the user part or as password= parameters); the password,
    // decoded, in strPassword (empty when there is none).
    static std::string SplitPassword(const std::string& strUrl, std::string& strPassword);
    // The URL with a password= parameter added, for libpq only; an empty password adds nothing.
    static std::string WithPassword(const std::string& strUrl, const std::string& strPassword);

    // A text with the password of every URL in it (and every password=... setting) replaced by
    // asterisks.
    static std::string Masked(const std::string& strText);
    // Masked, and also without the URL's own password where it appears bare (libpq quotes
    // parts of a URL it cannot read in its messages).
    static std::string Scrubbed(const std::string& strText, const std::string& strUrl);

    static std::string Decode(const std::string& strText);
    static std::string Encode(const std::string& strText);
};
