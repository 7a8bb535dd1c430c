#include "service/MqttFeed.h"

#include "records/JsonWriter.h"
#include "records/TimeText.h"
#include "service/ServiceLog.h"

#include <mosquitto.h>

#include <fstream>
#include <sys/stat.h>

namespace {

constexpr int kQos = 1;
constexpr int kMaxInFlight = 64;
constexpr int kKeepAliveS = 30;

struct CBrokerAddress {
    std::string strHost;
    int nPort = 1883;
    bool bTls = false;
};

bool ParseUrl(const std::string& url, CBrokerAddress& address, std::string& problem) {
    std::string rest;
    if (url.rfind("mqtt://", 0) == 0) {
        rest = url.substr(7);
    } else if (url.rfind("mqtts://", 0) == 0) {
        rest = url.substr(8);
        address.bTls = true;
        address.nPort = 8883;
    } else {
        problem = "--mqtt: not an mqtt:// or mqtts:// URL: " + url;
        return false;
    }
    if (!rest.empty() && rest.back() == '/') {
        rest.pop_back();
    }
    std::string host = rest;
    const std::size_t colon = rest.rfind(':');
    const std::size_t bracket = rest.rfind(']');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        host = rest.substr(0, colon);
        const std::string port = rest.substr(colon + 1);
        if (port.empty() || port.size() > 5 ||
            port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) < 1 ||
            std::stoi(port) > 65535) {
            problem = "--mqtt: bad port in " + url;
            return false;
        }
        address.nPort = std::stoi(port);
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (host.empty() || host.find('/') != std::string::npos) {
        problem = "--mqtt: no host in " + url;
        return false;
    }
    address.strHost = host;
    return true;
}

// A topic level must not hold the separators or wildcards.
std::string Level(std::string text) {
    for (char& c : text) {
        if (c == '/' || c == '+' || c == '#') {
            c = '_';
        }
    }
    return text.empty() ? "_" : text;
}

bool ReadPassword(const std::string& path, std::string& password, std::string& problem) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        problem = "cannot read the MQTT password file " + path;
        return false;
    }
    if ((st.st_mode & 077) != 0) {
        problem = "the MQTT password file " + path + " is readable by others (chmod 600 it)";
        return false;
    }
    std::ifstream in(path);
    if (!in || !std::getline(in, password)) {
        problem = "cannot read the MQTT password file " + path;
        return false;
    }
    if (!password.empty() && password.back() == '\r') {
        password.pop_back();
    }
    return true;
}

void StationFields(CJsonWriter& json, const CHistoryStation& station) {
    json.Key("time").String(CTimeText::FormatUtc(CTimeText::NowUtcMs()));
    json.Key("node").Int(station.m_nNodeID);
    json.Key("station").String(station.m_strName);
}

} // namespace

CMqttFeed::CMqttFeed() = default;

CMqttFeed::~CMqttFeed() {
    Stop();
}

bool CMqttFeed::Check(const COptions& options, std::string& problem) {
    CBrokerAddress address;
    if (!ParseUrl(options.m_strUrl, address, problem)) {
        return false;
    }
    if (!options.m_strCaFile.empty() && ::access(options.m_strCaFile.c_str(), R_OK) != 0) {
        problem = "cannot read the MQTT CA file " + options.m_strCaFile;
        return false;
    }
    std::string password;
    return options.m_strPasswordFile.empty() ||
           ReadPassword(options.m_strPasswordFile, password, problem);
}

std::string CMqttFeed::Topic(const std::string& strTail) const {
    return m_strBase + "/" + strTail;
}

