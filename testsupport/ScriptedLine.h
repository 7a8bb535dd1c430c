#pragma once

#include "serial/SerialDevice.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// An in-memory serial line for tests. Register it under a port name and the port classes open
// it like a device. It keeps everything the port did to it (writes, purges, modem lines, break,
// line settings, time-outs), delivers scripted input at given ticks of the installed clock, can
// answer writes through a responder, and can fail in the ways real devices do.
//
// Reads wait on the installed clock: with a CManualClock they run instantly and exactly.
class CScriptedLine : public std::enable_shared_from_this<CScriptedLine> {
public:
    struct Event {
        enum Kind { kOpen, kClose, kWrite, kPurge, kEscape, kSetState, kSetTimeouts, kRead };
        Kind kind;
        std::uint32_t nTick;            // clock tick when it happened
        std::vector<std::uint8_t> data; // write: bytes written; read: bytes delivered
        unsigned long nValue = 0;       // purge flags, escape function, read: count asked
    };
    using Responder = std::function<void(CScriptedLine& line, const std::vector<std::uint8_t>&)>;

    static std::shared_ptr<CScriptedLine> Create();
    // Makes the port name open this line; undone by the destructor of the returned guard.
    struct Registration {
        std::string strName;
        ~Registration();
    };
    std::unique_ptr<Registration> Register(const std::string& name);

    // Input: bytes that arrive now, after a delay, or at a given tick.
    void Feed(const std::vector<std::uint8_t>& bytes, std::uint32_t delayMs = 0);
    void FeedAt(std::uint32_t tick, const std::vector<std::uint8_t>& bytes);
    // Each byte arrives gapMs after the one before it, the first after delayMs.
    void FeedPaced(const std::vector<std::uint8_t>& bytes, std::uint32_t delayMs,
                   std::uint32_t gapMs);
    std::size_t PendingInput() const { return m_input.size(); }

    // Called after every completed write with the bytes written; it may Feed a reply.
    void SetResponder(Responder responder) { m_responder = std::move(responder); }
    // The shared line returns every written byte to the writer's own receiver.
    void SetEcho(bool echo) { m_bEcho = echo; }

    // Failures.
    void RefuseOpen(int err) { m_nOpenErrno = err; }
    void FailSetState(bool fail) { m_bFailState = fail; }
    void FailTimeouts(bool fail) { m_bFailTimeouts = fail; }
    void FailEscape(bool fail) { m_bFailEscape = fail; }
    // At most this many bytes of each write are taken (negative: no limit).
    void LimitWrites(long maxBytes) { m_nWriteLimit = maxBytes; }
    // The device disappears: every later call on an open handle fails with EIO.
    void Vanish() { m_bVanished = true; }

    // Modem inputs: a fixed status word, or a function of the clock tick.
    void SetModemStatus(unsigned long status) {
        m_dwModem = status;
        m_modemAt = nullptr;
    }
    void SetModemStatusFunction(std::function<unsigned long(std::uint32_t tick)> f) {
        m_modemAt = std::move(f);
    }
    unsigned ModemStatusReads() const { return m_nModemReads; }

    // What the port did.
    bool IsOpen() const { return m_bOpen; }
    unsigned OpenCount() const { return m_nOpens; }
    bool Rts() const { return m_bRts; }
    bool Dtr() const { return m_bDtr; }
    bool InBreak() const { return m_bBreak; }
    const lintaro::DCB& State() const { return m_dcb; }
    const lintaro::COMMTIMEOUTS& Timeouts() const { return m_timeouts; }
    const std::vector<Event>& Events() const { return m_events; }
    std::vector<Event> EventsOf(Event::Kind kind) const;
    std::vector<std::uint8_t> Written() const;
    void ClearRecord() { m_events.clear(); }
    // The time-outs a freshly opened device reports.
    void SetInitialTimeouts(const lintaro::COMMTIMEOUTS& t) { m_timeouts = t; }

private:
    friend class CScriptedDevice;
    CScriptedLine() = default;
    void Record(Event::Kind kind, std::vector<std::uint8_t> data = {}, unsigned long value = 0);

    struct Pending {
        std::uint32_t nTick;
        std::uint8_t byte;
    };
    std::deque<Pending> m_input;
    Responder m_responder;
    bool m_bEcho = false;
    int m_nOpenErrno = 0;
    bool m_bFailState = false;
    bool m_bFailTimeouts = false;
    bool m_bFailEscape = false;
    long m_nWriteLimit = -1;
    bool m_bVanished = false;
    unsigned long m_dwModem = 0;
    std::function<unsigned long(std::uint32_t)> m_modemAt;
    unsigned m_nModemReads = 0;
    bool m_bOpen = false;
    unsigned m_nOpens = 0;
    bool m_bRts = false;
    bool m_bDtr = false;
    bool m_bBreak = false;
    lintaro::DCB m_dcb{};
    lintaro::COMMTIMEOUTS m_timeouts{};
    std::vector<Event> m_events;
};
