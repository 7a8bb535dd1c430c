#include "history/PostgresUrl.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr const char* kMask = "****";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::size_t SchemeEnd(const std::string& url) {
    for (const char* scheme : {"postgresql://", "postgres://"}) {
        const std::string s = scheme;
        if (url.compare(0, s.size(), s) == 0) {
            return s.size();
        }
    }
    return std::string::npos;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t stop = text.find(separator, start);
        out.push_back(text.substr(start, stop == std::string::npos ? stop : stop - start));
        if (stop == std::string::npos) {
            return out;
        }
        start = stop + 1;
    }
}

// [begin, end) of the user part "user[:password]" of a URL whose scheme ends at begin.
bool UserPart(const std::string& url, std::size_t begin, std::size_t& end) {
    const std::size_t at = url.find('@', begin);
    const std::size_t stop = url.find_first_of("/?", begin);
    if (at == std::string::npos || (stop != std::string::npos && stop < at)) {
        return false;
    }
    end = at;
    return true;
}

// The URL's password= parameters taken out; the last one's value in password (as libpq takes
// the last).
std::string WithoutPasswordParameters(const std::string& url, std::string* password) {
    const std::size_t query = url.find('?');
    if (query == std::string::npos) {
        return url;
    }
    std::string kept;
    for (const std::string& pair : Split(url.substr(query + 1), '&')) {
        const std::size_t eq = pair.find('=');
        if (CPostgresUrl::Decode(pair.substr(0, eq)) == "password") {
            if (password != nullptr) {
                *password =
                    CPostgresUrl::Decode(eq == std::string::npos ? "" : pair.substr(eq + 1));
            }
            continue;
        }
        kept += (kept.empty() ? "" : "&") + pair;
    }
    return url.substr(0, query) + (kept.empty() ? "" : "?" + kept);
}

std::string MaskUrl(const std::string& url) {
    std::string text = url;
    const std::size_t begin = SchemeEnd(text);
    std::size_t end = 0;
    if (begin != std::string::npos && UserPart(text, begin, end)) {
        const std::size_t colon = text.find(':', begin);
        if (colon != std::string::npos && colon < end) {
            text.replace(colon + 1, end - colon - 1, kMask);
        }
    }
    const std::size_t query = text.find('?');
    if (query == std::string::npos) {
        return text;
    }
    std::string out = text.substr(0, query + 1);
    bool first = true;
    for (const std::string& pair : Split(text.substr(query + 1), '&')) {
        const std::size_t eq = pair.find('=');
        out += first ? "" : "&";
        first = false;
        out += eq != std::string::npos && CPostgresUrl::Decode(pair.substr(0, eq)) == "password"
                   ? pair.substr(0, eq + 1) + kMask
                   : pair;
    }
    return out;
}

bool EndsUrl(char c) {
    return std::isspace(static_cast<unsigned char>(c)) || c == '"' || c == '\'' || c == '<' ||
           c == '>';
}

void ReplaceAll(std::string& text, const std::string& what) {
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + std::char_traits<char>::length(kMask))) {
        text.replace(at, what.size(), kMask);
    }
}

} // namespace

