#include "network/LineWorker.h"
#include "network/ZarnPort.h"
#include "sim/ZarnSimulator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Outcome = CLineWorker::Outcome;
using LineState = CLineWorker::LineState;

// Waits for a task's completion, with a deadline.
struct CDone {
    std::promise<CLineWorker::Result> promise;
    std::future<CLineWorker::Result> future = promise.get_future();
    std::function<void(const CLineWorker::Result&)> Callback() {
        return [this](const CLineWorker::Result& r) { promise.set_value(r); };
    }
    CLineWorker::Result Get() {
        EXPECT_EQ(future.wait_for(10s), std::future_status::ready);
        return future.get();
    }
};

class LineWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strLink =
            (std::filesystem::temp_directory_path() / ("lineworker-" + std::to_string(::getpid())))
                .string();
        StartSim();
        m_pPort = std::make_unique<CZarnPort>(m_strLink.c_str(), 57600, 0, 0);
        ASSERT_EQ(m_pPort->SetCommPort(), 1);
    }
    void TearDown() override {
        m_pWorker.reset();
        m_pPort.reset();
        m_pSim.reset();
        std::filesystem::remove(m_strLink);
    }
    void StartSim() {
        CZarnSimulator::Options options;
        options.nodes = {1, 2};
        options.strLink = m_strLink;
        options.nCrimpIntervalMs = 0;
        m_pSim = std::make_unique<CZarnSimulator>(options);
        std::string error;
        ASSERT_TRUE(m_pSim->Start(&error)) << error;
    }
    void StartWorker() {
        m_pWorker = std::make_unique<CLineWorker>(*m_pPort, CLineWorker::Options{50ms});
        m_pWorker->SetStateObserver([this](LineState state, const std::string& name) {
            std::lock_guard lock(m_mutex);
            m_states.push_back(state);
            m_strStateName = name;
            m_changed.notify_all();
        });
    }
    bool WaitForState(LineState state) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 10s,
                                  [&] { return !m_states.empty() && m_states.back() == state; });
    }
    // An operator's task that keeps the worker until released.
    static CLineWorker::Task Holding(std::shared_future<void> released, CDone& done) {
        return {CLineWorker::Priority::operatorRequest,
                {[released](CZarnPort&) {
                    released.wait();
                    return true;
                }},
                nullptr,
                done.Callback()};
    }
    static CLineWorker::Step Ack(unsigned char node) {
        return [node](CZarnPort& port) { return port.RequestACK(node) != 0; };
    }

    std::string m_strLink;
    std::unique_ptr<CZarnSimulator> m_pSim;
    std::unique_ptr<CZarnPort> m_pPort;
    std::unique_ptr<CLineWorker> m_pWorker;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<LineState> m_states;
    std::string m_strStateName;
};

TEST_F(LineWorkerTest, OperatorRequestsOvertakeQueuedBackgroundWorkAndCancelStopsBetweenSteps) {
    StartWorker();
    // Hold the worker in a first task until everything else is queued.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::vector<std::string> order;
    std::mutex orderMutex;
    auto note = [&](const char* what) {
        return [&, what](CZarnPort&) {
            std::lock_guard lock(orderMutex);
            order.push_back(what);
            return true;
        };
    };
    CDone first, poll, op, cancelled;
    m_pWorker->Post(Holding(released, first));
    m_pWorker->Post(
        {CLineWorker::Priority::background, {note("poll"), Ack(1)}, nullptr, poll.Callback()});
    auto cancel = std::make_shared<CLineCancel>();
    m_pWorker->Post(
        {CLineWorker::Priority::operatorRequest, {note("op"), Ack(2)}, nullptr, op.Callback()});
    // A task that cancels its own operation after its first step: the rest never runs.
    m_pWorker->Post({CLineWorker::Priority::operatorRequest,
                     {[cancel](CZarnPort&) {
                          cancel->Cancel();
                          return true;
                      },
                      note("after cancel")},
                     cancel,
                     cancelled.Callback()});
    release.set_value();

    EXPECT_EQ(first.Get().outcome, Outcome::done);
    const CLineWorker::Result opResult = op.Get();
    EXPECT_EQ(opResult.outcome, Outcome::done);
    EXPECT_EQ(opResult.nStepsDone, 2u);
    const CLineWorker::Result cancelResult = cancelled.Get();
    EXPECT_EQ(cancelResult.outcome, Outcome::cancelled);
    EXPECT_EQ(cancelResult.nStepsDone, 1u);
    EXPECT_EQ(poll.Get().outcome, Outcome::done);
    EXPECT_EQ(order, (std::vector<std::string>{"op", "poll"}));
}

