// The logger link's frame readers and the Manchester code, on whatever a scripted line
// delivers: Vask and RS-232 frames against the harness's own reading of the bytes, the stream,
// buffer and time-stamp readers against the bounds of their buffers.
#include "FuzzSupport.h"

#include "devices/TarvikPort.h"
#include "testsupport/ManualClock.h"
#include "testsupport/ScriptedLine.h"

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr unsigned char kPacketID = 0x11;
constexpr int kMaxFrames = 40;

// The byte a valid code word carries: pairs 10 are ones and 01 zeros, most significant first.
bool CodeWord(std::uint16_t word, std::uint8_t& byte) {
    byte = 0;
    for (int pair = 7; pair >= 0; --pair) {
        const unsigned bits = word >> (2 * pair) & 3u;
        if (bits != 1u && bits != 2u) {
            return false;
        }
        byte = static_cast<std::uint8_t>(byte << 1 | (bits == 2u ? 1 : 0));
    }
    return true;
}

void CheckManchester(std::uint16_t word) {
    std::uint8_t byte = 0;
    const std::uint8_t decoded = CVaskPort::ManchesterDecode(word);
    if (CodeWord(word, byte)) {
        FUZZ_CHECK(decoded == byte);
        FUZZ_CHECK(CVaskPort::ManchesterEncode(byte) == word);
    }
    std::uint16_t encoded = CVaskPort::ManchesterEncode(static_cast<std::uint8_t>(word));
    FUZZ_CHECK(CodeWord(encoded, byte) && byte == static_cast<std::uint8_t>(word));
}

// The line's bytes as the readers should take them.
class CStream {
public:
    explicit CStream(Bytes bytes) : m_bytes(std::move(bytes)) {}
    Bytes Read(std::size_t n) {
        const std::size_t take = std::min(n, m_bytes.size() - m_nPos);
        Bytes out(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_nPos),
                  m_bytes.begin() + static_cast<std::ptrdiff_t>(m_nPos + take));
        m_nPos += take;
        return out;
    }
    void Flush() { m_nPos = m_bytes.size(); }
    bool Empty() const { return m_nPos == m_bytes.size(); }

private:
    Bytes m_bytes;
    std::size_t m_nPos = 0;
};

