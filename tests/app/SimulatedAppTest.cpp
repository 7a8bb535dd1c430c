#include "tests/app/SimulatedAppTest.h"

#include "app/framework/MDIFrameWnd.h"
#include "app/shell/CommandLineInfo.h"

#include "app/shell/LineClient.h"
#include "app/shell/Registry.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

#include <string>

std::unique_ptr<CZarnSimulator> SimulatedAppTest::s_sim;

void SimulatedAppTest::SetUpTestSuite() {
    CZarnSimulator::Options options;
    options.nCrimpIntervalMs = 0;
    s_sim = std::make_unique<CZarnSimulator>(options);
    std::string error;
    ASSERT_TRUE(s_sim->Start(&error)) << error;
}

void SimulatedAppTest::TearDownTestSuite() {
    s_sim.reset();
}

void SimulatedAppTest::SetUp() {
    for (int node = 1; node <= 12; ++node) {
        s_sim->SetFault(node, SimFault::none);
    }
}

void SimulatedAppTest::TearDown() {
    m_app.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void SimulatedAppTest::StartApp() {
    CCommandLineInfo info;
    info.m_bShowSplash = false;
    // No presence sweep behind the tests' backs: they count what reaches the line.
    WriteRegDword(HKEY_LOCAL_MACHINE, REG_KEY_SETTINGS, "SweepPeriod", 0);
    m_app = std::make_unique<CQuorvelApp>(info, s_sim->DevicePath());
    ASSERT_TRUE(m_app->InitInstance());
    // The windows stand at once; the port opens on the line.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return m_app->m_pLine == nullptr || !m_app->m_pLine->IsOpening(); }, 30000))
        << "the port did not open";
}

bool SimulatedAppTest::WaitForLine(int nMs) {
    QDeadlineTimer deadline(nMs);
    // Idle twice in a row: a finished request may still hand its station's turn on.
    int nIdle = 0;
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (m_app == nullptr || m_app->m_pLine == nullptr || m_app->m_pLine->IsIdle()) {
            if (++nIdle == 2) {
                return true;
            }
        } else {
            nIdle = 0;
        }
        QTest::qWait(2);
    }
    return false;
}

bool SimulatedAppTest::Enabled(UINT nID) {
    return m_app->m_pMainWnd->QueryCommand(nID).m_bEnabled;
}

SimAnalyserState SimulatedAppTest::State(int node) {
    SimAnalyserState state;
    EXPECT_TRUE(s_sim->GetState(node, state));
    return state;
}