bool CMqttFeed::Start(const COptions& options, std::string& problem) {
    m_options = options;
    CBrokerAddress address;
    if (!ParseUrl(options.m_strUrl, address, problem)) {
        return false;
    }
    m_strBase = Level(options.m_strPrefix) + "/" + Level(options.m_strWorkstation) + "/" +
                Level(options.m_strLine);
    mosquitto_lib_init();
    m_pMosq = mosquitto_new(nullptr, true, this);
    if (m_pMosq == nullptr) {
        problem = "cannot set up the MQTT client";
        return false;
    }
    mosquitto_int_option(m_pMosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_pMosq, &CMqttFeed::OnConnect);
    mosquitto_disconnect_callback_set(m_pMosq, &CMqttFeed::OnDisconnect);
    mosquitto_publish_callback_set(m_pMosq, &CMqttFeed::OnPublish);
    // A broker that comes back is tried again after 1 s, then ever longer up to a minute.
    mosquitto_reconnect_delay_set(m_pMosq, 1, 60, true);
    const std::string status = Topic("status");
    mosquitto_will_set(m_pMosq, status.c_str(), 7, "offline", kQos, true);
    if (address.bTls) {
        const char* ca = options.m_strCaFile.empty() ? nullptr : options.m_strCaFile.c_str();
        const char* caPath = ca == nullptr ? "/etc/ssl/certs" : nullptr;
        if (mosquitto_tls_set(m_pMosq, ca, caPath, nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS) {
            problem = "cannot set up TLS for the broker";
            return false;
        }
    }
    if (!options.m_strUser.empty()) {
        std::string password;
        if (!options.m_strPasswordFile.empty() &&
            !ReadPassword(options.m_strPasswordFile, password, problem)) {
            return false;
        }
        mosquitto_username_pw_set(m_pMosq, options.m_strUser.c_str(),
                                  options.m_strPasswordFile.empty() ? nullptr : password.c_str());
    }
    SetRetained(status, "online");
    const int rc =
        mosquitto_connect_async(m_pMosq, address.strHost.c_str(), address.nPort, kKeepAliveS);
    if (rc != MOSQ_ERR_SUCCESS) {
        // The loop goes on trying; the broker may simply not be up yet.
        CServiceLog::Warning("MQTT broker " + options.m_strUrl +
                             " not reached yet: " + mosquitto_strerror(rc));
    }
    if (mosquitto_loop_start(m_pMosq) != MOSQ_ERR_SUCCESS) {
        problem = "cannot start the MQTT client";
        return false;
    }
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CMqttFeed::Stop() {
    if (m_pMosq == nullptr) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    // A clean goodbye sends no will; the status says it instead.
    bool bConnected = false;
    {
        std::lock_guard lock(m_mutex);
        bConnected = m_bConnected;
    }
    if (bConnected) {
        mosquitto_publish(m_pMosq, nullptr, Topic("status").c_str(), 7, "offline", kQos, true);
    }
    mosquitto_disconnect(m_pMosq);
    mosquitto_loop_stop(m_pMosq, false);
    mosquitto_destroy(m_pMosq);
    m_pMosq = nullptr;
    mosquitto_lib_cleanup();
}

void CMqttFeed::Enqueue(Message message) {
    {
        std::lock_guard lock(m_mutex);
        if (m_bStop) {
            return;
        }
        m_queue.push_back(std::move(message));
        while (m_queue.size() > m_options.m_nMaxQueued) {
            m_queue.pop_front();
            ++m_nDropped;
        }
    }
    m_cv.notify_all();
}

void CMqttFeed::SetRetained(const std::string& strTopic, std::string strPayload) {
    {
        std::lock_guard lock(m_mutex);
        m_retained[strTopic] = std::move(strPayload);
        m_dirty[strTopic] = true;
    }
    m_cv.notify_all();
}

void CMqttFeed::Reading(const CHistoryStation& station, const CStats& stats) {
    CJsonWriter json;
    json.BeginObject();
    StationFields(json, station);
    json.Key("good").Int(stats.m_nGood).Key("bad").Int(stats.m_nBad);
    json.Key("mean").OneDecimal(stats.m_fMean).Key("stddev").OneDecimal(stats.m_fStdDev);
    json.Key("cp").OneDecimal(stats.m_fCp).Key("cpk").OneDecimal(stats.m_fCpk);
    json.Key("min").Int(stats.m_nMin).Key("max").Int(stats.m_nMax).Key("blo").Int(stats.m_nBLO);
    json.EndObject();
    Enqueue({Topic("station/" + std::to_string(station.m_nNodeID) + "/reading"), json.GetText()});
}

void CMqttFeed::StationState(const CHistoryStation& station, const std::string& strState) {
    CJsonWriter json;
    json.BeginObject();
    StationFields(json, station);
    json.Key("state").String(strState);
    json.EndObject();
    SetRetained(Topic("station/" + std::to_string(station.m_nNodeID) + "/state"), json.GetText());
}

void CMqttFeed::LineState(const std::string& strPort, bool bOpen) {
    CJsonWriter json;
    json.BeginObject();
    json.Key("time").String(CTimeText::FormatUtc(CTimeText::NowUtcMs()));
    json.Key("port").String(strPort);
    json.Key("state").String(bOpen ? "open" : "lost");
    json.EndObject();
    SetRetained(Topic("state"), json.GetText());
}

void CMqttFeed::Change(const CHistoryStation& station, const CHistoryChange& change) {
    CJsonWriter json;
    json.BeginObject();
    StationFields(json, station);
    json.Key("parameter").String(CHistoryChange::ParameterName(change.m_parameter));
    json.Key("value");
    if (change.m_nAfter) {
        json.Int(*change.m_nAfter);
    } else {
        json.Null();
    }
    json.Key("ok").Bool(change.m_bOk);
    json.Key("user").String(change.m_strUser);
    if (!change.m_bOk) {
        json.Key("error").String(change.m_strError);
    }
    json.EndObject();
    Enqueue({Topic("station/" + std::to_string(station.m_nNodeID) + "/change"), json.GetText()});
}

void CMqttFeed::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_cv.wait(lock, [this] {
            return m_bStop || (m_bConnected && m_nInFlight < kMaxInFlight &&
                               (!m_dirty.empty() || !m_queue.empty()));
        });
        if (m_bStop) {
            return;
        }
        // States first: they are what a dashboard shows now.
        Message message;
        bool bRetain = false;
        if (!m_dirty.empty()) {
            message.strTopic = m_dirty.begin()->first;
            message.strPayload = m_retained[message.strTopic];
            m_dirty.erase(m_dirty.begin());
            bRetain = true;
        } else {
            message = std::move(m_queue.front());
            m_queue.pop_front();
        }
        ++m_nInFlight;
        lock.unlock();
        const int rc = mosquitto_publish(m_pMosq, nullptr, message.strTopic.c_str(),
                                         static_cast<int>(message.strPayload.size()),
                                         message.strPayload.data(), kQos, bRetain);
        lock.lock();
        if (rc != MOSQ_ERR_SUCCESS) {
            --m_nInFlight;
            // Not taken: a state is sent again once connected, a reading waits its turn.
            if (bRetain) {
                m_dirty[message.strTopic] = true;
            } else {
                m_queue.push_front(std::move(message));
            }
            if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST) {
                m_bConnected = false;
            }
        }
    }
}

