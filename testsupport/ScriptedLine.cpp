#include "testsupport/ScriptedLine.h"

#include "base/Clock.h"

#include <algorithm>
#include <cerrno>

using namespace lintaro;

namespace {

// True when tick a is at or after tick b on the wrapping 32-bit counter.
bool AtOrAfter(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(a - b) >= 0;
}

std::uint32_t Now() {
    return CClock::Current().TickCount();
}

} // namespace

// The open end of a scripted line, as the handle calls see it.
class CScriptedDevice : public CSerialDevice {
public:
    explicit CScriptedDevice(std::shared_ptr<CScriptedLine> line) : m_line(std::move(line)) {}
    ~CScriptedDevice() override {
        m_line->m_bOpen = false;
        m_line->Record(CScriptedLine::Event::kClose);
    }

    bool IsLost() const override { return m_line->m_bVanished; }

    bool SetState(const DCB& dcb) override {
        if (Gone() || m_line->m_bFailState) {
            errno = EINVAL;
            return false;
        }
        m_line->m_dcb = dcb;
        m_line->Record(CScriptedLine::Event::kSetState);
        return true;
    }
    bool GetTimeouts(COMMTIMEOUTS& t) override {
        if (Gone() || m_line->m_bFailTimeouts) {
            errno = EIO;
            return false;
        }
        t = m_line->m_timeouts;
        return true;
    }
    bool SetTimeouts(const COMMTIMEOUTS& t) override {
        if (Gone() || m_line->m_bFailTimeouts) {
            errno = EIO;
            return false;
        }
        m_line->m_timeouts = t;
        m_line->Record(CScriptedLine::Event::kSetTimeouts);
        return true;
    }

    long Read(unsigned char* buffer, std::size_t count) override {
        if (Gone()) {
            return -1;
        }
        CClock& clock = CClock::Current();
        const CReadPlan plan = PlanRead(m_line->m_timeouts, count);
        const std::uint32_t start = clock.TickCount();
        const std::uint32_t deadline = start + plan.nTotalMs;
        std::uint32_t gapDeadline = 0;
        bool haveGap = false;
        std::size_t got = 0;
        auto& input = m_line->m_input;
        for (;;) {
            const std::uint32_t now = clock.TickCount();
            while (got < count && !input.empty() && AtOrAfter(now, input.front().nTick)) {
                buffer[got++] = input.front().byte;
                input.pop_front();
                if (plan.nIntervalMs) {
                    haveGap = true;
                    gapDeadline = now + plan.nIntervalMs;
                }
            }
            if (got == count || plan.kind == CReadPlan::immediate ||
                (plan.kind == CReadPlan::firstByte && got > 0) || m_line->m_bVanished) {
                break;
            }
            std::uint32_t until = deadline;
            if (haveGap && AtOrAfter(until, gapDeadline)) {
                until = gapDeadline;
            }
            if (AtOrAfter(now, until)) {
                break;
            }
            std::uint32_t wake = until;
            if (!input.empty() && AtOrAfter(wake, input.front().nTick)) {
                wake = input.front().nTick;
            }
            clock.SleepMs(std::max<std::uint32_t>(1, wake - now));
        }
        m_line->Record(CScriptedLine::Event::kRead, std::vector<std::uint8_t>(buffer, buffer + got),
                       count);
        return static_cast<long>(got);
    }

    long Write(const unsigned char* data, std::size_t count) override {
        if (Gone()) {
            return -1;
        }
        std::size_t n = count;
        if (m_line->m_nWriteLimit >= 0) {
            n = std::min<std::size_t>(n, static_cast<std::size_t>(m_line->m_nWriteLimit));
        }
        std::vector<std::uint8_t> bytes(data, data + n);
        m_line->Record(CScriptedLine::Event::kWrite, bytes);
        if (m_line->m_bEcho) {
            m_line->Feed(bytes);
        }
        if (m_line->m_responder) {
            // Keep the line alive even if the responder drops the last outside reference.
            auto keep = m_line;
            keep->m_responder(*keep, bytes);
        }
        return static_cast<long>(n);
    }

    bool Purge(unsigned long flags) override {
        if (Gone()) {
            return false;
        }
        m_line->Record(CScriptedLine::Event::kPurge, {}, flags);
        if (flags & PURGE_RXCLEAR) {
            // Only what has already arrived is in the driver's buffer.
            const std::uint32_t now = Now();
            auto& input = m_line->m_input;
            while (!input.empty() && AtOrAfter(now, input.front().nTick)) {
                input.pop_front();
            }
        }
        return true;
    }