TEST_F(LineWorkerTest, AnIdleWorkerLetsTheCallerRunATaskAndTakesNothingMeanwhile) {
    StartWorker();
    const auto caller = std::this_thread::get_id();
    std::thread::id ranOn;
    std::atomic<bool> bInside{false};
    std::atomic<bool> bOverlapped{false};
    CDone posted;
    CLineWorker::Task task{CLineWorker::Priority::operatorRequest,
                           {[&](CZarnPort& port) {
                               ranOn = std::this_thread::get_id();
                               bInside = true;
                               // Posted while this runs: it waits, the port stays this
                               // thread's through the exchanges that follow.
                               m_pWorker->Post({CLineWorker::Priority::background,
                                                {[&](CZarnPort& p) {
                                                    bOverlapped = bInside.load();
                                                    return p.RequestACK(2) != 0;
                                                }},
                                                nullptr,
                                                posted.Callback()});
                               bool ok = true;
                               for (int i = 0; i < 5; ++i) {
                                   ok = ok && port.RequestACK(1) != 0;
                               }
                               bInside = false;
                               return ok;
                           }},
                           nullptr,
                           nullptr};
    ASSERT_TRUE(m_pWorker->RunNowIfIdle(task));
    EXPECT_EQ(ranOn, caller);
    EXPECT_EQ(posted.Get().outcome, Outcome::done);
    EXPECT_FALSE(bOverlapped);

    // Busy, it leaves the task to the caller to post.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    CDone first;
    m_pWorker->Post(Holding(released, first));
    bool bRan = false;
    CLineWorker::Task other{CLineWorker::Priority::operatorRequest,
                            {[&](CZarnPort&) { return bRan = true; }},
                            nullptr,
                            nullptr};
    EXPECT_FALSE(m_pWorker->RunNowIfIdle(other));
    EXPECT_FALSE(bRan);
    EXPECT_EQ(other.steps.size(), 1u);
    release.set_value();
    EXPECT_EQ(first.Get().outcome, Outcome::done);
}

TEST_F(LineWorkerTest, FailedStepEndsTheTaskWithItsReason) {
    StartWorker();
    CDone done;
    bool ranAfter = false;
    m_pWorker->Post({CLineWorker::Priority::operatorRequest,
                     {Ack(1), Ack(7), [&](CZarnPort&) { return ranAfter = true; }},
                     nullptr,
                     done.Callback()});
    const CLineWorker::Result result = done.Get();
    EXPECT_EQ(result.outcome, Outcome::failed);
    EXPECT_EQ(result.nStepsDone, 1u);
    EXPECT_EQ(result.error, ZarnError::noReply);
    EXPECT_FALSE(ranAfter);
    EXPECT_EQ(m_pWorker->GetState(), LineState::open);
}

