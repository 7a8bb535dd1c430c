#include "service/LineService.h"

#include "history/HistoryChange.h"
#include "history/PostgresUrl.h"
#include "network/ZarndMessage.h"
#include "serial/CommApi.h"
#include "service/ServiceLog.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <grp.h>
#include <poll.h>
#include <sstream>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace {

constexpr unsigned long kBaudRate = 57600;
constexpr auto kReopenPeriod = std::chrono::milliseconds(2000);
// The longest call the service's thread runs itself: a presence test, one exchange.
constexpr std::uint32_t kShortCallMs = CZarnPort::kTxTimeout + 2 * CZarnPort::kRxTimeout;

std::chrono::milliseconds PeriodMs(double fSeconds) {
    return std::chrono::milliseconds(std::llround(fSeconds * 1000.0));
}

std::string StationName(const CHistoryStation& station) {
    std::string text = "node " + std::to_string(station.m_nNodeID);
    if (!station.m_strName.empty()) {
        text = station.m_strName + " (" + text + ")";
    }
    return text;
}

} // namespace

CLineService::CLineService(CServiceConfig config) : m_config(std::move(config)) {}

CLineService::~CLineService() {
    Stop();
}

int CLineService::Run() {
    m_loopThread = std::this_thread::get_id();
    if (!Start()) {
        Stop();
        return 1;
    }
    // systemd starts the units that need the line once the socket is there.
    sd_notify(0, "READY=1\nSTATUS=polling");
    Loop();
    sd_notify(0, "STOPPING=1");
    Stop();
    CServiceLog::Info("stopped");
    return 0;
}

bool CLineService::Start() {
    // The signals arrive as readable events, on this thread only: every thread started from
    // here on inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    m_nSignalFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    m_nWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_nSignalFd < 0 || m_nWakeFd < 0) {
        CServiceLog::Error(std::string("cannot set up the event loop: ") + std::strerror(errno));
        return false;
    }

    std::string problem;
    if (!m_config.LoadStations(m_stations, problem)) {
        CServiceLog::Error(problem);
        return false;
    }

    CHistoryStore::COptions options;
    options.m_strTarget = m_config.HistoryTarget();
    options.m_strLocalPath = m_config.HistoryLocalPath();
    options.m_strWorkstation = m_config.m_strWorkstation;
    if (!m_history.Open(options)) {
        CServiceLog::Error("cannot record the history in " + options.m_strLocalPath + ": " +
                           m_history.GetStatus().m_strProblem);
        return false;
    }
    m_history.SetObserver([](const CHistoryStatus& status) {
        (status.IsProblem() ? CServiceLog::Warning : CServiceLog::Info)(status.GetText());
    });

    m_alarm = CStationAlarm{m_config.m_dCpkAlarm, m_config.m_dBadAlarm};
    if (!m_config.m_strMqtt.empty()) {
        m_pFeed = std::make_unique<CMqttFeed>();
        if (!m_pFeed->Start(m_config.MqttOptions(), problem)) {
            CServiceLog::Error(problem);
            return false;
        }
    }
    NoteUnknown();

    m_pPort = std::make_unique<CZarnPort>(m_config.m_strPort.c_str(), kBaudRate, lintaro::NOPARITY,
                                          lintaro::ONESTOPBIT);
    if (m_pPort->SetCommPort()) {
        CServiceLog::Notice("line open on " + m_config.m_strPort);
        if (m_pFeed) {
            m_pFeed->LineState(m_config.m_strPort, true);
        }
    } else {
        CServiceLog::Warning("cannot open " + m_config.m_strPort + ": " +
                             lintaro::DescribeOpenError(m_pPort->GetOpenError()) +
                             "; trying again every 2 s");
        m_pPort->ClosePort();
    }
    m_pWorker = std::make_unique<CLineWorker>(*m_pPort);
    m_pWorker->SetStateObserver([this](CLineWorker::LineState state, const std::string& name) {
        switch (state) {
        case CLineWorker::LineState::open:
            CServiceLog::Notice("line open on " + name);
            sd_notify(0, "STATUS=line open");
            if (m_pFeed) {
                m_pFeed->LineState(name, true);
            }
            break;
        case CLineWorker::LineState::lost:
            CServiceLog::Warning("line lost on " + name + "; reopening it every 2 s");
            sd_notify(0, "STATUS=line lost, reopening it");
            if (m_pFeed) {
                m_pFeed->LineState(name, false);
            }
            break;
        case CLineWorker::LineState::closed:
            break;
        }
        Wake();
    });
    if (!OpenSocket()) {
        return false;
    }
    const auto now = Clock::now();
    m_nextPoll = m_nextSweep = m_nextReopen = now;
    // The first readings come at once; the first presence tests after a round of readings, as
    // a reading already tells whether a station answers.
    if (m_config.m_fPollSeconds != 0) {
        m_nextSweep = now + PeriodMs(std::min(m_config.m_fSweepSeconds, 60.0));
    }
    std::ostringstream every;
    every << m_config.m_fPollSeconds;
    CServiceLog::Info("polling " + std::to_string(m_stations.size()) + " stations every " +
                      every.str() + " s; history in " + m_history.GetStatus().m_strLocalPath);
    return true;
}