    bool Escape(unsigned long function) override {
        if (Gone() || m_line->m_bFailEscape) {
            errno = EIO;
            return false;
        }
        switch (function) {
        case SETRTS:
            m_line->m_bRts = true;
            break;
        case CLRRTS:
            m_line->m_bRts = false;
            break;
        case SETDTR:
            m_line->m_bDtr = true;
            break;
        case CLRDTR:
            m_line->m_bDtr = false;
            break;
        case SETBREAK:
            m_line->m_bBreak = true;
            break;
        case CLRBREAK:
            m_line->m_bBreak = false;
            break;
        case SETXON:
        case SETXOFF:
            break;
        default:
            errno = EINVAL;
            return false;
        }
        m_line->Record(CScriptedLine::Event::kEscape, {}, function);
        return true;
    }

    bool GetModemStatus(unsigned long& status) override {
        if (Gone()) {
            return false;
        }
        ++m_line->m_nModemReads;
        status = m_line->m_modemAt ? m_line->m_modemAt(Now()) : m_line->m_dwModem;
        return true;
    }

private:
    bool Gone() {
        if (m_line->m_bVanished) {
            errno = EIO;
            return true;
        }
        return false;
    }
    std::shared_ptr<CScriptedLine> m_line;
};

std::shared_ptr<CScriptedLine> CScriptedLine::Create() {
    return std::shared_ptr<CScriptedLine>(new CScriptedLine());
}

CScriptedLine::Registration::~Registration() {
    UnregisterSerialDevice(strName);
}

std::unique_ptr<CScriptedLine::Registration> CScriptedLine::Register(const std::string& name) {
    std::weak_ptr<CScriptedLine> weak = shared_from_this();
    RegisterSerialDevice(name, [weak]() -> std::unique_ptr<CSerialDevice> {
        auto line = weak.lock();
        if (!line) {
            errno = ENOENT;
            return nullptr;
        }
        if (line->m_nOpenErrno) {
            errno = line->m_nOpenErrno;
            return nullptr;
        }
        if (line->m_bOpen) {
            errno = EBUSY;
            return nullptr;
        }
        line->m_bOpen = true;
        line->m_bVanished = false;
        ++line->m_nOpens;
        line->Record(Event::kOpen);
        return std::make_unique<CScriptedDevice>(line);
    });
    auto reg = std::make_unique<Registration>();
    reg->strName = name;
    return reg;
}

void CScriptedLine::Record(Event::Kind kind, std::vector<std::uint8_t> data, unsigned long value) {
    m_events.push_back(Event{kind, Now(), std::move(data), value});
}

void CScriptedLine::Feed(const std::vector<std::uint8_t>& bytes, std::uint32_t delayMs) {
    FeedAt(Now() + delayMs, bytes);
}

void CScriptedLine::FeedAt(std::uint32_t tick, const std::vector<std::uint8_t>& bytes) {
    // Input stays in arrival order; bytes fed for an earlier tick than the last pending one
    // arrive with it.
    for (std::uint8_t b : bytes) {
        std::uint32_t t = tick;
        if (!m_input.empty() && !AtOrAfter(t, m_input.back().nTick)) {
            t = m_input.back().nTick;
        }
        m_input.push_back(Pending{t, b});
    }
}

void CScriptedLine::FeedPaced(const std::vector<std::uint8_t>& bytes, std::uint32_t delayMs,
                              std::uint32_t gapMs) {
    std::uint32_t t = Now() + delayMs;
    for (std::uint8_t b : bytes) {
        FeedAt(t, {b});
        t += gapMs;
    }
}

std::vector<CScriptedLine::Event> CScriptedLine::EventsOf(Event::Kind kind) const {
    std::vector<Event> out;
    std::copy_if(m_events.begin(), m_events.end(), std::back_inserter(out),
                 [kind](const Event& e) { return e.kind == kind; });
    return out;
}

std::vector<std::uint8_t> CScriptedLine::Written() const {
    std::vector<std::uint8_t> out;
    for (const Event& e : m_events) {
        if (e.kind == Event::kWrite) {
            out.insert(out.end(), e.data.begin(), e.data.end());
        }
    }
    return out;
}