std::uint16_t Word(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

void VaskFrames(CTarvikPort& port, CStream& own) {
    int sync = 0; // the harness's own copy of the synchronisation state
    for (int frame = 0; frame < kMaxFrames && !own.Empty(); ++frame) {
        const int header = port.ReadFrameHeader();
        int expected = -1;
        for (int read = 0; sync < 2 && read < CTarvikPort::kSyncSearchBytes; ++read) {
            const Bytes b = own.Read(1);
            if (b.empty()) {
                break;
            }
            sync = sync == 0 ? (b[0] == 0x01 ? 1 : 0) : (b[0] == 0x7F ? 2 : 0);
        }
        if (sync == 2) {
            const Bytes id = own.Read(1);
            if (!id.empty() && id[0] != kPacketID) {
                own.Flush();
                sync = 0;
                expected = -2;
            } else if (!id.empty()) {
                sync = 0;
                const Bytes w = own.Read(2);
                expected = w.size() == 2 ? CVaskPort::ManchesterDecode(Word(w, 0)) : -1;
            }
        }
        FUZZ_CHECK(header == expected);
        FUZZ_CHECK(CTarvikPort::GetSyncState() == sync);
        if (header < 0) {
            continue;
        }
        Bytes payload(static_cast<std::size_t>(header) + 1); // one spare byte, never written
        payload.back() = 0xA5;
        unsigned char received = 0x33;
        const int ok = port.ReadVaskData(payload.data(), header, &received);
        const Bytes words = own.Read(2 * (static_cast<std::size_t>(header) + 1));
        bool expectedOk = false;
        if (words.size() != 2 * (static_cast<std::size_t>(header) + 1)) {
            own.Flush();
            FUZZ_CHECK(received == 0x33);
        } else {
            unsigned sum = kPacketID;
            for (int i = 0; i < header; ++i) {
                const std::uint8_t b = CVaskPort::ManchesterDecode(Word(words, 2 * std::size_t(i)));
                FUZZ_CHECK(payload[static_cast<std::size_t>(i)] == b);
                sum += b;
            }
            const std::uint8_t check =
                CVaskPort::ManchesterDecode(Word(words, 2 * static_cast<std::size_t>(header)));
            FUZZ_CHECK(received == (check & 0x80));
            expectedOk = ((sum ^ check) & 0x7F) == 0;
            if (!expectedOk) {
                own.Flush();
            }
        }
        FUZZ_CHECK((ok != 0) == expectedOk);
        FUZZ_CHECK(payload.back() == 0xA5);
    }
}

void SerialFrames(CTarvikPort& port, CStream& own) {
    for (int frame = 0; frame < kMaxFrames && !own.Empty(); ++frame) {
        const int header = port.ReadSerialFrameHeader();
        int expected = -1;
        for (int read = 0; read < CTarvikPort::kSyncSearchBytes; ++read) {
            const Bytes b = own.Read(1);
            if (b.empty()) {
                break;
            }
            if (b[0] == 0x3C) {
                const Bytes n = own.Read(1);
                expected = n.empty() ? -1 : n[0];
                break;
            }
        }
        FUZZ_CHECK(header == expected);
        if (header < 0) {
            continue;
        }
        Bytes payload(static_cast<std::size_t>(header) + 1);
        payload.back() = 0xA5;
        unsigned char received = 0x33;
        const int ok = port.ReadSerialData(payload.data(), header, &received);
        const Bytes body = own.Read(static_cast<std::size_t>(header));
        bool expectedOk = false;
        if (body.size() == static_cast<std::size_t>(header)) {
            const Bytes check = own.Read(1);
            unsigned sum = 0;
            for (std::uint8_t b : body) {
                sum += b;
            }
            if (!check.empty() && ((sum ^ check[0]) & 0x7F) == 0) {
                expectedOk = true;
                FUZZ_CHECK(received == (check[0] & 0x80));
                FUZZ_CHECK(std::equal(body.begin(), body.end(), payload.begin()));
            }
        }
        FUZZ_CHECK((ok != 0) == expectedOk);
        if (!expectedOk) {
            FUZZ_CHECK(received == 0x33);
        }
        FUZZ_CHECK(payload.back() == 0xA5);
    }
}

// Readers with no reading of their own here: whatever arrives, they stay within their buffers
// (exactly as large as promised, so the address sanitizer sees any step past them) and ranges.
void OtherReaders(CTarvikPort& port, int which, std::size_t capacity) {
    std::vector<unsigned char> buffer(capacity);
    unsigned char received = 0;
    switch (which) {
    case 0:
    case 1: {
        const int n = which == 0 ? port.ReadVaskDataStream(1, &received, buffer.data(), capacity)
                                 : port.ReadRS232DataStream(0, &received, buffer.data(), capacity);
        FUZZ_CHECK(n >= -6 && n <= static_cast<int>(capacity));
        break;
    }
    case 2: {
        int count = -7;
        const int ok = port.GetWaveTimeStampData(buffer.data(), &count, capacity);
        FUZZ_CHECK(count >= 0 && count <= static_cast<int>(capacity));
        FUZZ_CHECK(ok || count == 0);
        break;
    }
    case 3: {
        unsigned char* data = nullptr;
        const int n = port.GetBufferData(&data, 0, &received);
        FUZZ_CHECK(n <= CTarvikPort::kMaxPayload && (data != nullptr) == (n > 0));
        // Every byte announced is ours to read.
        volatile unsigned sum = 0;
        for (int i = 0; i < n; ++i) {
            sum = sum + data[i];
        }
        CTarvikPort::FreeBufferData(data);
        break;
    }
    default: {
        unsigned short value = 0;
        LOGGER_SETTING settings{};
        unsigned long gain = 0;
        const unsigned char handshake = port.GetHandshake();
        const int ok = port.GetSerialNumber(&value);
        // The handshake bit turns over with each accepted exchange and only then.
        FUZZ_CHECK(port.GetHandshake() == (ok ? handshake ^ 0x80 : handshake));
        port.GetAllSettings(&settings);
        port.GetCalibrationGain(&gain);
        break;
    }
    }
    FUZZ_CHECK(received == 0 || received == 0x80);
    const int sync = CTarvikPort::GetSyncState();
    FUZZ_CHECK(sync >= 0 && sync <= 2);
}

CManualClock g_clock(1000);
CClockScope g_clockScope(g_clock);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    CheckManchester(static_cast<std::uint16_t>(data[1] | data[2] << 8));
    const int which = data[0] % 8;
    const Bytes line(data + 1, data + size);

    auto scripted = CScriptedLine::Create();
    auto registration = scripted->Register("FUZZLOG");
    CTarvikPort port("FUZZLOG", 19200, 0, 0);
    FUZZ_CHECK(port.SetCommPort() == 1);
    port.UseVask(which == 0 || which == 2 || which == 6);
    CTarvikPort::SetSyncState(0);
    // The back-off before sending draws from a fixed source, so that a run can be repeated.
    CVaskPort::SetRandomSource([] { return 7; });
    scripted->Feed(line);
    CStream own(line);
    if (which == 0) {
        VaskFrames(port, own);
    } else if (which == 1) {
        SerialFrames(port, own);
    } else {
        OtherReaders(port, which - 2, data[1] % (CTarvikPort::kMaxPayload + 1));
    }
    return 0;
}
