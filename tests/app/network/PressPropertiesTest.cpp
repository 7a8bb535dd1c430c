#include "app/network/PressProperties.h"
#include "records/StationFile.h"

#include "network/ZarnPort.h"
#include "sim/ZarnSimulator.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Keeps every message the dialog would show, and what the window was asked to do; runs the
// dialog's exchanges at once on a port of its own, in the order they are asked for.
class CRecordingHost : public CPressProperties::CHost {
public:
    struct Shown {
        unsigned nID;
        std::string strText;
        CPressProperties::Icon icon;
    };
    void Message(unsigned id, const std::string& arg, CPressProperties::Icon icon) override {
        m_shown.push_back({id, arg, icon});
    }
    void MessageText(const std::string& text, CPressProperties::Icon icon) override {
        m_shown.push_back({0, text, icon});
    }
    std::string String(unsigned id) override {
        return id == 1017 ? "On-Line" : id == 1016 ? "No Response" : "?";
    }
    void FocusField(CPressProperties::Field field) override { m_focus = field; }
    void Run(CPressProperties::Request request, std::vector<CLineWorker::Step> steps,
             std::function<void(bool)> done) override {
        m_requests.push_back(request);
        bool ok = m_pPort != nullptr;
        for (const auto& step : steps) {
            if (!ok || !(ok = step(*m_pPort))) {
                break;
            }
        }
        done(ok);
    }
    CPressProperties::Poster MakePoster() override {
        return [](std::function<void()> fn) { fn(); };
    }
    void ShowReadings() override { ++m_nReadingsShown; }
    void Refresh() override { ++m_nRefreshed; }
    ChangeSink MakeChangeSink() override {
        return [this](unsigned node, const CHistoryChange& change) {
            m_changes.emplace_back(node, change);
        };
    }
    void Confirm(const std::string& strText) override { m_confirmed.push_back(strText); }

    std::vector<unsigned> Ids() const {
        std::vector<unsigned> ids;
        for (const auto& s : m_shown) {
            ids.push_back(s.nID);
        }
        return ids;
    }
    std::vector<Shown> m_shown;
    CZarnPort* m_pPort = nullptr;
    std::vector<CPressProperties::Request> m_requests;
    int m_nReadingsShown = 0;
    int m_nRefreshed = 0;
    CPressProperties::Field m_focus = CPressProperties::Field::none;
    std::vector<std::pair<unsigned, CHistoryChange>> m_changes;
    std::vector<std::string> m_confirmed;
};

class PressProperties : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CZarnSimulator::Options options;
        options.nodes = {1, 2, 3, 4, 5};
        options.nCrimpIntervalMs = 0;
        s_sim = std::make_unique<CZarnSimulator>(options);
        std::string error;
        ASSERT_TRUE(s_sim->Start(&error)) << error;
    }
    static void TearDownTestSuite() { s_sim.reset(); }

    void SetUp() override {
        m_port = std::make_unique<CZarnPort>(s_sim->DevicePath().c_str(), 57600, 0, 0);
        ASSERT_EQ(m_port->SetCommPort(), 1);
        m_host.m_pPort = m_port.get();
        for (int node = 1; node <= 5; ++node) {
            s_sim->SetFault(node, SimFault::none);
        }
        m_presses.push_back(std::make_unique<CPress>("Crimp 1", CPoint{0, 0}, 1));
        m_presses.push_back(std::make_unique<CPress>("Crimp 2", CPoint{0, 0}, 2));
        m_presses.push_back(std::make_unique<CPress>("Silent", CPoint{0, 0}, 200));
    }
    std::unique_ptr<CPressProperties> Dialog(int index) {
        auto find = [this](int node) -> const CPress* {
            for (const auto& p : m_presses) {
                if (p->GetNodeID() == node) {
                    return p.get();
                }
            }
            return nullptr;
        };
        return std::make_unique<CPressProperties>(*m_presses[static_cast<std::size_t>(index)], find,
                                                  m_host);
    }
    SimAnalyserState State(int node) {
        SimAnalyserState state;
        EXPECT_TRUE(s_sim->GetState(node, state));
        return state;
    }

    static std::unique_ptr<CZarnSimulator> s_sim;
    std::unique_ptr<CZarnPort> m_port;
    PressList m_presses;
    CRecordingHost m_host;
};

std::unique_ptr<CZarnSimulator> PressProperties::s_sim;

