#pragma once

#include "history/HistoryStore.h"

#include <string>

// Where the program records its history and for how long it keeps it, as the settings hold it
// ("HistoryTarget", "HistoryRetentionDays") and the History Settings dialog edits it. No windows.
class CHistorySettings {
public:
    enum class Kind { localFile, otherFile, plantDatabase };

    static constexpr int kDefaultRetentionDays = 730;
    static constexpr int kMaxRetentionDays = 36500;

    // Empty: the default local file; a path: that SQLite file; a postgresql:// URL.
    std::string m_strTarget;
    int m_nRetentionDays = kDefaultRetentionDays;

    static CHistorySettings Load();
    bool Save() const;

    static Kind KindOf(const std::string& strTarget);
    // The options the store opens with for a target (the command line's may differ from the
    // stored one).
    CHistoryStore::COptions Options(const std::string& strTarget) const;

    // A target as it may be shown or logged: a URL's password (in the user part or as a
    // password= parameter) replaced by asterisks.
    static std::string Masked(const std::string& strTarget);
    // A URL's password taken out (the URL without it, and the password), and put back in.
    static std::string SplitPassword(const std::string& strUrl, std::string& strPassword);
    static std::string JoinPassword(const std::string& strUrl, const std::string& strPassword);
};
