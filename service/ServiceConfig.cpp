#include "service/ServiceConfig.h"

#include "history/HistoryStore.h"
#include "records/StationFile.h"
#include "sim/NodeList.h"

#include <CLI/CLI.hpp>
#include <quorvel/Version.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sys/un.h>
#include <unistd.h>

namespace {

bool IsUrl(const std::string& target) {
    return target.rfind("postgresql://", 0) == 0 || target.rfind("postgres://", 0) == 0;
}

// The first of systemd's directories (the variables may list several, separated by colons).
std::string FirstDirectory(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') {
        return {};
    }
    std::string text = value;
    return text.substr(0, text.find(':'));
}

std::string FolderOf(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? "." : parent.string();
}

} // namespace

int CServiceConfig::Parse(int argc, const char* const* argv, std::string& message) {
    CLI::App app("zarnd: the line service. Owns one analyser line: polls its stations' statistics, "
                 "records them in the history and shares the line with clients (zarnctl --port "
                 "zarnd://SOCKET).",
                 "zarnd");
    app.set_config("--config", "",
                   "Read options from FILE: one 'key = value' line per long option, "
                   "'#' for comments");
    app.allow_config_extras(CLI::config_extras_mode::error);
    app.add_option(
        "--port", m_strPort,
        "The line's port: a device path, COMn, socket://HOST:PORT or rfc2217://HOST:PORT");
    auto* stations =
        app.add_option("--stations", m_strStations, "The program's station file (pressinfo.vlm)");
    app.add_option("--nodes", m_strNodes, "Node IDs to poll instead, e.g. 1-12 or 5,6")
        ->excludes(stations);
    app.add_option("--poll", m_fPollSeconds,
                   "Seconds between two statistics readings of one station (0: none)")
        ->check(CLI::Range(0.0, 86400.0));
    app.add_option("--sweep", m_fSweepSeconds,
                   "Seconds between two presence tests of one station (0: none)")
        ->check(CLI::Range(0.0, 86400.0));
    app.add_option("--history", m_strHistory,
                   "History file or postgresql:// URL (default $STATE_DIRECTORY/history.db, else "
                   "the program's own file)");
    app.add_option("--workstation", m_strWorkstation,
                   "The name the records carry (default the host name)");
    app.add_option("--socket", m_strSocket,
                   "Serve the line on this Unix socket (default $RUNTIME_DIRECTORY/line.sock)");
    app.add_option("--group", m_strGroup, "The socket's group (default zarn)");
    app.add_option(
        "--engineers", m_strEngineers,
        "Members of this group (and root) may change analysers (default zarn-engineers)");
    app.add_option("--max-clients", m_nMaxClients, "Clients served at once (default 32)")
        ->check(CLI::Range(1u, 1024u));
    app.add_option("--cpk-alarm", m_dCpkAlarm, "A station is in alarm below this Cpk (1.33)")
        ->check(CLI::Range(0.0, 1e6));
    app.add_option("--bad-alarm", m_dBadAlarm,
                   "Or above this share of bad crimps in per cent (2.0)")
        ->check(CLI::Range(0.0, 100.0));
    app.add_option("--line", m_strLine,
                   "The line's name in MQTT topics (default the configuration file's name)");
    app.add_option("--mqtt", m_strMqtt, "Feed an MQTT broker: mqtt://HOST[:PORT] or mqtts://...");
    app.add_option("--mqtt-prefix", m_strMqttPrefix, "The topics' first level (default zarn)");
    app.add_option("--mqtt-ca", m_strMqttCa, "mqtts: the broker's CA certificate file");
    app.add_option("--mqtt-user", m_strMqttUser, "The broker account");
    app.add_option("--mqtt-password-file", m_strMqttPasswordFile,
                   "The broker account's password, in a file only the service may read");
    app.add_flag("--check-config", m_bCheckOnly, "Check the options and exit (0 when valid)");
    bool bVersion = false;
    app.add_flag("--version", bVersion, "Print the version and exit");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        message = app.help();
        return 0;
    } catch (const CLI::ParseError& e) {
        message = e.what();
        return 2;
    }
    if (bVersion) {
        message = std::string("zarnd ") + kQuorvelVersion + "\n";
        return 0;
    }
    if (auto* config = app.get_config_ptr(); config != nullptr && config->count() > 0) {
        m_strConfigFile = config->as<std::string>();
    }
    return -1;
}