TEST_F(PressProperties, OpeningOnLineShowsTheAnalysersLimits) {
    SimAnalyserState state = State(1);
    state.nBLO = 120;
    state.nDFactor = 350;
    state.nSFactor = 420;
    state.nTFactor = 75;
    s_sim->SetState(1, state);

    auto dlg = Dialog(0);
    dlg->Open();
    EXPECT_TRUE(dlg->AnalyserControlsEnabled());
    EXPECT_TRUE(dlg->IconOnline());
    CPressProperties::Fields f = dlg->ShowValues();
    EXPECT_EQ(f.strStatus, "On-Line");
    EXPECT_EQ(f.strBLO, "120");
    EXPECT_EQ(f.strDFactor, "3.5");
    EXPECT_EQ(f.strSFactor, "4.2");
    EXPECT_EQ(f.strTFactor, "0.75");
    EXPECT_EQ(f.strPass, "???");
    EXPECT_TRUE(m_host.m_shown.empty());
    // The four limits were shown one by one as they came, then everything.
    EXPECT_GE(m_host.m_nReadingsShown, 5);
    EXPECT_EQ(m_host.m_nRefreshed, 1);

    // OK stores the analyser's values in the station.
    ASSERT_TRUE(dlg->OK(f));
    EXPECT_FALSE(dlg->ApplyTo(*m_presses[0]));
    EXPECT_EQ(m_presses[0]->GetBLO(), 120);
    EXPECT_DOUBLE_EQ(m_presses[0]->GetDFactor(), 3.5);
}

TEST_F(PressProperties, OpeningSilentKeepsTheStationsLimits) {
    m_presses[0]->SetBLO(33);
    m_presses[0]->SetDFactor(2.5);
    s_sim->SetFault(1, SimFault::silent);
    auto dlg = Dialog(0);
    dlg->Open();
    EXPECT_FALSE(dlg->AnalyserControlsEnabled());
    EXPECT_FALSE(dlg->IconOnline());
    CPressProperties::Fields f = dlg->ShowValues();
    EXPECT_EQ(f.strStatus, "No Response");
    EXPECT_EQ(f.strBLO, "33");
    EXPECT_EQ(f.strDFactor, "2.5");
    EXPECT_EQ(f.strTFactor, "0.5");
    EXPECT_TRUE(m_host.m_shown.empty());
}

TEST_F(PressProperties, AFailingParameterReadLeavesTheRestAtZero) {
    // The analyser answers the presence test but not the D factor.
    auto dlg = Dialog(0);
    dlg->Open();
    m_host.m_shown.clear();
    s_sim->SetFault(1, SimFault::damaged);
    dlg->ReadLimits();
    EXPECT_EQ(m_host.Ids(), std::vector<unsigned>{1008});
    EXPECT_EQ(m_host.m_shown[0].icon, CPressProperties::Icon::stop);
    CPressProperties::Fields f = dlg->ShowValues();
    EXPECT_EQ(f.strBLO, "0");
    EXPECT_EQ(f.strDFactor, "0");
    EXPECT_EQ(f.strTFactor, "0");
}

TEST_F(PressProperties, FactorWritesAreTruncatedHundredths) {
    auto dlg = Dialog(1);
    dlg->Open();
    CPressProperties::Fields f = dlg->ShowValues();
    f.strDFactor = "2.3";
    f.strSFactor = "2.5";
    f.strTFactor = "1.15";
    f.strBLO = "150";
    dlg->WriteLimits(f);
    EXPECT_TRUE(m_host.m_shown.empty());
    SimAnalyserState state = State(2);
    EXPECT_EQ(state.nDFactor, 229);
    EXPECT_EQ(state.nSFactor, 250);
    EXPECT_EQ(state.nTFactor, 114);
    EXPECT_EQ(state.nBLO, 150);

    s_sim->SetFault(2, SimFault::silent);
    dlg->WriteLimits(f);
    EXPECT_EQ(m_host.Ids(), std::vector<unsigned>{1010});
}

