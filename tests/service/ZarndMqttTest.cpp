// zarnd's MQTT feed against a mosquitto broker on a free loopback port.

#include "tests/service/ServiceFixture.h"
#include "testsupport/Loopback.h"

#include <mosquitto.h>

#include <csignal>
#include <map>
#include <mutex>

namespace {

const char* const kMosquitto = "/usr/sbin/mosquitto";

// A subscriber to the whole tree that keeps every message by topic.
class CSubscriber {
public:
    struct Message {
        std::string strPayload;
        bool bRetained = false;
    };

    explicit CSubscriber(int port) {
        m_pMosq = mosquitto_new(nullptr, true, this);
        mosquitto_connect_callback_set(m_pMosq, [](mosquitto* m, void*, int rc) {
            if (rc == 0) {
                mosquitto_subscribe(m, nullptr, "#", 1);
            }
        });
        mosquitto_message_callback_set(
            m_pMosq, [](mosquitto*, void* self, const mosquitto_message* message) {
                auto* me = static_cast<CSubscriber*>(self);
                std::lock_guard lock(me->m_mutex);
                me->m_messages[message->topic].push_back(
                    {std::string(static_cast<const char*>(message->payload),
                                 static_cast<std::size_t>(message->payloadlen)),
                     message->retain});
            });
        mosquitto_reconnect_delay_set(m_pMosq, 1, 1, false);
        mosquitto_connect_async(m_pMosq, "127.0.0.1", port, 10);
        mosquitto_loop_start(m_pMosq);
    }
    ~CSubscriber() {
        mosquitto_disconnect(m_pMosq);
        mosquitto_loop_stop(m_pMosq, true);
        mosquitto_destroy(m_pMosq);
    }
    std::vector<Message> Of(const std::string& topic) {
        std::lock_guard lock(m_mutex);
        return m_messages[topic];
    }
    std::string Last(const std::string& topic) {
        const std::vector<Message> messages = Of(topic);
        return messages.empty() ? std::string() : messages.back().strPayload;
    }

private:
    mosquitto* m_pMosq = nullptr;
    std::mutex m_mutex;
    std::map<std::string, std::vector<Message>> m_messages;
};

class ZarndMqtt : public ServiceTest {
protected:
    static void SetUpTestSuite() { mosquitto_lib_init(); }
    static void TearDownTestSuite() { mosquitto_lib_cleanup(); }

    void StartBroker() {
        if (::access(kMosquitto, X_OK) != 0) {
            GTEST_SKIP() << "mosquitto is not installed";
        }
        if (m_nPort == 0) {
            m_nPort = FreeLoopbackPort();
        }
        const std::string config = m_strDir + "/mosquitto.conf";
        std::ofstream(config) << "listener " << m_nPort << " 127.0.0.1\nallow_anonymous true\n"
                              << "persistence false\n";
        m_pBroker = std::make_unique<CChildProcess>();
        CChildProcess::Options options;
        options.strLog = m_strDir + "/mosquitto.log";
        options.bPipeOut = false;
        ASSERT_TRUE(m_pBroker->Start({kMosquitto, "-c", config}, options));
        // Up once it takes a connection.
        ASSERT_TRUE(WaitFor([&] { return LoopbackPortOpen(m_nPort); }, 20000));
    }

    void TearDown() override {
        m_pService.reset();
        m_pBroker.reset();
        ServiceTest::TearDown();
    }

    std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(m_nPort); }

    int m_nPort = 0;
    std::unique_ptr<CChildProcess> m_pBroker;
};

TEST_F(ZarndMqtt, PublishesTheTreeWithRetainedStatesAndALastWill) {
    StartBroker();
    StartLine({1, 2});
    CSubscriber early(m_nPort);
    StartService({"--nodes", "1-3", "--poll", "1", "--sweep", "0", "--mqtt", Url(), "--workstation",
                  "ws1", "--line", "press1", "--group", "root"});
    const std::string base = "zarn/ws1/press1/";
    ASSERT_TRUE(WaitFor([&] { return early.Of(base + "station/2/reading").size() >= 2; }, 30000))
        << Log();
    const std::string reading = early.Last(base + "station/2/reading");
    EXPECT_NE(reading.find("\"node\":2"), std::string::npos) << reading;
    EXPECT_NE(reading.find("\"time\":\"20"), std::string::npos) << reading;
    EXPECT_NE(reading.find("Z\""), std::string::npos) << reading;
    ASSERT_TRUE(WaitFor(
        [&] {
            return early.Last(base + "station/3/state").find("not answering") != std::string::npos;
        },
        30000))
        << Log();
    EXPECT_NE(early.Last(base + "state").find("\"state\":\"open\""), std::string::npos);
    EXPECT_TRUE(early.Of(base + "station/1/reading").empty() == false);

    // A newcomer gets the states at once, as retained messages.
    CSubscriber late(m_nPort);
    ASSERT_TRUE(WaitFor([&] { return !late.Of(base + "station/3/state").empty(); }, 20000));
    EXPECT_TRUE(late.Of(base + "station/3/state").front().bRetained);
    EXPECT_EQ(late.Last(base + "status"), "online");
    EXPECT_TRUE(late.Of(base + "station/2/reading").empty() ||
                !late.Of(base + "station/2/reading").front().bRetained);

    // A change through the socket goes out with its user.
    const ProgramResult set = RunProgram(
        {ZARNCTL_PATH, "--port", "zarnd://" + m_strSocket, "set", "1", "tfactor", "120"}, 60000);
    EXPECT_EQ(set.nExit, 0) << set.strErr;
    ASSERT_TRUE(WaitFor([&] { return !early.Of(base + "station/1/change").empty(); }, 20000));
    const std::string change = early.Last(base + "station/1/change");
    EXPECT_NE(change.find("\"parameter\":\"tfactor\",\"value\":120,\"ok\":true,\"user\":"),
              std::string::npos)
        << change;

    m_pService->Signal(SIGKILL);
    ASSERT_TRUE(WaitFor([&] { return early.Last(base + "status") == "offline"; }, 60000));
}

TEST_F(ZarndMqtt, ABrokerRestartDelaysNeitherTheLineNorTheHistory) {
    StartBroker();
    StartLine({1});
    StartService({"--nodes", "1", "--poll", "1", "--sweep", "0", "--mqtt", Url(), "--workstation",
                  "ws1", "--line", "press1"});
    const std::string topic = "zarn/ws1/press1/station/1/reading";
    {
        CSubscriber subscriber(m_nPort);
        ASSERT_TRUE(WaitFor([&] { return !subscriber.Of(topic).empty(); }, 30000)) << Log();
    }
    m_pBroker->Signal(SIGKILL);
    ASSERT_EQ(m_pBroker->Wait(10000), 128 + SIGKILL);
    // The readings go on into the history while the broker is away.
    const std::size_t nDown = Readings(1).size();
    ASSERT_TRUE(WaitFor([&] { return Readings(1).size() >= nDown + 3; }, 30000)) << Log();

    StartBroker();
    CSubscriber subscriber(m_nPort);
    ASSERT_TRUE(WaitFor([&] { return subscriber.Of(topic).size() >= 2; }, 90000)) << Log();
    EXPECT_EQ(subscriber.Last("zarn/ws1/press1/status"), "online");
    EXPECT_EQ(StopService(), 0);
}

} // namespace
