#pragma once

#include "base/Export.h"
#include "network/ZarnCall.h"
#include "network/ZarndFrameReader.h"
#include "network/ZarndMessage.h"
#include "serial/SerialDevice.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

// A port on the line service: "zarnd://PATH" names the service's Unix socket. It stands where a
// serial device would, so the port opens, closes and is lost the usual way, but it carries whole
// calls instead of bytes: the service runs each one on its line with the library's own code and
// sends back the outcome. Byte reads and writes are refused.
class LINTARO_API CZarndLink : public CSerialDevice {
public:
    static constexpr const char* kScheme = "zarnd://";
    // How long a call may wait for its turn on the line before the service is taken for hung.
    static constexpr int kTurnTimeoutMs = 300000;
    // How long the service may take over its report.
    static constexpr int kReportTimeoutMs = 5000;
    // How long a call waits for its answer awake before it sleeps.
    static constexpr std::chrono::microseconds kAwakeWait{100};

    static bool IsLinkName(const std::string& name) { return name.rfind(kScheme, 0) == 0; }
    // Connects to the socket the name gives; null with errno set when it cannot.
    static std::unique_ptr<CSerialDevice> Connect(const std::string& name);
    ~CZarndLink() override;

    // Runs one call through the service. False when the service could not be reached or broke
    // off (the link is then lost); the outcome is the call's own otherwise.
    bool Exchange(const CZarnCall& call, CZarnOutcome& outcome);
    // Asks the service for its report of the line, which it gives at once. False as Exchange.
    bool Report(CZarndReport& report);

    bool SetState(const lintaro::DCB&) override { return true; }
    bool GetTimeouts(lintaro::COMMTIMEOUTS& t) override;
    bool SetTimeouts(const lintaro::COMMTIMEOUTS& t) override;
    long Read(unsigned char* buffer, std::size_t count) override;
    long Write(const unsigned char* data, std::size_t count) override;
    bool Purge(unsigned long) override { return true; }
    bool Escape(unsigned long function) override;
    bool GetModemStatus(unsigned long& status) override;
    bool IsLost() const override { return m_nFd < 0; }

private:
    explicit CZarndLink(int fd) : m_nFd(fd) {}
    bool WriteAll(const std::vector<std::uint8_t>& bytes);
    // The next frame's payload by the deadline (steady-clock ms); false on a time-out or a
    // broken link.
    bool ReadFrame(std::vector<std::uint8_t>& payload, std::int64_t deadlineMs);
    void Lose();

    int m_nFd;
    std::uint32_t m_nNextId = 1;
    CZarndFrameReader m_reader{ZarndMessage::kMaxOutcomeFrame};
    lintaro::COMMTIMEOUTS m_timeouts{};
};