TEST_F(PressProperties, SetRecordsOnlyRealChangesAndEveryValueWhenNoneWereRead) {
    // Factors whose hundredths survive the trip through the fields (a value such as 1.14
    // comes back truncated to 113, a change of its own).
    SimAnalyserState state = State(2);
    state.nBLO = 100;
    state.nDFactor = 300;
    state.nSFactor = 250;
    state.nTFactor = 100;
    s_sim->SetState(2, state);
    auto dlg = Dialog(1);
    dlg->Open();
    CPressProperties::Fields f = dlg->ShowValues();
    ASSERT_EQ(f.strBLO, "100");
    f.strBLO = "140";
    ASSERT_TRUE(dlg->WriteLimits(f));
    // All four are sent; only the BLO changed, and only it is recorded.
    EXPECT_EQ(State(2).nBLO, 140);
    ASSERT_EQ(m_host.m_changes.size(), 1u);
    EXPECT_EQ(m_host.m_changes[0].first, 2u);
    EXPECT_EQ(m_host.m_changes[0].second.m_parameter, CHistoryChange::Parameter::blo);
    EXPECT_EQ(m_host.m_changes[0].second.m_nBefore, 100);
    EXPECT_EQ(m_host.m_changes[0].second.m_nAfter, 140);
    EXPECT_EQ(m_host.m_confirmed, std::vector<std::string>{"Limits set on Crimp 2"});
    // The same values again change nothing.
    ASSERT_TRUE(dlg->WriteLimits(f));
    EXPECT_EQ(m_host.m_changes.size(), 1u);

    // Nothing read before: every value sent is recorded, its value before unknown.
    m_host.m_changes.clear();
    auto unread = Dialog(0);
    ASSERT_TRUE(unread->WriteLimits(unread->ShowValues()));
    ASSERT_EQ(m_host.m_changes.size(), 4u);
    for (const auto& [node, change] : m_host.m_changes) {
        EXPECT_EQ(node, 1u);
        EXPECT_FALSE(change.m_nBefore.has_value());
        EXPECT_TRUE(change.m_nAfter.has_value());
        EXPECT_TRUE(change.m_bOk);
    }
}

TEST_F(PressProperties, FactorArrowsTestTheBoundBeforeTheStep) {
    auto dlg = Dialog(2);
    CPressProperties::Fields f = dlg->ShowValues();
    f.strDFactor = "9.95";
    dlg->FactorArrow(f, CPressProperties::Factor::d, true);
    f = dlg->ShowValues();
    EXPECT_EQ(f.strDFactor, "10.05");
    // The next transfer refuses it, naming the bounds, with the focus on the field.
    EXPECT_FALSE(dlg->TakeFields(f));
    ASSERT_EQ(m_host.m_shown.size(), 1u);
    EXPECT_EQ(m_host.m_shown[0].strText, "Please enter a number between 2 and 10.");
    EXPECT_EQ(m_host.m_focus, CPressProperties::Field::dFactor);

    f.strDFactor = "10";
    dlg->FactorArrow(f, CPressProperties::Factor::d, true);
    EXPECT_EQ(dlg->ShowValues().strDFactor, "10");
    f = dlg->ShowValues();
    f.strTFactor = "0.5";
    dlg->FactorArrow(f, CPressProperties::Factor::t, false);
    EXPECT_EQ(dlg->ShowValues().strTFactor, "0.5");
    dlg->FactorArrow(f, CPressProperties::Factor::t, true);
    EXPECT_EQ(dlg->ShowValues().strTFactor, "0.6");
    f = dlg->ShowValues();
    dlg->FactorArrow(f, CPressProperties::Factor::s, false); // at the minimum of 2
    EXPECT_EQ(dlg->ShowValues().strSFactor, "2");
}

TEST_F(PressProperties, TeachCyclesMustBeOneOfTheListedValues) {
    auto dlg = Dialog(0);
    dlg->Open();
    CPressProperties::Fields f = dlg->ShowValues();
    unsigned long before = s_sim->RequestsServed();
    f.strTeachCycles = "6";
    dlg->SetTeachCycles(f);
    f.strTeachCycles = "9";
    dlg->SetTeachCycles(f);
    EXPECT_EQ(m_host.Ids(), (std::vector<unsigned>{1014, 1014}));
    EXPECT_EQ(s_sim->RequestsServed(), before);
    f.strTeachCycles = "7";
    dlg->SetTeachCycles(f);
    EXPECT_EQ(State(1).nTeachCycles, 7);
    EXPECT_EQ(m_host.m_shown.size(), 2u);
    f.strTeachCycles = "17";
    dlg->SetTeachCycles(f);
    EXPECT_EQ(m_host.m_shown.back().strText, "Please enter an integer between 5 and 15.");

    s_sim->SetFault(1, SimFault::silent);
    f.strTeachCycles = "13";
    dlg->SetTeachCycles(f);
    EXPECT_EQ(m_host.Ids().back(), 1015u);
}

