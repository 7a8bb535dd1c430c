#include "devices/VaskPort.h"

#include "base/Tick.h"

#include <cstdlib>

namespace {

int RuntimeRand() {
    return std::rand();
}

CVaskPort::RandomSource g_pRandom = &RuntimeRand;

} // namespace

CVaskPort::RandomSource CVaskPort::SetRandomSource(RandomSource source) {
    RandomSource previous = g_pRandom;
    g_pRandom = source ? source : &RuntimeRand;
    return previous;
}

CVaskPort::CVaskPort(char const* port, unsigned long baud, unsigned char parity, unsigned char stop)
    : CSerialPort(port, baud, parity, stop), m_bIntelligentWait(0), m_bRxOn(0) {}

CVaskPort::~CVaskPort() {
    RxOff();
    TxOff();
}

int CVaskPort::TxOn() {
    return SetRequestToSend();
}

int CVaskPort::TxOff() {
    return ClearRequestToSend();
}

int CVaskPort::RxOn() {
    m_bRxOn = 1;
    return SetDTR();
}

int CVaskPort::RxOff() {
    m_bRxOn = 0;
    return ClearDTR();
}

unsigned short CVaskPort::ManchesterEncode(unsigned char byte) {
    unsigned int word = 0;
    for (int bit = 7; bit >= 0; --bit) {
        word = (word << 2) + (((byte >> bit) & 1) ? 2u : 1u);
    }
    return static_cast<unsigned short>(word);
}

unsigned char CVaskPort::ManchesterDecode(unsigned short word) {
    unsigned int result = 0;
    for (int shift = 14; shift >= 0; shift -= 2) {
        // Pairs not yet taken that are all 00 carry no more bits.
        if ((word & ((1u << (shift + 2)) - 1)) == 0) {
            break;
        }
        result = (result << 1) | (((word >> shift) & 3u) == 2u ? 1u : 0u);
    }
    return static_cast<unsigned char>(result);
}

void CVaskPort::RandomDelay() {
    int value = g_pRandom();
    if ((value & 0xFF) < 3) {
        value = 3;
    } else {
        value = g_pRandom();
    }
    unsigned long ms = static_cast<unsigned long>(value & 0x0F);
    Delay(ms ? ms : 1);
}

bool CVaskPort::ReadModemStatus(unsigned long& status) {
    status = 0;
    return lintaro::GetCommModemStatus(m_hPort, &status) != 0;
}

int CVaskPort::TestCarrierDetect2(int waitForLine) {
    if (!waitForLine) {
        Delay(1);
        return TxOn() ? 1 : 0;
    }
    unsigned long status = 0;
    for (int returns = 0;;) {
        // A medium we cannot sense is not a free one.
        if (!ReadModemStatus(status)) {
            return 0;
        }
        for (int left = kCarrierPolls; status & lintaro::MS_CTS_ON; --left) {
            if (left == 0) {
                return 0;
            }
            lintaro::Sleep(kBusyPollMs);
            if (!ReadModemStatus(status)) {
                return 0;
            }
        }
        RandomDelay();
        if (!ReadModemStatus(status)) {
            return 0;
        }
        if (!(status & lintaro::MS_CTS_ON)) {
            return TxOn() ? 1 : 0;
        }
        // Another station started during the back-off.
        if (++returns == kCarrierReturns) {
            return 0;
        }
        lintaro::Sleep(kCollisionMs);
    }
}

int CVaskPort::WaitForTxEmpty() {
    if (!m_bIntelligentWait) {
        Delay(kTxEmptyFallbackMs);
        return 1;
    }
    int left = kTxEmptyPolls;
    bool sawIdle = false;
    unsigned long status = 0;
    for (;;) {
        if (!ReadModemStatus(status)) {
            return 0;
        }
        if (!(status & lintaro::MS_DSR_ON)) {
            // Two idle polls in a row, so a gap between bytes is not taken for the end.
            if (sawIdle) {
                return 1;
            }
            sawIdle = true;
            Delay(1);
            continue;
        }
        sawIdle = false;
        lintaro::Sleep(1);
        if (--left == 0) {
            return 0;
        }
    }
}

int CVaskPort::TestForIntelligentWaitCapability() {
    unsigned long before = 0;
    unsigned long during = 0;
    RxOn();
    bool ok = ReadModemStatus(before);
    SetBreak();
    ok = ReadModemStatus(during) && ok;
    ClearBreak();
    RxOff();
    // Only a module that watches its transmitter answers a break on its status lines.
    m_bIntelligentWait = ok && before != during ? 1 : 0;
    return m_bIntelligentWait;
}