bool CLineService::OpenSocket() {
    m_strSocket = m_config.SocketPath();
    if (m_strSocket.empty()) {
        CServiceLog::Info("no socket: the line is not shared");
        return true;
    }
    // The socket is made ready under a name of its own and then renamed into place, so that it
    // appears listening, with its mode and group, at once.
    const std::string temporary = m_strSocket + ".new";
    sockaddr_un address{};
    if (temporary.size() >= sizeof address.sun_path) {
        CServiceLog::Error("the socket path is too long: " + m_strSocket);
        m_strSocket.clear();
        return false;
    }
    // A socket left by a killed run is replaced; any other file is not ours to remove.
    for (const std::string& path : {m_strSocket, temporary}) {
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0) {
            if (!S_ISSOCK(st.st_mode)) {
                CServiceLog::Error(path + " exists and is no socket");
                m_strSocket.clear();
                return false;
            }
            ::unlink(path.c_str());
        }
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, temporary.data(), temporary.size());
    m_nListenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    // Nobody may connect before the mode and group are right.
    const mode_t mask = ::umask(0177);
    const bool bBound =
        m_nListenFd >= 0 &&
        ::bind(m_nListenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::umask(mask);
    if (!bBound) {
        CServiceLog::Error("cannot serve the line on " + m_strSocket + ": " + std::strerror(errno));
        m_strSocket.clear();
        return false;
    }
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (getgrnam_r(m_config.m_strGroup.c_str(), &entry, buffer.data(), buffer.size(), &found) !=
            0 ||
        found == nullptr) {
        CServiceLog::Warning("group " + m_config.m_strGroup +
                             " does not exist; the socket keeps the service's group");
    } else if (::chown(temporary.c_str(), static_cast<uid_t>(-1), found->gr_gid) != 0) {
        CServiceLog::Warning("cannot give the socket to group " + m_config.m_strGroup + ": " +
                             std::strerror(errno));
    }
    if (::chmod(temporary.c_str(), 0660) != 0 || ::listen(m_nListenFd, 16) != 0 ||
        ::rename(temporary.c_str(), m_strSocket.c_str()) != 0) {
        CServiceLog::Error("cannot serve the line on " + m_strSocket + ": " + std::strerror(errno));
        ::unlink(temporary.c_str());
        m_strSocket.clear();
        return false;
    }
    CServiceLog::Info("serving the line on " + m_strSocket);
    return true;
}