TEST_F(PressProperties, CheckIdRefusesANodeOfAnotherStationWithoutAsking) {
    auto dlg = Dialog(0);
    dlg->Open();
    ASSERT_TRUE(dlg->AnalyserControlsEnabled());
    CPressProperties::Fields f = dlg->ShowValues();
    f.strNodeID = "2";
    unsigned long before = s_sim->RequestsServed();
    dlg->CheckID(f);
    EXPECT_EQ(s_sim->RequestsServed(), before);
    ASSERT_EQ(m_host.m_shown.size(), 1u);
    EXPECT_EQ(m_host.m_shown[0].nID, 1003u);
    EXPECT_EQ(m_host.m_shown[0].strText, "Crimp 2");
    EXPECT_EQ(m_host.m_shown[0].icon, CPressProperties::Icon::information);
    EXPECT_FALSE(dlg->AnalyserControlsEnabled());
    EXPECT_TRUE(dlg->IconOnline()); // the icon stays as it was
    EXPECT_EQ(dlg->ShowValues().strStatus, "No Response");
    // OK is refused the same way.
    EXPECT_FALSE(dlg->OK(f));
    EXPECT_EQ(m_host.m_shown.back().nID, 1003u);

    // The station's own node asks the network and reads everything.
    m_host.m_shown.clear();
    f.strNodeID = "1";
    dlg->CheckID(f);
    EXPECT_EQ(m_host.Ids(), std::vector<unsigned>{1004});
    EXPECT_TRUE(dlg->AnalyserControlsEnabled());
    EXPECT_NE(dlg->ShowValues().strPeak, "???");

    // A node nobody answers to.
    f = dlg->ShowValues();
    f.strNodeID = "77";
    dlg->CheckID(f);
    EXPECT_EQ(m_host.Ids().back(), 1005u);
    EXPECT_FALSE(dlg->IconOnline());
    EXPECT_FALSE(dlg->AnalyserControlsEnabled());
}

TEST_F(PressProperties, ProductionDataFailuresShowQuestionMarks) {
    auto dlg = Dialog(0);
    dlg->Open();
    CPressProperties::Fields f = dlg->ShowValues();
    dlg->ReadProduction(f);
    f = dlg->ShowValues();
    SimAnalyserState state = State(1);
    EXPECT_EQ(f.strPass, std::to_string(state.nPass));
    EXPECT_EQ(f.strFail, std::to_string(state.nFail));
    EXPECT_EQ(f.strPeak, std::to_string(state.nPeakForce));
    EXPECT_TRUE(m_host.m_shown.empty());

    // Pass and fail counts carry an unexpected code: all three texts become unknown.
    s_sim->SetFault(1, SimFault::wrongCode);
    dlg->ReadProduction(f);
    EXPECT_EQ(m_host.Ids(), std::vector<unsigned>{1006});
    f = dlg->ShowValues();
    EXPECT_EQ(f.strPass, "???");
    EXPECT_EQ(f.strFail, "???");
    EXPECT_EQ(f.strPeak, "???");
}

TEST_F(PressProperties, OkRefusesValuesOutOfRange) {
    auto dlg = Dialog(2);
    CPressProperties::Fields f = dlg->ShowValues();
    f.strBLO = "5";
    f.strName = "Renamed";
    EXPECT_FALSE(dlg->OK(f));
    ASSERT_EQ(m_host.m_shown.size(), 1u);
    EXPECT_EQ(m_host.m_shown[0].strText, "Please enter an integer between 10 and 200.");
    EXPECT_EQ(m_host.m_focus, CPressProperties::Field::blo);
    f.strBLO = "abc";
    EXPECT_FALSE(dlg->OK(f));
    EXPECT_EQ(m_host.m_shown.back().strText, "Please enter a positive integer.");
    f.strBLO = "200";
    f.strNodeID = "0";
    EXPECT_FALSE(dlg->OK(f));
    EXPECT_EQ(m_host.m_focus, CPressProperties::Field::nodeID);
    f.strNodeID = "201";
    f.strTFactor = "1,5";
    EXPECT_FALSE(dlg->OK(f));
    EXPECT_EQ(m_host.m_shown.back().strText, "Please enter a number.");
    f.strTFactor = " 1.5 ";
    EXPECT_TRUE(dlg->OK(f));
    EXPECT_TRUE(dlg->ApplyTo(*m_presses[2]));
    EXPECT_EQ(m_presses[2]->GetName(), "Renamed");
    EXPECT_EQ(m_presses[2]->GetNodeID(), 201);
    // Only a change of the name counts as one, letter case included.
    auto again = Dialog(2);
    f = again->ShowValues();
    f.strName = "renamed";
    ASSERT_TRUE(again->OK(f));
    EXPECT_TRUE(again->ApplyTo(*m_presses[2]));
}

} // namespace