bool CServiceConfig::LoadStations(std::vector<CHistoryStation>& stations,
                                  std::string& problem) const {
    std::vector<CHistoryStation> loaded;
    if (!m_strStations.empty()) {
        PressList presses;
        if (!StationFile::ReadFile(m_strStations, presses)) {
            problem = "cannot read the station file " + m_strStations;
            return false;
        }
        std::set<int> seen;
        for (const auto& press : presses) {
            // A node polled twice would be read twice as often; the first station names it.
            if (seen.insert(press->GetNodeID()).second) {
                loaded.push_back(CHistoryStation::Of(*press));
            }
        }
        if (loaded.empty()) {
            problem = "the station file " + m_strStations + " holds no station";
            return false;
        }
    } else if (!m_strNodes.empty()) {
        std::vector<int> nodes;
        std::string error;
        if (!ParseNodeList(m_strNodes, nodes, &error)) {
            problem = "--nodes: " + error;
            return false;
        }
        for (int node : nodes) {
            CHistoryStation station;
            station.m_nNodeID = node;
            loaded.push_back(station);
        }
    } else {
        problem = "no stations: give --stations FILE or --nodes LIST";
        return false;
    }
    stations = std::move(loaded);
    return true;
}

std::string CServiceConfig::HistoryTarget() const {
    return m_strHistory.empty() ? HistoryLocalPath() : m_strHistory;
}

std::string CServiceConfig::HistoryLocalPath() const {
    if (!m_strHistory.empty() && !IsUrl(m_strHistory)) {
        return m_strHistory;
    }
    const std::string state = FirstDirectory("STATE_DIRECTORY");
    return state.empty() ? CHistoryStore::DefaultLocalPath() : state + "/history.db";
}

std::string CServiceConfig::LineName() const {
    if (!m_strLine.empty()) {
        return m_strLine;
    }
    if (!m_strConfigFile.empty()) {
        return std::filesystem::path(m_strConfigFile).stem().string();
    }
    return "line";
}

CMqttFeed::COptions CServiceConfig::MqttOptions() const {
    CMqttFeed::COptions options;
    options.m_strUrl = m_strMqtt;
    options.m_strPrefix = m_strMqttPrefix;
    options.m_strWorkstation =
        m_strWorkstation.empty() ? CHistoryStore::DefaultWorkstation() : m_strWorkstation;
    options.m_strLine = LineName();
    options.m_strCaFile = m_strMqttCa;
    options.m_strUser = m_strMqttUser;
    options.m_strPasswordFile = m_strMqttPasswordFile;
    return options;
}

std::string CServiceConfig::SocketPath() const {
    if (!m_strSocket.empty()) {
        return m_strSocket;
    }
    const std::string runtime = FirstDirectory("RUNTIME_DIRECTORY");
    return runtime.empty() ? std::string() : runtime + "/line.sock";
}

bool CServiceConfig::Check(std::string& problem) const {
    if (m_strPort.empty()) {
        problem = "no port: give --port NAME";
        return false;
    }
    std::vector<CHistoryStation> stations;
    if (!LoadStations(stations, problem)) {
        return false;
    }
    if (!m_strHistory.empty() && m_strHistory.find("://") != std::string::npos &&
        !IsUrl(m_strHistory)) {
        problem = "--history: not a file path or postgresql:// URL: " + m_strHistory;
        return false;
    }
    const std::string local = HistoryLocalPath();
    std::error_code error;
    if (m_strHistory.empty() && local == CHistoryStore::DefaultLocalPath()) {
        // The program's own file: its folder is made on first use.
    } else if (!std::filesystem::is_directory(FolderOf(local), error)) {
        problem = "the history's folder " + FolderOf(local) + " does not exist";
        return false;
    }
    const std::string socket = SocketPath();
    if (!socket.empty()) {
        if (socket.size() >= sizeof(sockaddr_un{}.sun_path)) {
            problem = "the socket path is too long: " + socket;
            return false;
        }
        if (!std::filesystem::is_directory(FolderOf(socket), error)) {
            problem = "the socket's folder " + FolderOf(socket) + " does not exist";
            return false;
        }
    }
    if (!m_strMqtt.empty() && !CMqttFeed::Check(MqttOptions(), problem)) {
        return false;
    }
    if (m_fPollSeconds == 0 && m_fSweepSeconds == 0 && socket.empty()) {
        problem = "nothing to do: no polling, no presence sweep and no socket";
        return false;
    }
    return true;
}
