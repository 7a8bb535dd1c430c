// Analyser replies and downloads as a scripted line delivers them: every request member against
// the harness's own reading of what the line delivered, down to the failure reason.
#include "FuzzSupport.h"

#include "network/ZarnPort.h"
#include "testsupport/ManualClock.h"
#include "testsupport/ScriptedLine.h"

#include <deque>
#include <optional>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kPacket = 8;
constexpr std::size_t kCurveBytes = 501 * kPacket;

unsigned char Rotl(unsigned char x) {
    return static_cast<unsigned char>(x << 1 | x >> 7);
}
unsigned char Sum(const Bytes& p) {
    return static_cast<unsigned char>(p[1] + p[2] + p[3] + p[4] + p[5]);
}
unsigned char Rotating(const Bytes& p) {
    unsigned char r = Rotl(static_cast<unsigned char>(p[1] ^ p[2]));
    for (int i = 3; i <= 5; ++i) {
        r = Rotl(static_cast<unsigned char>(r ^ p[static_cast<std::size_t>(i)]));
    }
    return static_cast<unsigned char>(r ^ p[6]);
}
Bytes Request(unsigned char node, unsigned char code, std::uint16_t data) {
    Bytes p{0xFF,
            node,
            code,
            0,
            static_cast<std::uint8_t>(data & 0xFF),
            static_cast<std::uint8_t>(data >> 8),
            0,
            0};
    p[6] = Sum(p);
    p[7] = Rotating(p);
    return p;
}
std::uint16_t Data(const Bytes& p) {
    return static_cast<std::uint16_t>(p[5] << 8 | p[4]);
}

// What the controller should make of the line: each write is answered by the line's echo (when
// it echoes) and the next chunk of the input; a purge before each request drops the rest.
class CLineModel {
public:
    CLineModel(std::deque<Bytes> chunks, bool echo) : m_chunks(std::move(chunks)), m_bEcho(echo) {}

    ZarnError error = ZarnError::none;
    std::optional<CZarnRequest> carried;

    bool Transmit(const Bytes& sent) {
        carried.reset();
        m_stream = m_bEcho ? sent : Bytes();
        if (!m_chunks.empty()) {
            m_stream.insert(m_stream.end(), m_chunks.front().begin(), m_chunks.front().end());
            m_chunks.pop_front();
        }
        m_nPos = 0;
        const Bytes echo = Read(kPacket);
        if (echo.empty()) {
            return Fail(ZarnError::noEcho);
        }
        if (echo == sent) {
            return true;
        }
        // An echo that is a valid request for an analyser names what the line carried.
        if (echo.size() == kPacket && echo[0] == 0xFF && echo[3] == 0 && echo[1] != 0 &&
            echo[6] == Sum(echo) && echo[7] == Rotating(echo)) {
            carried = CZarnRequest{echo[1], echo[2], Data(echo)};
            return Fail(ZarnError::otherRequest);
        }
        return Fail(ZarnError::echoDiffers);
    }
    bool Validate(const Bytes& p, unsigned char node) {
        if (p[6] != Sum(p)) {
            return Fail(ZarnError::badChecksum);
        }
        if (p[7] != Rotating(p)) {
            return Fail(ZarnError::badRotatingCheck);
        }
        if (p[1] != 0) {
            return Fail(ZarnError::wrongDestination);
        }
        if (p[3] != node) {
            return Fail(ZarnError::wrongSource);
        }
        return true;
    }
    bool Reply(unsigned char node, Bytes& p) {
        p = Read(kPacket);
        if (p.empty()) {
            return Fail(ZarnError::noReply);
        }
        if (p.size() != kPacket) {
            return Fail(ZarnError::shortReply);
        }
        return Validate(p, node);
    }
    Bytes Read(std::size_t n) {
        const std::size_t take = std::min(n, m_stream.size() - m_nPos);
        Bytes out(m_stream.begin() + static_cast<std::ptrdiff_t>(m_nPos),
                  m_stream.begin() + static_cast<std::ptrdiff_t>(m_nPos + take));
        m_nPos += take;
        return out;
    }
    bool Fail(ZarnError e) {
        error = e;
        return false;
    }
    bool Parameter(unsigned char node, unsigned char code, std::uint16_t& value) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!Transmit(Request(node, code, 0))) {
                return false;
            }
            Bytes p;
            if (Reply(node, p)) {
                value = Data(p);
                return true;
            }
        }
        return false;
    }
    bool Order(unsigned char node, unsigned char code, std::uint16_t value) {
        Bytes p;
        if (!Transmit(Request(node, code, value)) || !Reply(node, p)) {
            return false;
        }
        return p[2] == 0x80 || Fail(ZarnError::unexpectedCode);
    }