void CMqttFeed::OnConnect(struct mosquitto*, void* pThis, int rc) {
    auto* self = static_cast<CMqttFeed*>(pThis);
    if (rc != 0) {
        CServiceLog::Warning(std::string("MQTT broker refused the connection: ") +
                             mosquitto_connack_string(rc));
        return;
    }
    {
        std::lock_guard lock(self->m_mutex);
        self->m_bConnected = true;
        self->m_nInFlight = 0;
        // A broker that restarted may have lost the retained states: all of them again.
        for (const auto& [topic, payload] : self->m_retained) {
            self->m_dirty[topic] = true;
        }
        self->m_bWasConnected = true;
    }
    CServiceLog::Info("MQTT broker " + self->m_options.m_strUrl + " connected");
    self->m_cv.notify_all();
}

void CMqttFeed::OnDisconnect(struct mosquitto*, void* pThis, int rc) {
    auto* self = static_cast<CMqttFeed*>(pThis);
    {
        std::lock_guard lock(self->m_mutex);
        self->m_bConnected = false;
        self->m_nInFlight = 0;
        if (self->m_bStop) {
            return;
        }
    }
    if (rc != 0) {
        CServiceLog::Warning("MQTT broker " + self->m_options.m_strUrl + " lost; reconnecting");
    }
}

void CMqttFeed::OnPublish(struct mosquitto*, void* pThis, int) {
    auto* self = static_cast<CMqttFeed*>(pThis);
    {
        std::lock_guard lock(self->m_mutex);
        if (self->m_nInFlight > 0) {
            --self->m_nInFlight;
        }
    }
    self->m_cv.notify_all();
}
