#include "devices/TarvikPort.h"

#include <cstring>

namespace {

constexpr unsigned char kPreamble[16] = {0xFF, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55,
                                         0x55, 0x55, 0x55, 0x55, 0x55, 0xFF, 0x01, 0x7F};
constexpr unsigned char kSync1 = 0x01;
constexpr unsigned char kSync2 = 0x7F;

// Shared by every logger port of the process: a header whose packet ID has not come yet is
// finished by the next call, whichever object makes it.
int g_nSyncState = 0;

unsigned char Checksum(unsigned int sum, unsigned char handshake) {
    return static_cast<unsigned char>((handshake & CTarvikPort::kHandshakeBit) | (sum & 0x7F));
}

void PutWord(unsigned char* out, unsigned short word) {
    out[0] = static_cast<unsigned char>(word & 0xFF);
    out[1] = static_cast<unsigned char>(word >> 8);
}

unsigned short GetWord(const unsigned char* in) {
    return static_cast<unsigned short>(in[0] | in[1] << 8);
}

} // namespace

int CTarvikPort::GetSyncState() {
    return g_nSyncState;
}

void CTarvikPort::SetSyncState(int state) {
    g_nSyncState = state < 0 || state > 2 ? 0 : state;
}

CTarvikPort::CTarvikPort(char const* port, unsigned long baud, unsigned char parity,
                         unsigned char stop)
    : CVaskPort(port, baud, parity, stop), m_byHandshake(0), m_byRxHandshake(0), m_bUsingVask(0),
      m_byPacketID(kDefaultPacketID) {}

CTarvikPort::~CTarvikPort() = default;

int CTarvikPort::SetCommPort() {
    if (!CSerialPort::SetCommPort()) {
        return 0;
    }
    RxOff();
    TxOff();
    return 1;
}

int CTarvikPort::WriteVaskData(const unsigned char* payload, int length, unsigned char handshake,
                               int waitForLine) {
    if (length < 0 || length > kMaxPayload || (payload == nullptr && length > 0)) {
        return 0;
    }
    RxOn();
    if (!TestCarrierDetect2(waitForLine)) {
        // Re-opening drops both lines, so the module does not keep a half-started frame.
        SetCommPort();
        return 0;
    }
    unsigned char words[2 * (kMaxPayload + 2)];
    unsigned int sum = m_byPacketID;
    PutWord(words, ManchesterEncode(static_cast<unsigned char>(length)));
    for (int i = 0; i < length; ++i) {
        sum += payload[i];
        PutWord(words + 2 * (i + 1), ManchesterEncode(payload[i]));
    }
    PutWord(words + 2 * (length + 1), ManchesterEncode(Checksum(sum, handshake)));

    // The module must not hear its own transmission.
    const bool restoreRx = m_bRxOn != 0;
    if (restoreRx) {
        RxOff();
    }
    FlushComms();
    Delay(waitForLine ? 1 : 10);

    unsigned char preamble[sizeof kPreamble];
    std::memcpy(preamble, kPreamble, sizeof preamble);
    unsigned char id = m_byPacketID;
    const bool written = WriteFrame(preamble, static_cast<int>(sizeof preamble)) &&
                         WriteFrame(&id, 1) && WriteFrame(words, 2 * (length + 2));
    if (written) {
        WaitForTxEmpty();
    }
    if (restoreRx) {
        RxOn();
    }
    TxOff();
    return written ? 1 : 0;
}

int CTarvikPort::ReadFrameHeader() {
    unsigned char byte = 0;
    for (int read = 0; g_nSyncState < 2 && read < kSyncSearchBytes; ++read) {
        if (ReadFrame(&byte, 1, nullptr) != 1) {
            break;
        }
        if (g_nSyncState == 0) {
            if (byte == kSync1) {
                g_nSyncState = 1;
            }
        } else {
            g_nSyncState = byte == kSync2 ? 2 : 0;
        }
    }
    if (g_nSyncState != 2) {
        return kNothing;
    }
    if (ReadFrame(&byte, 1, nullptr) != 1) {
        return kNothing;
    }
    if (byte != m_byPacketID) {
        FlushComms();
        g_nSyncState = 0;
        return kForeignFrame;
    }
    g_nSyncState = 0;
    unsigned char word[2];
    if (ReadFrame(word, 2, nullptr) != 2) {
        return kNothing;
    }
    return ManchesterDecode(GetWord(word));
}

int CTarvikPort::ReadVaskData(unsigned char* buffer, int length, unsigned char* received) {
    if (length < 0 || length > kMaxPayload || (buffer == nullptr && length > 0)) {
        return 0;
    }
    unsigned char words[2 * (kMaxPayload + 1)] = {};
    const unsigned long wanted = 2ul * static_cast<unsigned long>(length + 1);
    // A frame cut short would leave words undecoded; it fails as a whole.
    if (ReadFrame(words, wanted, nullptr) != wanted) {
        FlushComms();
        return 0;
    }
    unsigned int sum = m_byPacketID;
    for (int i = 0; i < length; ++i) {
        buffer[i] = ManchesterDecode(GetWord(words + 2 * i));
        sum += buffer[i];
    }
    const unsigned char checksum = ManchesterDecode(GetWord(words + 2 * length));
    m_byRxHandshake = checksum & kHandshakeBit;
    if (received) {
        *received = m_byRxHandshake;
    }
    if (((sum ^ checksum) & 0x7F) != 0) {
        FlushComms();
        return 0;
    }
    return 1;
}