private:
    std::deque<Bytes> m_chunks;
    bool m_bEcho;
    Bytes m_stream;
    std::size_t m_nPos = 0;
};

struct Outcome {
    int ok = 0;
    std::vector<long long> values; // every output, written or not
};

bool SameStats(const CStats& a, const CStats& b) {
    return std::memcmp(&a.m_fMean, &b.m_fMean, sizeof(float)) == 0 &&
           std::memcmp(&a.m_fStdDev, &b.m_fStdDev, sizeof(float)) == 0 &&
           std::memcmp(&a.m_fCpk, &b.m_fCpk, sizeof(float)) == 0 &&
           std::memcmp(&a.m_fCp, &b.m_fCp, sizeof(float)) == 0 && a.m_nMin == b.m_nMin &&
           a.m_nMax == b.m_nMax && a.m_nGood == b.m_nGood && a.m_nBad == b.m_nBad &&
           a.m_nBLO == b.m_nBLO && a.m_nBatchMax == b.m_nBatchMax;
}

float Tenths(std::uint16_t v) {
    return static_cast<float>(static_cast<std::int16_t>(v)) * 0.1f;
}

CManualClock g_clock(1000);
CClockScope g_clockScope(g_clock);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const int op = data[0] % 9;
    const bool echo = data[1] & 1;
    const auto node = static_cast<unsigned char>(1 + (data[1] >> 1) % 8);
    const unsigned capacity = (data[1] >> 1) % 64;
    // The rest: chunks, each a 16-bit little-endian length and its bytes.
    std::deque<Bytes> chunks;
    for (std::size_t pos = 2; pos < size;) {
        std::size_t n = data[pos];
        if (pos + 1 < size) {
            n |= std::size_t{data[pos + 1]} << 8;
        }
        pos += 2;
        n = std::min(n, size > pos ? size - pos : 0);
        chunks.emplace_back(data + std::min(pos, size), data + std::min(pos + n, size));
        pos += n;
    }

    auto line = CScriptedLine::Create();
    auto registration = line->Register("FUZZLINE");
    line->SetEcho(echo);
    auto pending = chunks;
    line->SetResponder([&pending](CScriptedLine& l, const Bytes&) {
        if (!pending.empty()) {
            l.Feed(pending.front());
            pending.pop_front();
        }
    });
    CZarnPort port("FUZZLINE", 57600, 0, 0);
    FUZZ_CHECK(port.SetCommPort() == 1);
    CLineModel model(chunks, echo);

    int ok = 0;
    bool expected = false;
    switch (op) {
    case 0:
        ok = port.RequestACK(node);
        expected = model.Order(node, 1, 0);
        break;
    case 1: {
        unsigned short v = 0xBEEF;
        std::uint16_t e = 0xBEEF;
        ok = port.GetBLO(node, &v);
        expected = model.Parameter(node, 66, e);
        FUZZ_CHECK(v == e);
        break;
    }
    case 2:
        ok = port.SetBLO(node, 0x1234);
        expected = model.Order(node, 67, 0x1234);
        break;
    case 3: {
        unsigned pass = 7, fail = 7;
        ok = port.GetPassFailCount(node, &pass, &fail);
        unsigned ePass = 7, eFail = 7;
        expected = model.Transmit(Request(node, 6, 0));
        for (int i = 0; expected && i < 2; ++i) {
            Bytes p;
            expected = model.Reply(node, p);
            if (expected && p[2] == 0x85) {
                ePass = Data(p);
            } else if (expected && p[2] == 0x86) {
                eFail = Data(p);
            } else if (expected) {
                expected = model.Fail(ZarnError::unexpectedCode);
            }
        }
        FUZZ_CHECK(pass == ePass && fail == eFail);
        break;
    }
    case 4: {
        int z[5] = {-1, -1, -1, -1, -1};
        int e[5] = {-1, -1, -1, -1, -1};
        ok = port.GetZoneInfo(node, &z[0], &z[1], &z[2], &z[3], &z[4]);
        expected = true;
        for (int i = 0; expected && i < 5; ++i) {
            std::uint16_t v = 0;
            expected = model.Parameter(node, static_cast<unsigned char>(50 + i), v);
            if (expected) {
                e[i] = v;
            }
        }
        FUZZ_CHECK(std::memcmp(z, e, sizeof z) == 0);
        break;
    }
    case 5:
    case 6: {
        // Statistics, or the batch with its statistics record.
        CStats stats, e;
        std::vector<tagPOINT> points(std::max(capacity, 1u), tagPOINT{-1, -1});
        std::vector<tagPOINT> ePoints = points;
        unsigned short count = 0xFFFF, eCount = 0xFFFF;
        if (op == 5) {
            ok = port.GetStatistics(node, stats);
            expected = model.Transmit(Request(node, 74, 0));
            unsigned char last = 0;
            for (int i = 0; expected && i < 8; ++i) {
                Bytes p;
                expected = model.Reply(node, p);
                if (!expected) {
                    break;
                }
                const std::uint16_t v = Data(p);
                float* tenths[4] = {&e.m_fMean, &e.m_fStdDev, &e.m_fCpk, &e.m_fCp};
                if (i < 4) {
                    *tenths[i] = Tenths(v);
                } else if (i == 4) {
                    e.m_nMin = static_cast<short>(v);
                } else if (i == 5) {
                    e.m_nMax = static_cast<short>(v);
                } else if (i == 6) {
                    e.m_nGood = v;
                } else {
                    e.m_nBad = v;
                }
                last = p[2];
            }
            std::uint16_t blo = 0;
            if (expected && !model.Parameter(node, 66, blo)) {
                expected = false;
            } else if (expected) {
                e.m_nBLO = blo;
                expected = last == 0x84 || model.Fail(ZarnError::unexpectedCode);
            }
        } else {
            ok = port.DownloadBatchBuffer(node, points.data(), &count, stats, capacity);
            expected = model.Transmit(Request(node, 4, 0));
            if (expected) {
                eCount = 0; // the count is the caller's until the request is out
            }
            while (expected) {
                Bytes p;
                if (!model.Reply(node, p)) {
                    expected = false;
                    break;
                }
                if (p[2] == 0x84) {
                    std::uint16_t blo = 0;
                    expected = model.Parameter(node, 66, blo) &&
                               (Data(p) == eCount || model.Fail(ZarnError::wrongEndValue));
                    break;
                }
                if (eCount >= capacity) {
                    for (unsigned long seen = eCount + 1ul; seen <= 0xFFFF; ++seen) {
                        if (!model.Reply(node, p) || p[2] == 0x84) {
                            break;
                        }
                    }
                    expected = model.Fail(ZarnError::capacityExceeded);
                    break;
                }
                const int y = (p[5] & 0x0F) << 8 | p[4];
                ePoints[eCount] = tagPOINT{eCount, y};
                e.m_nBatchMax =
                    std::max<unsigned short>(e.m_nBatchMax, static_cast<unsigned short>(y));
                ++eCount;
            }
            FUZZ_CHECK(count == eCount);
            for (std::size_t i = 0; i < points.size(); ++i) {
                FUZZ_CHECK(points[i].x == ePoints[i].x && points[i].y == ePoints[i].y);
            }
        }
        FUZZ_CHECK(SameStats(stats, e));
        break;
    }
    case 7:
    case 8: {
        std::vector<tagPOINT> points(CZarnPort::kCurvePoints, tagPOINT{-1, -1});
        std::vector<tagPOINT> ePoints = points;
        ok = op == 7 ? port.DownloadForceCurve(node, points.data())
                     : port.DownloadReference(node, points.data());
        expected = model.Transmit(Request(node, op == 7 ? 2 : 3, 0));
        if (expected) {
            const Bytes block = model.Read(kCurveBytes);
            if (block.empty()) {
                expected = model.Fail(ZarnError::noReply);
            } else if (block.size() != kCurveBytes) {
                expected = model.Fail(ZarnError::shortReply);
            } else {
                const Bytes end(block.end() - kPacket, block.end());
                expected = model.Validate(end, node) &&
                           (end[2] == 0x84 || model.Fail(ZarnError::unexpectedCode)) &&
                           (Data(end) == 500 || model.Fail(ZarnError::wrongEndValue));
                for (std::size_t i = 0; expected && i < 500; ++i) {
                    const Bytes p(block.begin() + static_cast<std::ptrdiff_t>(i * kPacket),
                                  block.begin() + static_cast<std::ptrdiff_t>((i + 1) * kPacket));
                    expected = model.Validate(p, node);
                    if (expected) {
                        ePoints[i] = tagPOINT{static_cast<int>(i), (p[5] & 0x0F) << 8 | p[4]};
                    }
                }
            }
        }
        for (std::size_t i = 0; i < points.size(); ++i) {
            FUZZ_CHECK(points[i].x == ePoints[i].x && points[i].y == ePoints[i].y);
        }
        break;
    }
    }
    FUZZ_CHECK((ok != 0) == expected);
    FUZZ_CHECK(port.GetLastError() == (expected ? ZarnError::none : model.error));
    const auto& carried = port.GetCarriedRequest();
    FUZZ_CHECK(carried.has_value() == model.carried.has_value());
    if (carried) {
        FUZZ_CHECK(carried->m_nNodeID == model.carried->m_nNodeID &&
                   carried->m_nCode == model.carried->m_nCode &&
                   carried->m_nData == model.carried->m_nData);
    }
    return 0;
}