TEST_F(LineWorkerTest, LostLineFailsAtOnceAndIsReopenedByNameWhenItComesBack) {
    StartWorker();
    CDone before;
    m_pWorker->Post({CLineWorker::Priority::operatorRequest, {Ack(1)}, nullptr, before.Callback()});
    ASSERT_EQ(before.Get().outcome, Outcome::done);

    m_pSim.reset(); // the line's far end goes away
    CDone lost;
    m_pWorker->Post({CLineWorker::Priority::background, {Ack(1)}, nullptr, lost.Callback()});
    const CLineWorker::Result lostResult = lost.Get();
    EXPECT_EQ(lostResult.outcome, Outcome::lineDown);
    EXPECT_EQ(lostResult.error, ZarnError::lineLost);
    ASSERT_TRUE(WaitForState(LineState::lost));
    EXPECT_EQ(m_strStateName, m_strLink);

    // While the line is down a request does not reach the port at all.
    CDone down;
    bool touched = false;
    m_pWorker->Post({CLineWorker::Priority::operatorRequest,
                     {[&](CZarnPort&) { return touched = true; }},
                     nullptr,
                     down.Callback()});
    EXPECT_EQ(down.Get().outcome, Outcome::lineDown);
    EXPECT_FALSE(touched);

    StartSim(); // the same link name again
    ASSERT_TRUE(WaitForState(LineState::open));
    CDone after;
    m_pWorker->Post({CLineWorker::Priority::operatorRequest, {Ack(2)}, nullptr, after.Callback()});
    EXPECT_EQ(after.Get().outcome, Outcome::done);
}

TEST_F(LineWorkerTest, OpeningAnotherPortReportsTheResultAndNamesTheNewPort) {
    StartWorker();
    std::promise<bool> opened;
    m_pWorker->OpenPort("/nonexistent/port", [&](bool ok) { opened.set_value(ok); });
    auto future = opened.get_future();
    ASSERT_EQ(future.wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(future.get());
    EXPECT_EQ(m_pWorker->GetState(), LineState::closed);
    EXPECT_EQ(m_pWorker->GetPortName(), "/nonexistent/port");

    std::promise<bool> back;
    m_pWorker->OpenPort(m_strLink, [&](bool ok) { back.set_value(ok); });
    auto backFuture = back.get_future();
    ASSERT_EQ(backFuture.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(backFuture.get());
    EXPECT_EQ(m_pWorker->GetState(), LineState::open);
}

TEST_F(LineWorkerTest, StoppingCompletesEveryQueuedTaskAsCancelled) {
    StartWorker();
    // The first task runs until the worker is being stopped: the stop cancels the queued
    // task's token, and only then does the first one return.
    auto queuedToken = std::make_shared<CLineCancel>();
    std::promise<void> started;
    CDone running, queued, background;
    m_pWorker->Post({CLineWorker::Priority::operatorRequest,
                     {[queuedToken, &started](CZarnPort&) {
                         started.set_value();
                         const auto until = std::chrono::steady_clock::now() + 10s;
                         while (!queuedToken->IsCancelled() &&
                                std::chrono::steady_clock::now() < until) {
                             std::this_thread::yield();
                         }
                         return queuedToken->IsCancelled();
                     }},
                     nullptr,
                     running.Callback()});
    m_pWorker->Post(
        {CLineWorker::Priority::operatorRequest, {Ack(1)}, queuedToken, queued.Callback()});
    m_pWorker->Post({CLineWorker::Priority::background, {Ack(2)}, nullptr, background.Callback()});
    ASSERT_EQ(started.get_future().wait_for(10s), std::future_status::ready);
    m_pWorker.reset();

    // Every completion has been called by the time the worker is gone.
    for (CDone* done : {&running, &queued, &background}) {
        ASSERT_EQ(done->future.wait_for(0s), std::future_status::ready);
    }
    EXPECT_EQ(running.Get().outcome, Outcome::done);
    EXPECT_EQ(queued.Get().outcome, Outcome::cancelled);
    const CLineWorker::Result dropped = background.Get();
    EXPECT_EQ(dropped.outcome, Outcome::cancelled);
    EXPECT_EQ(dropped.nStepsDone, 0u);
}

} // namespace