void CLineService::Stop() {
    if (m_nListenFd >= 0) {
        ::close(m_nListenFd);
        m_nListenFd = -1;
        ::unlink(m_strSocket.c_str());
    }
    {
        std::lock_guard lock(m_schedMutex);
        m_bNoMoreCalls = true;
    }
    while (!m_clients.empty()) {
        DropClient(m_clients.begin()->first, nullptr);
    }
    // The call on the line finishes; what is queued is dropped.
    m_pWorker.reset();
    m_pPort.reset();
    if (m_pFeed) {
        m_pFeed->Stop();
        if (m_pFeed->GetDropped() != 0) {
            CServiceLog::Warning(std::to_string(m_pFeed->GetDropped()) +
                                 " MQTT messages dropped while the broker was away");
        }
    }
    if (m_history.IsOpen()) {
        m_history.SetObserver(nullptr);
        m_history.Close();
    }
    for (int* fd : {&m_nSignalFd, &m_nWakeFd}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

void CLineService::ReloadStations() {
    std::vector<CHistoryStation> stations;
    std::string problem;
    if (!m_config.LoadStations(stations, problem)) {
        CServiceLog::Warning(problem + "; keeping the " + std::to_string(m_stations.size()) +
                             " stations polled so far");
        return;
    }
    {
        std::lock_guard lock(m_stationMutex);
        m_stations = std::move(stations);
    }
    m_nNextPoll = m_nNextSweep = 0;
    NoteUnknown();
    CServiceLog::Notice("stations reread: " + std::to_string(m_stations.size()) + " stations");
}

CPassingRecords::CSink CLineService::RecordsSink() {
    CPassingRecords::CSink sink;
    sink.stationOf = [this](int nNodeID) { return StationOf(nNodeID); };
    sink.statistics = [this](const CHistoryStation& station, const CStats& stats, bool bDownload) {
        m_history.RecordStatistics(station, stats,
                                   bDownload ? CHistoryStore::Source::download
                                             : CHistoryStore::Source::poll);
        if (m_pFeed) {
            m_pFeed->Reading(station, stats);
        }
    };
    sink.curve = [this](const CHistoryStation& station, const CCurveRecord& curve) {
        m_history.RecordCurve(station, curve);
    };
    sink.batch = [this](const CHistoryStation& station, const CBatchRecord& batch) {
        m_history.RecordBatch(station, batch);
    };
    return sink;
}

CHistoryStation CLineService::StationOf(int nNodeID) const {
    std::lock_guard lock(m_stationMutex);
    for (const CHistoryStation& station : m_stations) {
        if (station.m_nNodeID == nNodeID) {
            return station;
        }
    }
    CHistoryStation station;
    station.m_nNodeID = nNodeID;
    return station;
}

void CLineService::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_nWakeFd, &one, sizeof one);
}

void CLineService::Deliver(Note note) {
    bool bWake = false;
    {
        std::lock_guard lock(m_schedMutex);
        auto it = m_clients.find(note.nClient);
        if (it == m_clients.end()) {
            return;
        }
        Client& client = *it->second;
        Queue(client, std::move(note.frame));
        // Straight to a client that reads, without a detour through the service's thread; what
        // its socket does not take now waits for the loop.
        if (!WriteClient(client)) {
            client.bBroken = true;
        }
        bWake = client.bBroken || client.nOutPos < client.out.size();
    }
    if (bWake) {
        Wake();
    }
}

int CLineService::NextTimeout(Clock::time_point now) const {
    Clock::time_point next = now + std::chrono::seconds(60);
    const CLineWorker::LineState state = m_pWorker->GetState();
    if (state == CLineWorker::LineState::closed) {
        next = std::min(next, m_nextReopen);
    } else if (state == CLineWorker::LineState::open) {
        if (m_config.m_fPollSeconds != 0 && !m_bPollBusy) {
            next = std::min(next, m_nextPoll);
        }
        if (m_config.m_fSweepSeconds != 0 && !m_bSweepBusy) {
            next = std::min(next, m_nextSweep);
        }
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
    return static_cast<int>(std::clamp<long long>(ms + 1, 0, 60000));
}

void CLineService::Loop() {
    std::vector<pollfd> fds;
    std::vector<std::uint64_t> keys;
    while (!m_bStopping) {
        fds.clear();
        keys.clear();
        fds.push_back({m_nSignalFd, POLLIN, 0});
        fds.push_back({m_nWakeFd, POLLIN, 0});
        if (m_nListenFd >= 0) {
            fds.push_back({m_nListenFd, POLLIN, 0});
        }
        const std::size_t nFirstClient = fds.size();
        std::unique_lock sched(m_schedMutex);
        for (const auto& [key, client] : m_clients) {
            short events = 0;
            // A client that does not read its answers is not heard until it does.
            if (client->out.size() - client->nOutPos < kMaxOutBytes) {
                events |= POLLIN;
            }
            if (client->nOutPos < client->out.size()) {
                events |= POLLOUT;
            }
            fds.push_back({client->nFd, events, 0});
            keys.push_back(key);
        }
        sched.unlock();
        const int n = ::poll(fds.data(), fds.size(), NextTimeout(Clock::now()));
        if (n < 0 && errno != EINTR) {
            CServiceLog::Error(std::string("poll: ") + std::strerror(errno));
            return;
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            while (::read(m_nSignalFd, &info, sizeof info) == sizeof info) {
                if (info.ssi_signo == SIGHUP) {
                    sd_notify(0, "RELOADING=1");
                    ReloadStations();
                    sd_notify(0, "READY=1");
                } else {
                    CServiceLog::Notice("stopping on signal " + std::to_string(info.ssi_signo));
                    m_bStopping = true;
                }
            }
        }
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t r = ::read(m_nWakeFd, &count, sizeof count);
        }
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const pollfd& p = fds[nFirstClient + i];
            auto it = m_clients.find(keys[i]);
            if (it == m_clients.end()) {
                continue;
            }
            Client& client = *it->second;
            bool bBroken = false;
            {
                std::lock_guard lock(m_schedMutex);
                bBroken = client.bBroken || ((p.revents & POLLOUT) && !WriteClient(client));
            }
            if (bBroken) {
                DropClient(keys[i], "stopped reading");
                continue;
            }
            if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
                ReadClient(keys[i], client);
            }
        }
        if (m_nListenFd >= 0 && (fds[2].revents & POLLIN)) {
            Accept();
        }
        const auto now = Clock::now();
        if (m_pWorker->GetState() == CLineWorker::LineState::closed && now >= m_nextReopen) {
            m_nextReopen = now + kReopenPeriod;
            m_pWorker->OpenPort(m_config.m_strPort, [this](bool) { Wake(); });
        }
        PollStep(now);
        SweepStep(now);
    }
}

