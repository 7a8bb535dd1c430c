#include "app/history/HistorySettings.h"

#include "app/history/Keyring.h"
#include "app/history/PgPassFile.h"
#include "app/shell/Registry.h"
#include "history/PostgresDatabase.h"
#include "history/PostgresUrl.h"

#include <algorithm>

namespace {

constexpr const char* kTargetValue = "HistoryTarget";
constexpr const char* kRetentionValue = "HistoryRetentionDays";

} // namespace

CHistorySettings CHistorySettings::Load() {
    CHistorySettings settings;
    if (!ReadRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, kTargetValue, settings.m_strTarget)) {
        settings.m_strTarget.clear();
    }
    DWORD days = kDefaultRetentionDays;
    if (ReadRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, kRetentionValue, &days)) {
        // An absurd number stored by hand keeps everything rather than nothing.
        settings.m_nRetentionDays =
            days > static_cast<DWORD>(kMaxRetentionDays) ? 0 : static_cast<int>(days);
    }
    if (KindOf(settings.m_strTarget) == Kind::plantDatabase) {
        std::string password, ignored;
        const std::string bare = SplitPassword(settings.m_strTarget, password);
        if (!password.empty() && StorePassword(bare, password, ignored) &&
            WriteRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, kTargetValue, bare) != 0) {
            settings.m_strTarget = bare;
        }
    }
    return settings;
}

bool CHistorySettings::Save() const {
    // An empty string writes nothing: the default local file is the value's absence.
    bool ok = true;
    if (m_strTarget.empty()) {
        // Nothing stored is as good as nothing to remove.
        ProgramSettings().DeleteValue(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, kTargetValue);
    } else {
        // A password never goes into the file, whoever put it into the URL.
        std::string password;
        ok = WriteRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, kTargetValue,
                            SplitPassword(m_strTarget, password)) != 0;
    }
    return WriteRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, kRetentionValue,
                         static_cast<DWORD>(std::clamp(m_nRetentionDays, 0, kMaxRetentionDays))) !=
               0 &&
           ok;
}

CHistorySettings::Kind CHistorySettings::KindOf(const std::string& strTarget) {
    if (strTarget.empty()) {
        return Kind::localFile;
    }
    return CPostgresDatabase::IsUrl(strTarget) ? Kind::plantDatabase : Kind::otherFile;
}

CHistoryStore::COptions CHistorySettings::Options(const std::string& strTarget) const {
    CHistoryStore::COptions options;
    options.m_strTarget = WithStoredPassword(strTarget);
    options.m_nRetentionDays = std::clamp(m_nRetentionDays, 0, kMaxRetentionDays);
    return options;
}

std::string CHistorySettings::WithStoredPassword(const std::string& strTarget) {
    if (KindOf(strTarget) != Kind::plantDatabase) {
        return strTarget;
    }
    std::string password;
    SplitPassword(strTarget, password);
    if (password.empty() && CKeyring::Read(strTarget, password) == CKeyring::Result::done) {
        return CPostgresUrl::WithPassword(strTarget, password);
    }
    return strTarget;
}

bool CHistorySettings::StorePassword(const std::string& strUrl, const std::string& strPassword,
                                     std::string& strError) {
    std::string ignored;
    const std::string bare = SplitPassword(strUrl, ignored);
    switch (CKeyring::Write(bare, strPassword, strError)) {
    case CKeyring::Result::done:
        return true;
    case CKeyring::Result::refused:
        if (strError.empty()) {
            strError = "the desktop keyring refused it";
        }
        return false;
    case CKeyring::Result::notFound:
    case CKeyring::Result::unavailable:
        break;
    }
    std::vector<CPgPassFile::CEntry> entries;
    return CPgPassFile::EntriesFor(bare, strPassword, entries, strError) &&
           CPgPassFile::Store(CPgPassFile::Path(), entries, strError);
}

std::string CHistorySettings::SplitPassword(const std::string& strUrl, std::string& strPassword) {
    return CPostgresUrl::SplitPassword(strUrl, strPassword);
}

std::string CHistorySettings::Masked(const std::string& strTarget) {
    return CPostgresUrl::Masked(strTarget);
}
