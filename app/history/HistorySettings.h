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

    // Empty: the default local file; a path: that SQLite file; a postgresql:// URL, never with
    // its password.
    std::string m_strTarget;
    int m_nRetentionDays = kDefaultRetentionDays;

    // A URL stored with a password (as earlier versions did) is stored again without it, the
    // password moved by StorePassword; where that fails the file stays as it is.
    static CHistorySettings Load();
    bool Save() const;

    static Kind KindOf(const std::string& strTarget);
    // The options the store opens with for a target (the command line's may differ from the
    // stored one), the target as WithStoredPassword gives it.
    CHistoryStore::COptions Options(const std::string& strTarget) const;
    // A URL without a password as it is handed to libpq: with the password the keyring keeps for
    // it (as a password= parameter), if any. From the password file libpq takes it itself.
    // Never for display.
    static std::string WithStoredPassword(const std::string& strTarget);

    // Keeps a plant database's password outside the settings: in the desktop keyring under the
    // URL without password, or where no keyring runs, in libpq's password file. False with the
    // reason when neither takes it.
    static bool StorePassword(const std::string& strUrl, const std::string& strPassword,
                              std::string& strError);

    // A target as it may be shown or logged: a URL's password (in the user part or as a
    // password= parameter) replaced by asterisks.
    static std::string Masked(const std::string& strTarget);
    // A URL's password taken out: the URL without it, and the password.
    static std::string SplitPassword(const std::string& strUrl, std::string& strPassword);
};