void CLineService::Accept() {
    for (int i = 0; i < 16; ++i) {
        const int fd = ::accept4(m_nListenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        auto client = std::make_unique<Client>(ZarndMessage::kMaxRequestFrame);
        client->nFd = fd;
        client->pRecords = std::make_shared<CPassingRecords>(RecordsSink());
        if (!CPeerAccess::Of(fd, m_config.m_strEngineers, client->peer)) {
            ::close(fd);
            continue;
        }
        if (m_clients.size() >= m_config.m_nMaxClients) {
            CServiceLog::Warning("turned away " + client->peer.m_strUser + ": already " +
                                 std::to_string(m_clients.size()) + " clients");
            ::close(fd);
            continue;
        }
        CServiceLog::Info("client " + client->peer.m_strUser + " (pid " +
                          std::to_string(client->peer.m_nPid) + ") connected" +
                          (client->peer.m_bEngineer ? "" : ", may only read"));
        std::lock_guard lock(m_schedMutex);
        m_clients.emplace(m_nNextClient++, std::move(client));
    }
}

void CLineService::DropClient(std::uint64_t nKey, const char* pszWhy) {
    std::string user;
    {
        std::lock_guard lock(m_schedMutex);
        auto it = m_clients.find(nKey);
        if (it == m_clients.end()) {
            return;
        }
        Client& client = *it->second;
        // Its call on the line finishes; its calls still waiting never reach the line.
        client.pCancel->Cancel();
        ::close(client.nFd);
        user = client.peer.m_strUser;
        m_clients.erase(it);
    }
    if (pszWhy != nullptr) {
        CServiceLog::Info("client " + user + " " + pszWhy);
    }
}

bool CLineService::WriteClient(Client& client) {
    while (client.nOutPos < client.out.size()) {
        const ssize_t n = ::send(client.nFd, client.out.data() + client.nOutPos,
                                 client.out.size() - client.nOutPos, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            client.nOutPos += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        } else {
            return false;
        }
    }
    client.out.clear();
    client.nOutPos = 0;
    return true;
}

void CLineService::Queue(Client& client, std::vector<std::uint8_t> frame) {
    if (client.nOutPos > 0 && client.nOutPos == client.out.size()) {
        client.out.clear();
        client.nOutPos = 0;
    }
    client.out.insert(client.out.end(), frame.begin(), frame.end());
}

void CLineService::Refuse(Client& client, std::uint32_t nId, const std::string& strDetail) {
    CZarnOutcome outcome;
    outcome.m_error = ZarnError::refused;
    outcome.m_strDetail = strDetail;
    Queue(client, ZarndMessage::Frame(ZarndMessage::EncodeOutcome(nId, outcome)));
}

void CLineService::ReadClient(std::uint64_t nKey, Client& client) {
    std::uint8_t chunk[4096];
    for (int round = 0; round < 4; ++round) {
        const ssize_t n = ::recv(client.nFd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n == 0) {
            DropClient(nKey, "disconnected");
            return;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return;
            }
            DropClient(nKey, "disconnected");
            return;
        }
        client.reader.Feed(chunk, static_cast<std::size_t>(n));
        std::vector<std::uint8_t> payload;
        while (client.reader.Next(payload)) {
            Request request;
            // The report is answered at once, from what the service knows.
            if (ZarndMessage::DecodeReportRequest(payload, request.nId)) {
                std::vector<std::uint8_t> frame =
                    ZarndMessage::Frame(ZarndMessage::EncodeReport(request.nId, Report()));
                std::lock_guard lock(m_schedMutex);
                Queue(client, std::move(frame));
                continue;
            }
            if (!ZarndMessage::DecodeRequest(payload, request.nId, request.call)) {
                DropClient(nKey, "sent a damaged request");
                return;
            }
            if (request.call.ChangesAnalyser() && !client.peer.m_bEngineer) {
                CServiceLog::Notice("refused " + client.peer.m_strUser + ": " +
                                    CZarnRequest::Name(request.call.RequestCode()) + " for node " +
                                    std::to_string(request.call.m_nNodeID));
                std::lock_guard lock(m_schedMutex);
                Refuse(client, request.nId, client.peer.m_strUser + " may only read");
            } else {
                std::lock_guard lock(m_schedMutex);
                if (client.queue.size() >= kMaxQueued) {
                    Refuse(client, request.nId, "too many requests waiting");
                } else {
                    client.queue.push_back(request);
                    PostNextLocked(true);
                }
            }
            RunCallHere();
        }
        if (client.reader.IsBroken()) {
            DropClient(nKey, "sent an oversized request");
            return;
        }
    }
}