std::string CPostgresUrl::Decode(const std::string& strText) {
    std::string out;
    for (std::size_t i = 0; i < strText.size(); ++i) {
        if (strText[i] == '%' && i + 2 < strText.size() && HexDigit(strText[i + 1]) >= 0 &&
            HexDigit(strText[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(strText[i + 1]) * 16 + HexDigit(strText[i + 2]));
            i += 2;
        } else {
            out += strText[i];
        }
    }
    return out;
}

std::string CPostgresUrl::Encode(const std::string& strText) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : strText) {
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

bool CPostgresUrl::Parse(const std::string& strUrl, CParts& parts) {
    parts = CParts();
    std::size_t begin = SchemeEnd(strUrl);
    if (begin == std::string::npos) {
        return false;
    }
    const std::size_t query = strUrl.find('?', begin);
    const std::string main =
        strUrl.substr(begin, query == std::string::npos ? query : query - begin);
    std::size_t hostsFrom = 0;
    if (const std::size_t at = main.find('@'); at != std::string::npos && at < main.find('/')) {
        parts.m_strUser = Decode(main.substr(0, main.find_first_of(":@")));
        hostsFrom = at + 1;
    }
    const std::size_t slash = main.find('/', hostsFrom);
    if (slash != std::string::npos) {
        parts.m_strDatabase = Decode(main.substr(slash + 1));
    }
    const std::string hostSpec =
        main.substr(hostsFrom, slash == std::string::npos ? slash : slash - hostsFrom);
    if (!hostSpec.empty()) {
        for (const std::string& item : Split(hostSpec, ',')) {
            std::string host = item, port;
            if (!item.empty() && item[0] == '[') {
                const std::size_t close = item.find(']');
                host = item.substr(1, close == std::string::npos ? close : close - 1);
                if (close != std::string::npos && close + 1 < item.size() &&
                    item[close + 1] == ':') {
                    port = item.substr(close + 2);
                }
            } else if (const std::size_t colon = item.find(':'); colon != std::string::npos) {
                host = item.substr(0, colon);
                port = item.substr(colon + 1);
            }
            parts.m_hosts.push_back(Decode(host));
            parts.m_ports.push_back(Decode(port));
        }
    }
    if (query != std::string::npos) {
        for (const std::string& pair : Split(strUrl.substr(query + 1), '&')) {
            const std::size_t eq = pair.find('=');
            if (eq == std::string::npos) {
                continue;
            }
            const std::string key = Decode(pair.substr(0, eq));
            const std::string value = Decode(pair.substr(eq + 1));
            if (key == "host") {
                parts.m_hosts = Split(value, ',');
            } else if (key == "port") {
                parts.m_ports = Split(value, ',');
            } else if (key == "hostaddr") {
                parts.m_strHostAddr = value;
            } else if (key == "dbname") {
                parts.m_strDatabase = value;
            } else if (key == "user") {
                parts.m_strUser = value;
            } else if (key == "service") {
                parts.m_strService = value;
            }
        }
    }
    return true;
}

std::string CPostgresUrl::SplitPassword(const std::string& strUrl, std::string& strPassword) {
    strPassword.clear();
    const std::size_t begin = SchemeEnd(strUrl);
    if (begin == std::string::npos) {
        return strUrl;
    }
    std::string url = strUrl;
    std::size_t end = 0;
    if (UserPart(url, begin, end)) {
        const std::size_t colon = url.find(':', begin);
        if (colon != std::string::npos && colon < end) {
            strPassword = Decode(url.substr(colon + 1, end - colon - 1));
            url.erase(colon, end - colon);
        }
    }
    return WithoutPasswordParameters(url, &strPassword);
}

std::string CPostgresUrl::WithPassword(const std::string& strUrl, const std::string& strPassword) {
    if (strPassword.empty()) {
        return strUrl;
    }
    return strUrl + (strUrl.find('?') == std::string::npos ? "?" : "&") +
           "password=" + Encode(strPassword);
}

std::string CPostgresUrl::Masked(const std::string& strText) {
    std::string out;
    std::size_t pos = 0;
    while (pos < strText.size()) {
        std::size_t found = std::string::npos;
        for (const char* scheme : {"postgresql://", "postgres://"}) {
            found = std::min(found, strText.find(scheme, pos));
        }
        if (found == std::string::npos) {
            break;
        }
        std::size_t end = found;
        while (end < strText.size() && !EndsUrl(strText[end])) {
            ++end;
        }
        out += strText.substr(pos, found - pos) + MaskUrl(strText.substr(found, end - found));
        pos = end;
    }
    out += strText.substr(std::min(pos, strText.size()));
    // Key-value connection strings: password=... up to the next space.
    for (std::size_t at = out.find("password="); at != std::string::npos;
         at = out.find("password=", at + 1)) {
        if (at > 0 && !std::isspace(static_cast<unsigned char>(out[at - 1]))) {
            continue;
        }
        const std::size_t value = at + 9;
        std::size_t stop = value;
        while (stop < out.size() && !std::isspace(static_cast<unsigned char>(out[stop]))) {
            ++stop;
        }
        out.replace(value, stop - value, kMask);
    }
    return out;
}

std::string CPostgresUrl::Scrubbed(const std::string& strText, const std::string& strUrl) {
    std::string text = Masked(strText);
    std::string password;
    SplitPassword(strUrl, password);
    // Very short passwords are left alone: hiding every such letter would leave no message.
    constexpr std::size_t kShortest = 4;
    if (password.size() < kShortest) {
        return text;
    }
    ReplaceAll(text, password);
    // The passwords as they were written in the URL, percent-encoded.
    const std::size_t begin = SchemeEnd(strUrl);
    std::size_t end = 0;
    if (begin != std::string::npos && UserPart(strUrl, begin, end)) {
        const std::size_t colon = strUrl.find(':', begin);
        if (colon != std::string::npos && colon < end && end - colon - 1 >= kShortest) {
            ReplaceAll(text, strUrl.substr(colon + 1, end - colon - 1));
        }
    }
    if (const std::size_t query = strUrl.find('?'); query != std::string::npos) {
        for (const std::string& pair : Split(strUrl.substr(query + 1), '&')) {
            const std::size_t eq = pair.find('=');
            if (eq != std::string::npos && Decode(pair.substr(0, eq)) == "password" &&
                pair.size() - eq - 1 >= kShortest) {
                ReplaceAll(text, pair.substr(eq + 1));
            }
        }
    }
    return text;
}
