#include "DeviceTestSupport.h"

namespace {

std::vector<int> g_numbers = {0};
std::size_t g_next = 0;

} // namespace

void SetRandomNumbers(std::vector<int> numbers) {
    g_numbers = numbers.empty() ? std::vector<int>{0} : std::move(numbers);
    g_next = 0;
}

int NextRandomNumber() {
    int n = g_numbers[g_next < g_numbers.size() ? g_next : g_numbers.size() - 1];
    ++g_next;
    return n;
}

void CLineTest::SetUp() {
    m_scope = std::make_unique<CClockScope>(m_clock);
    m_line = CScriptedLine::Create();
    m_reg = m_line->Register(kPort);
    SetRandomNumbers({0});
    m_previousRandom = CVaskPort::SetRandomSource(&NextRandomNumber);
    CTarvikPort::SetSyncState(0);
}

void CLineTest::TearDown() {
    CVaskPort::SetRandomSource(m_previousRandom);
    CTarvikPort::SetSyncState(0);
    m_reg.reset();
    m_scope.reset();
}

std::vector<unsigned long> CLineTest::Escapes() const {
    std::vector<unsigned long> out;
    for (const auto& e : m_line->EventsOf(CScriptedLine::Event::kEscape)) {
        out.push_back(e.nValue);
    }
    return out;
}

void CLoggerTest::Open(bool vask, CTarvikPort* port) {
    if (port) {
        m_port.reset(port);
    } else {
        m_port =
            std::make_unique<CTarvikPort>(kPort, 38400, lintaro::NOPARITY, lintaro::ONESTOPBIT);
    }
    ASSERT_TRUE(vask ? m_port->SetVaskMode() : m_port->SetSerialMode());
    m_peer = std::make_unique<CLoggerPeer>(vask, m_port->GetPacketID());
    m_peer->Attach(*m_line);
    m_line->ClearRecord();
}

void CLoggerTest::TearDown() {
    m_port.reset();
    m_line->SetResponder(nullptr);
    m_peer.reset();
    CLineTest::TearDown();
}
