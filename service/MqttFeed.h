#pragma once

#include "history/HistoryChange.h"
#include "history/HistoryStation.h"
#include "network/Stats.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

struct mosquitto;

// The line's news for an MQTT broker: readings, station and line states, changes, and the
// service's own presence (retained, "offline" as its last will). Under
// PREFIX/WORKSTATION/LINE: station/NODE/reading, station/NODE/state (retained),
// station/NODE/change, state (the line's, retained) and status (the service's).
//
// The calls only queue and return; libmosquitto's thread talks to the broker. While the broker
// is away the queue keeps the latest state of each topic and at most a bound of readings and
// changes, dropping the oldest with a count, and the connection is retried with a growing pause.
class CMqttFeed {
public:
    class COptions {
    public:
        std::string m_strUrl; // mqtt://HOST[:PORT] or mqtts://HOST[:PORT]
        std::string m_strPrefix = "zarn";
        std::string m_strWorkstation;
        std::string m_strLine;
        std::string m_strCaFile;         // mqtts: the broker's CA; empty: the system's
        std::string m_strUser;           // empty: none
        std::string m_strPasswordFile;   // readable by the service only
        std::size_t m_nMaxQueued = 1000; // readings and changes waiting for the broker
    };

    CMqttFeed();
    ~CMqttFeed();
    CMqttFeed(const CMqttFeed&) = delete;
    CMqttFeed& operator=(const CMqttFeed&) = delete;

    // Checks the options without connecting; false with the problem.
    static bool Check(const COptions& options, std::string& problem);
    // Starts the connection (a broker not there yet is no failure); false with the problem.
    bool Start(const COptions& options, std::string& problem);
    // Says "offline" and disconnects; whatever the broker has not taken by then is dropped.
    void Stop();

    void Reading(const CHistoryStation& station, const CStats& stats);
    // "answering", "alarm", "not answering" or "unknown".
    void StationState(const CHistoryStation& station, const std::string& strState);
    void LineState(const std::string& strPort, bool bOpen);
    void Change(const CHistoryStation& station, const CHistoryChange& change);

    std::uint64_t GetDropped() const { return m_nDropped; }

private:
    struct Message {
        std::string strTopic;
        std::string strPayload;
    };

    void Enqueue(Message message);
    void SetRetained(const std::string& strTopic, std::string strPayload);
    void Run();
    std::string Topic(const std::string& strTail) const;
    static void OnConnect(struct mosquitto*, void* pThis, int rc);
    static void OnDisconnect(struct mosquitto*, void* pThis, int rc);
    static void OnPublish(struct mosquitto*, void* pThis, int mid);

    COptions m_options;
    std::string m_strBase;
    struct mosquitto* m_pMosq = nullptr;

    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bStop = false;
    bool m_bConnected = false;
    bool m_bWasConnected = false;
    int m_nInFlight = 0;
    std::deque<Message> m_queue;                   // readings and changes, in order
    std::map<std::string, std::string> m_retained; // topic: latest payload
    std::map<std::string, bool> m_dirty;           // retained topics not yet sent
    std::atomic<std::uint64_t> m_nDropped{0};
    std::thread m_thread;
};
