#pragma once

#include "devices/TarvikPort.h"
#include "testsupport/LoggerPeer.h"
#include "testsupport/ManualClock.h"
#include "testsupport/ScriptedLine.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// The back-off's random numbers, in the order they are drawn (the last one repeats).
void SetRandomNumbers(std::vector<int> numbers);
int NextRandomNumber();

// A scripted line under a port name, a manual clock and a fixed random source, so that every
// wait is instant and exact.
class CLineTest : public ::testing::Test {
protected:
    static constexpr const char* kPort = "DEVTEST1";

    void SetUp() override;
    void TearDown() override;

    std::uint32_t Now() { return m_clock.TickCount(); }
    // Escape functions the port sent, in order.
    std::vector<unsigned long> Escapes() const;

    CManualClock m_clock{1000};
    std::unique_ptr<CClockScope> m_scope;
    std::shared_ptr<CScriptedLine> m_line;
    std::unique_ptr<CScriptedLine::Registration> m_reg;
    CVaskPort::RandomSource m_previousRandom = nullptr;
};

// A logger port on the scripted line, opened in the given mode, with a peer answering.
class CLoggerTest : public CLineTest {
protected:
    void Open(bool vask, CTarvikPort* port = nullptr);
    void TearDown() override;

    std::unique_ptr<CTarvikPort> m_port;
    std::unique_ptr<CLoggerPeer> m_peer;
};