void CLineService::PostNextLocked(bool bHere) {
    if (m_bCallOnLine || m_bNoMoreCalls) {
        return;
    }
    // The next client after the one served last, in turn, that has a call waiting.
    auto it = m_clients.upper_bound(m_nLastServed);
    for (std::size_t i = 0; i < m_clients.size(); ++i, ++it) {
        if (it == m_clients.end()) {
            it = m_clients.begin();
        }
        Client& client = *it->second;
        if (!client.queue.empty()) {
            Request request = client.queue.front();
            client.queue.pop_front();
            m_nLastServed = it->first;
            m_bCallOnLine = true;
            PostCall(it->first, client, request, bHere);
            return;
        }
    }
}

void CLineService::RunCallHere() {
    std::optional<CLineWorker::Task> task;
    {
        std::lock_guard lock(m_schedMutex);
        task.swap(m_callHere);
    }
    if (task && !m_pWorker->RunNowIfIdle(*task)) {
        m_pWorker->Post(std::move(*task));
    }
}

void CLineService::PostCall(std::uint64_t nKey, Client& client, Request request, bool bHere) {
    auto pOutcome = std::make_shared<CZarnOutcome>();
    const std::string user = client.peer.m_strUser;
    CLineWorker::Task task;
    task.priority = CLineWorker::Priority::operatorRequest;
    task.pCancel = client.pCancel;
    // Run on this thread at once, the call reaches the line as it arrives: its "started" then
    // goes with the outcome, sparing the client a wake-up in the middle of the exchange.
    task.steps.push_back(
        [this, nKey, request, user, pOutcome, pRecords = client.pRecords](CZarnPort& port) {
            // The client's own time-out runs from here.
            if (!OnLoopThread()) {
                Deliver({nKey, ZarndMessage::Frame(ZarndMessage::EncodeStarted(request.nId))});
            }
            const int ok = port.Perform(request.call, *pOutcome);
            // What passes through is recorded here, once: the clients record nothing of their own.
            pRecords->Note(request.call, *pOutcome);
            CHistoryChange change;
            if (CHistoryChange::ParameterOfCode(request.call.RequestCode(), change.m_parameter)) {
                if (change.m_parameter != CHistoryChange::Parameter::resetBatch &&
                    change.m_parameter != CHistoryChange::Parameter::newReference) {
                    change.m_nAfter = request.call.m_nValue & 0xFFFF;
                }
                change.m_bOk = ok != 0;
                change.m_strUser = user;
                if (!ok) {
                    change.m_strError = port.GetLastErrorText();
                }
                RecordChange(StationOf(static_cast<int>(request.call.m_nNodeID)), change);
                CServiceLog::Notice(user + ": " + CZarnRequest::Name(request.call.RequestCode()) +
                                    " for node " + std::to_string(request.call.m_nNodeID) +
                                    (ok ? " done" : " failed: " + port.GetLastErrorText()));
            }
            return ok != 0;
        });
    const std::uint32_t nId = request.nId;
    task.onDone = [this, nKey, nId, pOutcome](const CLineWorker::Result& result) {
        if (result.outcome != CLineWorker::Outcome::cancelled) {
            if (result.nStepsDone == 0 && result.outcome == CLineWorker::Outcome::lineDown &&
                pOutcome->m_error == ZarnError::none) {
                pOutcome->m_error = ZarnError::lineLost;
            }
            RecordNoise(pOutcome->m_carried);
            std::vector<std::uint8_t> frames;
            const bool bReachedLine =
                result.nStepsDone > 0 || result.outcome == CLineWorker::Outcome::failed;
            if (OnLoopThread() && bReachedLine) {
                frames = ZarndMessage::Frame(ZarndMessage::EncodeStarted(nId));
            }
            const auto outcome = ZarndMessage::Frame(ZarndMessage::EncodeOutcome(nId, *pOutcome));
            frames.insert(frames.end(), outcome.begin(), outcome.end());
            Deliver({nKey, std::move(frames)});
        }
        // The next client's call goes to the worker before it looks at its own background
        // work: clients come first, and each waits for at most the one call on the line.
        std::lock_guard lock(m_schedMutex);
        m_bCallOnLine = false;
        PostNextLocked();
    };
    // A call as short as a presence test may hold this thread; a download goes to the worker.
    if (bHere && request.call.LineBudgetMs() <= kShortCallMs) {
        m_callHere = std::move(task);
    } else {
        m_pWorker->Post(std::move(task));
    }
}

