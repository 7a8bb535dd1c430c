#include "app/history/HistorySettings.h"

#include "app/shell/Registry.h"
#include "history/PostgresDatabase.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr const char* kTargetValue = "HistoryTarget";
constexpr const char* kRetentionValue = "HistoryRetentionDays";

// The user part of a URL: [begin, end) of "user:password" before the '@', if there is one.
bool UserPart(const std::string& url, std::size_t& begin, std::size_t& end) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos) {
        return false;
    }
    begin = scheme + 3;
    const std::size_t at = url.find('@', begin);
    const std::size_t slash = url.find('/', begin);
    if (at == std::string::npos || (slash != std::string::npos && slash < at)) {
        return false;
    }
    end = at;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string Decode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string Encode(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

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
    return settings;
}

bool CHistorySettings::Save() const {
    // An empty string writes nothing: the default local file is the value's absence.
    bool ok = true;
    if (m_strTarget.empty()) {
        // Nothing stored is as good as nothing to remove.
        ProgramSettings().DeleteValue(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, kTargetValue);
    } else {
        ok = WriteRegString(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, kTargetValue, m_strTarget) != 0;
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
    options.m_strTarget = strTarget;
    options.m_nRetentionDays = std::clamp(m_nRetentionDays, 0, kMaxRetentionDays);
    return options;
}

std::string CHistorySettings::SplitPassword(const std::string& strUrl, std::string& strPassword) {
    strPassword.clear();
    std::size_t begin = 0, end = 0;
    if (!UserPart(strUrl, begin, end)) {
        return strUrl;
    }
    const std::size_t colon = strUrl.find(':', begin);
    if (colon == std::string::npos || colon > end) {
        return strUrl;
    }
    strPassword = Decode(strUrl.substr(colon + 1, end - colon - 1));
    return strUrl.substr(0, colon) + strUrl.substr(end);
}

std::string CHistorySettings::JoinPassword(const std::string& strUrl,
                                           const std::string& strPassword) {
    std::string ignored;
    const std::string bare = SplitPassword(strUrl, ignored);
    std::size_t begin = 0, end = 0;
    if (strPassword.empty() || !UserPart(bare, begin, end)) {
        return strPassword.empty() ? bare : strUrl;
    }
    return bare.substr(0, end) + ":" + Encode(strPassword) + bare.substr(end);
}

std::string CHistorySettings::Masked(const std::string& strTarget) {
    std::string password;
    std::string text = SplitPassword(strTarget, password);
    if (!password.empty()) {
        std::size_t begin = 0, end = 0;
        UserPart(text, begin, end);
        text = text.substr(0, end) + ":****" + text.substr(end);
    }
    // A password may come as a parameter too: ?password=... or &password=...
    for (std::size_t at = text.find("password="); at != std::string::npos;
         at = text.find("password=", at + 1)) {
        if (at == 0 || (text[at - 1] != '?' && text[at - 1] != '&')) {
            continue;
        }
        const std::size_t value = at + 9;
        const std::size_t stop = text.find('&', value);
        text.replace(value, (stop == std::string::npos ? text.size() : stop) - value, "****");
    }
    return text;
}
