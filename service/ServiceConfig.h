#pragma once

#include "history/HistoryStation.h"
#include "service/MqttFeed.h"

#include <string>
#include <vector>

// What the service is told, by its command line or a configuration file (one "key = value" line
// for each long option, "#" starting a comment); the command line wins over the file.
class CServiceConfig {
public:
    std::string m_strConfigFile;
    std::string m_strPort;
    std::string m_strStations; // the program's station file
    std::string m_strNodes;    // or a node list ("1-12", "5,6")
    // Fractions of a second are taken: a fast line may be read without pause.
    double m_fPollSeconds = 60;
    double m_fSweepSeconds = 60;
    std::string m_strHistory; // a path or a postgresql:// URL; empty: the default file
    std::string m_strWorkstation;
    std::string m_strSocket; // empty: $RUNTIME_DIRECTORY/line.sock, or none
    std::string m_strGroup = "zarn";
    std::string m_strEngineers = "zarn-engineers";
    unsigned m_nMaxClients = 32;
    double m_dCpkAlarm = 1.33; // a station is in alarm below this Cpk
    double m_dBadAlarm = 2.0;  // or above this share of bad crimps, in per cent
    std::string m_strLine;     // the line's name in the MQTT topics; empty: from the config
    std::string m_strMqtt;     // mqtt://HOST:PORT or mqtts://...; empty: no feed
    std::string m_strMqttPrefix = "zarn";
    std::string m_strMqttCa;
    std::string m_strMqttUser;
    std::string m_strMqttPasswordFile;
    bool m_bCheckOnly = false;

    // Reads the command line (and the file it names). -1 to go on; otherwise the exit status,
    // with what to print in message (help on standard output for 0, a problem for 2).
    int Parse(int argc, const char* const* argv, std::string& message);

    // Whether the values can work: the port named, the stations readable, the history's place
    // usable, the socket's folder there. False with the first problem.
    bool Check(std::string& problem) const;

    // The stations to poll, from the file or the list; false with the reason.
    bool LoadStations(std::vector<CHistoryStation>& stations, std::string& problem) const;

    // Where things go once the environment's defaults are applied.
    std::string HistoryTarget() const;
    std::string HistoryLocalPath() const;
    std::string SocketPath() const;
    // The line's name: --line, else the configuration file's name without ".conf", else "line".
    std::string LineName() const;
    CMqttFeed::COptions MqttOptions() const;
};
