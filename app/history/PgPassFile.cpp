#include "app/history/PgPassFile.h"

#include "base/FileIO.h"
#include "history/HistoryStore.h"
#include "history/PostgresUrl.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <pwd.h>
#include <unistd.h>

namespace {

// Where libpq looks for the system-wide service file on this system.
constexpr const char* kSystemConfigFolder = "/etc/postgresql-common";
constexpr const char* kDefaultPort = "5432";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (home.empty()) {
        passwd entry{};
        passwd* found = nullptr;
        char buffer[4096];
        if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 &&
            found != nullptr && found->pw_dir != nullptr) {
            home = found->pw_dir;
        }
    }
    return home;
}

std::string Trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) {
        return {};
    }
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool ReadText(const std::string& path, std::string& text) {
    std::vector<std::uint8_t> data;
    if (!ReadWholeFile(path, data)) {
        return false;
    }
    text.assign(data.begin(), data.end());
    return true;
}

// A service's settings from a service file; false when the file lacks the service.
bool ReadService(const std::string& path, const std::string& service,
                 std::map<std::string, std::string>& values) {
    std::string text;
    if (!ReadText(path, text)) {
        return false;
    }
    bool inside = false, found = false;
    for (const std::string& raw : Lines(text)) {
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            inside = line.back() == ']' && line.substr(1, line.size() - 2) == service;
            found = found || inside;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (inside && eq != std::string::npos) {
            values.emplace(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
        }
    }
    return found;
}

// The first four fields of a password file line, unescaped; false for a comment or a line
// with fewer fields.
bool KeyFields(const std::string& line, std::vector<std::string>& fields) {
    fields.assign(1, std::string());
    if (line.empty() || line[0] == '#') {
        return false;
    }
    for (std::size_t i = 0; i < line.size() && fields.size() <= 4; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            fields.back() += line[++i];
        } else if (line[i] == ':') {
            fields.emplace_back();
        } else {
            fields.back() += line[i];
        }
    }
    if (fields.size() < 5) {
        return false;
    }
    fields.resize(4);
    return true;
}

} // namespace

std::string CPgPassFile::Path() {
    const std::string file = Env("PGPASSFILE");
    return !file.empty() ? file : HomeFolder() + "/.pgpass";
}

std::string CPgPassFile::Escape(const std::string& strField) {
    std::string out;
    for (char c : strField) {
        if (c == '\\' || c == ':') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

std::string CPgPassFile::Line(const CEntry& entry) {
    return Escape(entry.m_strHost) + ":" + Escape(entry.m_strPort) + ":" +
           Escape(entry.m_strDatabase) + ":" + Escape(entry.m_strUser) + ":" +
           Escape(entry.m_strPassword);
}

bool CPgPassFile::EntriesFor(const std::string& strUrl, const std::string& strPassword,
                             std::vector<CEntry>& entries, std::string& strError) {
    entries.clear();
    CPostgresUrl::CParts parts;
    if (!CPostgresUrl::Parse(strUrl, parts)) {
        strError = "not a postgresql:// address";
        return false;
    }
    // As libpq fills what the URL leaves open: the service first, then the environment, then
    // its own defaults.
    const std::string service = !parts.m_strService.empty() ? parts.m_strService : Env("PGSERVICE");
    if (!service.empty()) {
        std::map<std::string, std::string> values;
        const std::string userFile = !Env("PGSERVICEFILE").empty()
                                         ? Env("PGSERVICEFILE")
                                         : HomeFolder() + "/.pg_service.conf";
        const std::string systemFile =
            (!Env("PGSYSCONFDIR").empty() ? Env("PGSYSCONFDIR") : kSystemConfigFolder) +
            std::string("/pg_service.conf");
        if (!ReadService(userFile, service, values) && !ReadService(systemFile, service, values)) {
            strError = "the service \"" + service + "\" is in no service file";
            return false;
        }
        if (parts.m_hosts.empty() && values.count("host") != 0) {
            parts.m_hosts = {values["host"]};
        }
        if (parts.m_strHostAddr.empty()) {
            parts.m_strHostAddr = values["hostaddr"];
        }
        if (parts.m_ports.empty() && values.count("port") != 0) {
            parts.m_ports = {values["port"]};
        }
        if (parts.m_strDatabase.empty()) {
            parts.m_strDatabase = values["dbname"];
        }
        if (parts.m_strUser.empty()) {
            parts.m_strUser = values["user"];
        }
    }
    if (parts.m_hosts.empty() && !Env("PGHOST").empty()) {
        parts.m_hosts = {Env("PGHOST")};
    }
    if (parts.m_strHostAddr.empty()) {
        parts.m_strHostAddr = Env("PGHOSTADDR");
    }
    if (parts.m_ports.empty() && !Env("PGPORT").empty()) {
        parts.m_ports = {Env("PGPORT")};
    }
    if (parts.m_strUser.empty()) {
        parts.m_strUser = !Env("PGUSER").empty() ? Env("PGUSER") : CHistoryStore::CurrentUser();
    }
    if (parts.m_strDatabase.empty()) {
        parts.m_strDatabase = !Env("PGDATABASE").empty() ? Env("PGDATABASE") : parts.m_strUser;
    }
    if (parts.m_hosts.empty()) {
        parts.m_hosts.emplace_back();
    }
    for (std::size_t i = 0; i < parts.m_hosts.size(); ++i) {
        CEntry entry;
        // libpq matches the host as given, else the address, else "localhost" (which also
        // stands for its default socket).
        entry.m_strHost = !parts.m_hosts[i].empty()      ? parts.m_hosts[i]
                          : !parts.m_strHostAddr.empty() ? parts.m_strHostAddr
                                                         : std::string("localhost");
        // One port stands for every host.
        const std::string port = parts.m_ports.size() == 1  ? parts.m_ports[0]
                                 : i < parts.m_ports.size() ? parts.m_ports[i]
                                                            : std::string();
        entry.m_strPort = !port.empty() ? port : kDefaultPort;
        entry.m_strDatabase = parts.m_strDatabase;
        entry.m_strUser = parts.m_strUser;
        entry.m_strPassword = strPassword;
        entries.push_back(entry);
    }
    return true;
}

bool CPgPassFile::Store(const std::string& strPath, const std::vector<CEntry>& entries,
                        std::string& strError) {
    std::string text;
    if (!ReadText(strPath, text) && errno != ENOENT) {
        strError = "cannot read " + strPath + ": " + std::strerror(errno);
        return false;
    }
    std::string out;
    std::vector<std::string> fields;
    for (const std::string& line : Lines(text)) {
        bool replaced = false;
        if (KeyFields(line, fields)) {
            for (const CEntry& e : entries) {
                replaced = replaced || (fields[0] == e.m_strHost && fields[1] == e.m_strPort &&
                                        fields[2] == e.m_strDatabase && fields[3] == e.m_strUser);
            }
        }
        if (!replaced) {
            out += line + "\n";
        }
    }
    for (const CEntry& e : entries) {
        out += Line(e) + "\n";
    }
    if (!WriteFileAtomically(strPath, std::vector<std::uint8_t>(out.begin(), out.end()), 0600)) {
        strError = "cannot write " + strPath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}
