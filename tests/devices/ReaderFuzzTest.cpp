// Random line input against every reader: whatever arrives, nothing may be read or written
// outside the frame or the caller's buffer, and every result stays in its range.
#include "DeviceTestSupport.h"

#include <cstring>
#include <random>

namespace {

constexpr std::size_t kGuard = 32;
constexpr unsigned char kCanary = 0xC5;

// A heap buffer of exactly the size asked for, followed by a guard that must stay untouched
// (the sanitizers also catch a write into the guard's neighbourhood or past the allocation).
class CGuardedBuffer {
public:
    explicit CGuardedBuffer(std::size_t size)
        : m_nSize(size), m_pData(new unsigned char[size + kGuard]) {
        std::memset(m_pData.get(), kCanary, size + kGuard);
    }
    unsigned char* Data() { return m_pData.get(); }
    bool GuardIntact() const {
        for (std::size_t i = 0; i < kGuard; ++i) {
            if (m_pData[m_nSize + i] != kCanary) {
                return false;
            }
        }
        return true;
    }

private:
    std::size_t m_nSize;
    std::unique_ptr<unsigned char[]> m_pData;
};

class ReaderFuzzTest : public CLineTest {
protected:
    Bytes RandomInput(std::mt19937& rng) {
        static const std::uint8_t kInteresting[] = {0x01, 0x7F, 0x3C, 0x11, 0x12, 0x55, 0x56,
                                                    0x59, 0x5A, 0x65, 0x66, 0x69, 0x6A, 0x95,
                                                    0x96, 0x99, 0x9A, 0xA5, 0xAA, 0x00, 0xFF};
        Bytes out;
        const int parts = std::uniform_int_distribution<int>(0, 4)(rng);
        for (int p = 0; p < parts; ++p) {
            const int kind = std::uniform_int_distribution<int>(0, 3)(rng);
            if (kind == 0) {
                // A well-formed frame with a random payload, maybe damaged afterwards.
                Bytes payload(std::uniform_int_distribution<std::size_t>(0, 255)(rng));
                for (auto& b : payload) {
                    b = static_cast<std::uint8_t>(rng());
                }
                if (!payload.empty() && rng() % 2) {
                    static const std::uint8_t kCodes[] = {0xB2, 0xB1, 0x91, 0x68, 0x94};
                    payload[0] = kCodes[rng() % 5];
                }
                const std::uint8_t bit = rng() % 2 ? 0x80 : 0x00;
                Bytes frame = rng() % 2 ? VaskFrame(rng() % 4 ? 0x11 : 0x12, payload, bit)
                                        : SerialFrame(payload, bit);
                if (rng() % 3 == 0 && !frame.empty()) {
                    frame[rng() % frame.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
                }
                if (rng() % 4 == 0) {
                    frame.resize(rng() % (frame.size() + 1));
                }
                out.insert(out.end(), frame.begin(), frame.end());
            } else {
                const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 600)(rng);
                for (std::size_t i = 0; i < n; ++i) {
                    out.push_back(kind == 1 ? kInteresting[rng() % sizeof kInteresting]
                                            : static_cast<std::uint8_t>(rng()));
                }
            }
        }
        return out;
    }
};

TEST_F(ReaderFuzzTest, RandomLineInputStaysWithinEveryBuffer) {
    CTarvikPort port(kPort, 19200, lintaro::NOPARITY, lintaro::ONESTOPBIT);
    ASSERT_TRUE(port.SetCommPort());
    std::mt19937 rng(20240611);
    for (int round = 0; round < 3000; ++round) {
        SCOPED_TRACE(round);
        port.FlushComms();
        port.UseVask(rng() % 2);
        m_line->FeedPaced(RandomInput(rng), rng() % 3, rng() % 2);
        const int reader = static_cast<int>(rng() % 9);
        const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 255)(rng);
        CGuardedBuffer buffer(size);
        unsigned char received = 0;
        int count = -7;
        switch (reader) {
        case 0: {
            const int n = port.ReadFrameHeader();
            EXPECT_TRUE(n >= -2 && n <= 255) << n;
            if (n > 0) {
                CGuardedBuffer payload(static_cast<std::size_t>(n));
                port.ReadVaskData(payload.Data(), n, &received);
                EXPECT_TRUE(payload.GuardIntact());
            }
            break;
        }
        case 1:
            port.ReadVaskData(buffer.Data(), static_cast<int>(size), &received);
            break;
        case 2: {
            const int n = port.ReadSerialFrameHeader();
            EXPECT_TRUE(n >= -1 && n <= 255) << n;
            if (n > 0) {
                CGuardedBuffer payload(static_cast<std::size_t>(n));
                port.ReadSerialData(payload.Data(), n, &received);
                EXPECT_TRUE(payload.GuardIntact());
            }
            break;
        }
        case 3:
            port.ReadSerialData(buffer.Data(), static_cast<int>(size), &received);
            break;
        case 4:
        case 5: {
            const int n =
                reader == 4
                    ? port.ReadVaskDataStream(rng() % 4 == 0, &received, buffer.Data(), size)
                    : port.ReadRS232DataStream(rng() % 4 == 0, &received, buffer.Data(), size);
            EXPECT_TRUE(n >= -6 && n <= static_cast<int>(size)) << n;
            break;
        }
        case 6: {
            const int ok = port.GetWaveTimeStampData(buffer.Data(), &count, size);
            EXPECT_TRUE(count >= 0 && count <= static_cast<int>(size)) << count;
            if (!ok) {
                EXPECT_EQ(count, 0);
            }
            break;
        }
        case 7: {
            unsigned char* data = nullptr;
            const int n = port.GetBufferData(&data, 0, &received);
            EXPECT_LE(n, 255);
            EXPECT_EQ(data != nullptr, n > 0);
            if (data) {
                // The whole announced length is ours to read.
                unsigned sum = 0;
                for (int i = 0; i < n; ++i) {
                    sum += data[i];
                }
                (void)sum;
            }
            CTarvikPort::FreeBufferData(data);
            break;
        }
        default: {
            unsigned short value = 0;
            LOGGER_SETTING settings{};
            port.GetSerialNumber(&value);
            port.GetAllSettings(&settings);
            break;
        }
        }
        EXPECT_TRUE(buffer.GuardIntact());
        EXPECT_TRUE(received == 0 || received == 0x80) << int(received);
        const int sync = CTarvikPort::GetSyncState();
        EXPECT_TRUE(sync >= 0 && sync <= 2);
        if (HasFailure()) {
            break;
        }
    }
}

} // namespace