int CTarvikPort::ReadOwnFrameHeader() {
    int header = ReadFrameHeader();
    for (int skips = 0; header == kForeignFrame && skips < kForeignFrameSkips; ++skips) {
        header = ReadFrameHeader();
    }
    return header;
}

int CTarvikPort::Accept(const unsigned char* reply, int length, unsigned char received,
                        unsigned char expected, unsigned short* value, int ignoreHandshake) const {
    if (length < 1 || reply[0] != expected) {
        return 0;
    }
    if (!ignoreHandshake && received != m_byHandshake) {
        return 0;
    }
    if (value) {
        if (length < 3) {
            return 0;
        }
        *value = static_cast<unsigned short>(reply[1] << 8 | reply[2]);
    }
    return 1;
}

int CTarvikPort::ExchangeVask(const unsigned char* request, int length, unsigned char* reply,
                              unsigned char* received, bool reopen, bool skipForeign) {
    if (reopen && !SetCommPort()) {
        return 0;
    }
    RxOn();
    if (!WriteVaskData(request, length, m_byHandshake, 1)) {
        return 0;
    }
    const int header = skipForeign ? ReadOwnFrameHeader() : ReadFrameHeader();
    if (header <= 0) {
        return header;
    }
    if (!ReadVaskData(reply, header, received)) {
        return kNothing;
    }
    return header;
}

int CTarvikPort::ExchangeRS232(const unsigned char* request, int length, unsigned char* reply,
                               unsigned char* received, bool reopen) {
    if (length < 0 || length > kMaxPayload) {
        return 0;
    }
    if (reopen && !CSerialPort::SetCommPort()) {
        return 0;
    }
    if (!WriteRS232Data(request, static_cast<unsigned char>(length), m_byHandshake)) {
        return 0;
    }
    const int header = ReadSerialFrameHeader();
    if (header <= 0) {
        return header;
    }
    if (!ReadSerialData(reply, header, received)) {
        return kNothing;
    }
    return header;
}

int CTarvikPort::SendVaskCommand(const unsigned char* request, int length, unsigned char reply,
                                 unsigned short* value, int ignoreHandshake) {
    unsigned char payload[kMaxPayload];
    unsigned char received = 0;
    const int n = ExchangeVask(request, length, payload, &received, true, true);
    const int accepted = n > 0 ? Accept(payload, n, received, reply, value, ignoreHandshake) : 0;
    RxOff();
    return accepted;
}

int CTarvikPort::WriteRS232Data(const unsigned char* payload, unsigned char length,
                                unsigned char handshake) {
    if (payload == nullptr && length > 0) {
        return 0;
    }
    unsigned char data[kMaxPayload];
    unsigned int sum = 0;
    for (unsigned i = 0; i < length; ++i) {
        data[i] = payload[i];
        sum += payload[i];
    }
    unsigned char start = kSerialStart;
    unsigned char count = length;
    unsigned char checksum = Checksum(sum, handshake);
    if (!WriteFrame(&start, 1) || !WriteFrame(&count, 1)) {
        return 0;
    }
    if (length > 0 && !WriteFrame(data, length)) {
        return 0;
    }
    return WriteFrame(&checksum, 1) ? 1 : 0;
}

int CTarvikPort::ReadSerialFrameHeader() {
    unsigned char byte = 0;
    // Bounded, so that a babbling line gives up like a silent one instead of holding the
    // caller for ever.
    for (int read = 0;; ++read) {
        if (read == kSyncSearchBytes) {
            return kNothing;
        }
        if (ReadFrame(&byte, 1, nullptr) != 1) {
            return kNothing;
        }
        if (byte == kSerialStart) {
            break;
        }
    }
    if (ReadFrame(&byte, 1, nullptr) != 1) {
        return kNothing;
    }
    return byte;
}

int CTarvikPort::ReadSerialData(unsigned char* buffer, int length, unsigned char* received) {
    if (length < 0 || length > kMaxPayload || (buffer == nullptr && length > 0)) {
        return 0;
    }
    // A frame cut short fails as a whole rather than leaving stale bytes in the buffer.
    if (length > 0 && ReadFrame(buffer, static_cast<unsigned long>(length), nullptr) !=
                          static_cast<unsigned long>(length)) {
        return 0;
    }
    unsigned int sum = 0;
    for (int i = 0; i < length; ++i) {
        sum += buffer[i];
    }
    unsigned char checksum = 0;
    if (ReadFrame(&checksum, 1, nullptr) != 1) {
        return 0;
    }
    if (((sum ^ checksum) & 0x7F) != 0) {
        return 0;
    }
    m_byRxHandshake = checksum & kHandshakeBit;
    if (received) {
        *received = m_byRxHandshake;
    }
    return 1;
}

int CTarvikPort::SendRS232Command(const unsigned char* request, int length, unsigned char reply,
                                  unsigned short* value, int ignoreHandshake) {
    unsigned char payload[kMaxPayload];
    unsigned char received = 0;
    const int n = ExchangeRS232(request, length, payload, &received, true);
    return n > 0 ? Accept(payload, n, received, reply, value, ignoreHandshake) : 0;
}

int CTarvikPort::SendCommand(const unsigned char* request, int length, unsigned char reply,
                             unsigned short* value, int ignoreHandshake) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        SetRxTimeout(m_bUsingVask ? kVaskRxTimeout : kSerialRxTimeout);
        const int ok = m_bUsingVask
                           ? SendVaskCommand(request, length, reply, value, ignoreHandshake)
                           : SendRS232Command(request, length, reply, value, ignoreHandshake);
        if (ok) {
            m_byHandshake ^= kHandshakeBit;
            return 1;
        }
    }
    return 0;
}
