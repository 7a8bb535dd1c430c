// The longest time the program's event loop does not respond while it works on a paced
// simulated line (the real 57600-baud byte timing): a 5 ms timer measures the gaps between its
// ticks during four operations. Target: at most 100 ms in each.
#include "app/framework/MessageRecorder.h"
#include "app/network/PressPropertiesDlg.h"
#include "app/network/QuorvelDoc.h"
#include "app/network/QuorvelView.h"
#include "app/shell/CommandLineInfo.h"
#include "app/shell/LineClient.h"
#include "app/shell/QuorvelApp.h"
#include "sim/ZarnSimulator.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

namespace {

constexpr double kTargetMs = 100.0;

// The event loop's longest gap between two ticks of a 5 ms timer, less the period.
class CStallProbe {
public:
    CStallProbe() {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double ms = m_clock.nsecsElapsed() / 1e6;
            m_dWorst = std::max(m_dWorst, ms - 5.0);
            m_clock.restart();
        });
    }
    void Start() {
        m_dWorst = 0;
        m_clock.start();
        m_timer.start(5);
    }
    double Stop() {
        m_timer.stop();
        return std::max(0.0, m_dWorst);
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_dWorst = 0;
};

// Runs the event loop until the condition holds (or a minute passes).
bool RunUntil(const std::function<bool()>& condition) {
    QDeadlineTimer deadline(60000);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

void RunFor(int ms) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    QDir::setCurrent(dir.path());
    QApplication qapp(argc, argv);

    CZarnSimulator::Options options;
    options.bPace = true;
    options.nCrimpIntervalMs = 0;
    options.faults = {{12, SimFault::silent}};
    CZarnSimulator sim(options);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 2;
    }
    CMessageRecorder messages; // failure messages answer themselves
    CCommandLineInfo info;
    info.m_bShowSplash = false;
    CQuorvelApp app(info, sim.DevicePath());
    if (!app.InitInstance() || app.m_pLine == nullptr) {
        std::fprintf(stderr, "the program did not start\n");
        return 2;
    }
    auto* doc = static_cast<CQuorvelDoc*>(app.m_pNetTemplate->GetDocuments().front());
    auto* view = static_cast<CQuorvelView*>(doc->GetFirstView());
    CLineClient* line = app.m_pLine;
    auto idle = [line] { return line->IsIdle(); };
    CStallProbe probe;
    int failed = 0;
    auto report = [&](const char* what, double ms) {
        const bool ok = ms <= kTargetMs;
        failed += ok ? 0 : 1;
        std::printf("%-58s %8.1f ms  (target <= %.0f ms) %s\n", what, ms, kTargetMs,
                    ok ? "ok" : "MISSED");
    };

    // 1. One station's curve.
    probe.Start();
    app.OpenCurveWindow(doc->FindPress(3));
    RunUntil(idle);
    report("download one station's curve", probe.Stop());

    // 2. Curves of a group of twelve stations (the last one silent).
    doc->GetGroup().clear();
    for (const auto& press : doc->GetPresses()) {
        doc->GetGroup().push_back(press.get());
    }
    probe.Start();
    view->RunOnGroup(2);
    RunUntil(idle);
    report("download curves for a group of 12 stations", probe.Stop());

    // 3. The statistics window polling four rows, one of them silent, for ten seconds.
    for (int node : {1, 2, 3, 4}) {
        app.AddToStatistics(doc->FindPress(node), FALSE);
    }
    RunUntil(idle);
    sim.SetFault(2, SimFault::silent);
    probe.Start();
    RunFor(10000);
    report("statistics window, one silent analyser among four rows", probe.Stop());
    RunUntil(idle);

    // 4. Press Properties on a silent analyser, closed once it has asked.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* dlg = qobject_cast<CPressPropertiesDlg*>(QApplication::activeModalWidget())) {
            if (dlg->GetRunning() == 0) {
                dlg->reject();
            }
        }
    });
    closer.start(10);
    probe.Start();
    view->EditProperties(doc->FindPress(12));
    RunUntil(idle);
    report("open Press Properties on a silent analyser", probe.Stop());
    closer.stop();

    app.ExitInstance();
    return failed == 0 ? 0 : 1;
}