void CLineService::RecordNoise(const std::optional<CZarnRequest>& carried) {
    CHistoryChange change;
    if (carried && CHistoryChange::FromNoise(*carried, change)) {
        RecordChange(StationOf(carried->m_nNodeID), change);
        CServiceLog::Warning("noise on the line turned a request into \"" + carried->Describe() +
                             "\"; the analyser may have carried it out");
    }
}

void CLineService::RecordChange(const CHistoryStation& station, const CHistoryChange& change) {
    m_history.RecordChange(station, change);
    if (m_pFeed) {
        m_pFeed->Change(station, change);
    }
}

void CLineService::NoteUnknown() {
    std::lock_guard lock(m_stateMutex);
    std::lock_guard stations(m_stationMutex);
    for (const CHistoryStation& station : m_stations) {
        if (m_states.emplace(station.m_nNodeID, "unknown").second && m_pFeed) {
            m_pFeed->StationState(station, "unknown");
        }
    }
}

void CLineService::NoteAnswer(const CHistoryStation& station, bool bAnswered,
                              const CStats* pStats) {
    std::lock_guard lock(m_stateMutex);
    Learned& learned = m_learned[station.m_nNodeID];
    learned.bAnswered = bAnswered;
    learned.askedAt = Clock::now();
    if (pStats != nullptr) {
        m_lastAlarm[station.m_nNodeID] = m_alarm.IsAlarm(*pStats);
        learned.bHasReading = true;
        learned.readAt = learned.askedAt;
        learned.reading = *pStats;
    }
    const char* pszState = !bAnswered                       ? "not answering"
                           : m_lastAlarm[station.m_nNodeID] ? "alarm"
                                                            : "answering";
    std::string& state = m_states[station.m_nNodeID];
    if (state == pszState) {
        return;
    }
    state = pszState;
    CServiceLog::Info(StationName(station) + " " + pszState);
    if (m_pFeed) {
        m_pFeed->StationState(station, pszState);
    }
}

CZarndReport CLineService::Report() {
    CZarndReport report;
    const std::string target = m_config.HistoryTarget();
    std::string password;
    std::error_code error;
    CPostgresUrl::CParts parts;
    report.m_strHistory = CPostgresUrl::Parse(target, parts)
                              ? CPostgresUrl::SplitPassword(target, password)
                              : std::filesystem::absolute(target, error).string();
    report.m_bLineOpen = m_pWorker->GetState() == CLineWorker::LineState::open;
    std::vector<int> nodes;
    {
        std::lock_guard lock(m_stationMutex);
        for (const CHistoryStation& station : m_stations) {
            nodes.push_back(station.m_nNodeID);
        }
    }
    const auto now = Clock::now();
    auto ago = [now](Clock::time_point when) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - when).count();
        return static_cast<std::uint32_t>(std::clamp<long long>(ms, 0, 0xFFFFFFFFLL));
    };
    std::lock_guard lock(m_stateMutex);
    for (const int nNodeID : nodes) {
        CZarndStation station;
        station.m_nNodeID = static_cast<std::uint8_t>(nNodeID);
        auto it = m_learned.find(nNodeID);
        if (it != m_learned.end()) {
            const Learned& learned = it->second;
            station.m_presence = learned.bAnswered ? CZarndStation::Presence::answering
                                                   : CZarndStation::Presence::silent;
            station.m_nAskedAgoMs = ago(learned.askedAt);
            station.m_bHasReading = learned.bHasReading;
            station.m_nReadAgoMs = learned.bHasReading ? ago(learned.readAt) : 0;
            station.m_reading = learned.reading;
        }
        report.m_stations.push_back(station);
    }
    return report;
}

bool CLineService::TakeTurn(Clock::time_point now, double fPeriodSeconds, std::size_t& nNext,
                            Clock::time_point& next, CHistoryStation& station) {
    std::size_t nStations = 0;
    {
        std::lock_guard lock(m_stationMutex);
        nStations = m_stations.size();
        if (nStations == 0) {
            return false;
        }
        station = m_stations[nNext++ % nStations];
    }
    // Each station once a period, the turns spread evenly over it.
    next = now + std::max(std::chrono::milliseconds(1),
                          PeriodMs(fPeriodSeconds / static_cast<double>(nStations)));
    return true;
}

void CLineService::PollStep(Clock::time_point now) {
    if (m_config.m_fPollSeconds == 0 || m_bPollBusy || now < m_nextPoll ||
        m_pWorker->GetState() != CLineWorker::LineState::open) {
        return;
    }
    CHistoryStation station;
    if (!TakeTurn(now, m_config.m_fPollSeconds, m_nNextPoll, m_nextPoll, station)) {
        return;
    }
    m_bPollBusy = true;
    auto pStats = std::make_shared<CStats>();
    CLineWorker::Task task;
    task.priority = CLineWorker::Priority::background;
    task.steps.push_back([station, pStats](CZarnPort& port) {
        pStats->m_nNodeID = station.m_nNodeID;
        return port.GetStatistics(static_cast<unsigned>(station.m_nNodeID), *pStats) != 0;
    });
    task.onDone = [this, station, pStats](const CLineWorker::Result& result) {
        const bool bDone = result.outcome == CLineWorker::Outcome::done;
        if (bDone) {
            m_history.RecordStatistics(station, *pStats, CHistoryStore::Source::poll);
            if (m_pFeed) {
                m_pFeed->Reading(station, *pStats);
            }
        }
        // A line that is down says nothing about the analyser.
        if (bDone || result.outcome == CLineWorker::Outcome::failed) {
            NoteAnswer(station, bDone, bDone ? pStats.get() : nullptr);
        }
        RecordNoise(result.carried);
        m_bPollBusy = false;
        Wake();
    };
    m_pWorker->Post(std::move(task));
}

void CLineService::SweepStep(Clock::time_point now) {
    if (m_config.m_fSweepSeconds == 0 || m_bSweepBusy || now < m_nextSweep ||
        m_pWorker->GetState() != CLineWorker::LineState::open) {
        return;
    }
    CHistoryStation station;
    if (!TakeTurn(now, m_config.m_fSweepSeconds, m_nNextSweep, m_nextSweep, station)) {
        return;
    }
    m_bSweepBusy = true;
    CLineWorker::Task task;
    task.priority = CLineWorker::Priority::background;
    task.steps.push_back([station](CZarnPort& port) {
        return port.RequestACK(static_cast<unsigned char>(station.m_nNodeID)) != 0;
    });
    task.onDone = [this, station](const CLineWorker::Result& result) {
        if (result.outcome == CLineWorker::Outcome::done ||
            result.outcome == CLineWorker::Outcome::failed) {
            NoteAnswer(station, result.outcome == CLineWorker::Outcome::done, nullptr);
        }
        RecordNoise(result.carried);
        m_bSweepBusy = false;
        Wake();
    };
    m_pWorker->Post(std::move(task));
}
