#include "serial/Rfc2217SerialDevice.h"

#include <algorithm>
#include <cerrno>

using namespace lintaro;

namespace {

using Telnet = CTelnetCodec;

// SET-CONTROL values.
constexpr unsigned char kNoFlowControl = 1;
constexpr unsigned char kXonXoffFlowControl = 2;
constexpr unsigned char kHardwareFlowControl = 3;
constexpr unsigned char kBreakOn = 5;
constexpr unsigned char kBreakOff = 6;
constexpr unsigned char kDtrOn = 8;
constexpr unsigned char kDtrOff = 9;
constexpr unsigned char kRtsOn = 11;
constexpr unsigned char kRtsOff = 12;

// PURGE-DATA values: the server's buffer of what its port received, of what it is to send.
constexpr unsigned char kPurgeReceived = 1;
constexpr unsigned char kPurgeToSend = 2;

// The modem-state bits CTS, DSR, RI and CD sit where the platform's status bits do.
constexpr unsigned char kModemLines = 0xF0;

} // namespace

CRfc2217SerialDevice::CRfc2217SerialDevice(int fd)
    : CTcpSerialDevice(fd), m_codec({Telnet::OPT_BINARY, Telnet::OPT_SGA, Telnet::OPT_COM_PORT},
                                    {Telnet::OPT_BINARY, Telnet::OPT_SGA}) {}

std::unique_ptr<CSerialDevice> CRfc2217SerialDevice::Open(const CNetAddress& address) {
    const int fd = address.Connect(kConnectTimeoutMs);
    if (fd < 0) {
        return nullptr;
    }
    std::unique_ptr<CRfc2217SerialDevice> device(new CRfc2217SerialDevice(fd));
    if (!device->Agree()) {
        // However a closed connection showed (an answer that could not be sent, or the end
        // of the stream), the server has closed it.
        int e = errno;
        if (device->IsLost() && (device->LostReason() == EPIPE || e == ENOTCONN)) {
            e = ECONNRESET;
        }
        device.reset();
        errno = e;
        return nullptr;
    }
    return device;
}

bool CRfc2217SerialDevice::Agree() {
    m_codec.ResetBudget();
    // Binary both ways, so that no byte of the line is taken for a Telnet line ending.
    m_codec.RequestLocal(Telnet::OPT_COM_PORT);
    m_codec.RequestLocal(Telnet::OPT_BINARY);
    m_codec.RequestRemote(Telnet::OPT_BINARY);
    m_codec.RequestLocal(Telnet::OPT_SGA);
    m_codec.RequestRemote(Telnet::OPT_SGA);
    const std::vector<unsigned char> requests = m_codec.TakeOutbox();
    if (!SendAll(requests.data(), requests.size())) {
        return false;
    }
    if (!WaitFor(
            [this] { return m_codec.Local(Telnet::OPT_COM_PORT) != CTelnetCodec::State::wantYes; },
            kAgreeTimeoutMs, static_cast<int>(ERROR_COM_CONTROL_SILENT))) {
        return false;
    }
    if (m_codec.Local(Telnet::OPT_COM_PORT) != CTelnetCodec::State::yes) {
        errno = static_cast<int>(ERROR_NO_COM_CONTROL);
        return false;
    }
    return true;
}

bool CRfc2217SerialDevice::WaitFor(const std::function<bool()>& done, int timeoutMs,
                                   int timeoutError) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (RemainingMs(deadline) == 0) {
            errno = timeoutError;
            return false;
        }
        if (IsFull()) {
            // The answer is behind more line data than the port holds.
            errno = static_cast<int>(ERROR_RECEIVE_OVERRUN);
            return false;
        }
        if (Receive(deadline) < 0) {
            return false;
        }
    }
    return true;
}

bool CRfc2217SerialDevice::SendCommand(ComCode code, const std::vector<unsigned char>& value) {
    std::vector<unsigned char> payload(value.size() + 1);
    payload[0] = code;
    std::copy(value.begin(), value.end(), payload.begin() + 1);
    const std::vector<unsigned char> wire = Telnet::Subnegotiation(Telnet::OPT_COM_PORT, payload);
    return SendAll(wire.data(), wire.size());
}

void CRfc2217SerialDevice::Absorb(const unsigned char* bytes, std::size_t count) {
    m_codec.Feed(bytes, count, m_data);
    switch (m_codec.GetFault()) {
    case CTelnetCodec::Fault::none:
        break;
    case CTelnetCodec::Fault::longSubnegotiation:
        Lose(static_cast<int>(ERROR_LONG_SUBNEGOTIATION));
        return;
    case CTelnetCodec::Fault::negotiationStorm:
        Lose(static_cast<int>(ERROR_NEGOTIATION_STORM));
        return;
    }
    const std::vector<unsigned char> answers = m_codec.TakeOutbox();
    if (!answers.empty()) {
        SendAll(answers.data(), answers.size());
    }
    for (const CTelnetCodec::CSubnegotiation& sub : m_codec.TakeSubnegotiations()) {
        if (sub.nOption == Telnet::OPT_COM_PORT && !sub.payload.empty()) {
            OnComPort(sub.payload);
        }
    }
}

void CRfc2217SerialDevice::OnComPort(const std::vector<unsigned char>& payload) {
    const unsigned code = payload[0];
    if (code >= kServerOffset + SET_BAUDRATE && code <= kServerOffset + SET_STOPSIZE &&
        payload.size() >= 2) {
        const unsigned index = code - kServerOffset - SET_BAUDRATE;
        std::uint32_t value = 0;
        const std::size_t width = index == 0 ? 4 : 1;
        for (std::size_t i = 1; i <= width && i < payload.size(); ++i) {
            value = value << 8 | payload[i];
        }
        m_answer[index] = value;
        ++m_nAnswers[index];
    } else if (code == kServerOffset + NOTIFY_MODEMSTATE && payload.size() >= 2) {
        m_nModemState = payload[1];
        m_bModemKnown = true;
        ++m_nModemNotices;
    } else if (code == kServerOffset + FLOWCONTROL_SUSPEND || code == FLOWCONTROL_SUSPEND) {
        // The server can take no more for now: our line data waits until it resumes.
        Hold(heldByServer, true);
    } else if (code == kServerOffset + FLOWCONTROL_RESUME || code == FLOWCONTROL_RESUME) {
        Hold(heldByServer, false);
    }
    // Line-state notices, control answers and the signature carry nothing that the port
    // classes ask for.
}

void CRfc2217SerialDevice::Encode(const unsigned char* data, std::size_t count,
                                  std::vector<unsigned char>& out) {
    m_codec.Encode(data, count, out);
}

std::size_t CRfc2217SerialDevice::Carried(const unsigned char* data, std::size_t count,
                                          std::size_t sent) const {
    std::size_t used = 0;
    std::size_t n = 0;
    for (; n < count; ++n) {
        const std::size_t width = m_codec.Width(data[n]);
        if (used + width > sent) {
            break;
        }
        used += width;
    }
    return n;
}

bool CRfc2217SerialDevice::SetState(const DCB& dcb) {
    if (!CTcpSerialDevice::SetState(dcb)) {
        return false;
    }
    m_codec.ResetBudget();
    static const unsigned char kStopSizes[] = {1, 3, 2}; // one, one and a half, two
    const std::uint32_t wanted[4] = {dcb.BaudRate, dcb.ByteSize,
                                     static_cast<std::uint32_t>(dcb.Parity + 1),
                                     kStopSizes[dcb.StopBits]};
    const std::uint32_t baud = dcb.BaudRate;
    const std::vector<unsigned char> values[4] = {
        {static_cast<unsigned char>(baud >> 24), static_cast<unsigned char>(baud >> 16),
         static_cast<unsigned char>(baud >> 8), static_cast<unsigned char>(baud)},
        {static_cast<unsigned char>(wanted[1])},
        {static_cast<unsigned char>(wanted[2])},
        {static_cast<unsigned char>(wanted[3])},
    };
    unsigned before[4];
    for (int i = 0; i < 4; ++i) {
        before[i] = m_nAnswers[i];
        if (!SendCommand(static_cast<ComCode>(SET_BAUDRATE + i), values[i])) {
            return false;
        }
    }
    auto answered = [&] {
        for (int i = 0; i < 4; ++i) {
            if (m_nAnswers[i] == before[i]) {
                return false;
            }
        }
        return true;
    };
    if (!WaitFor(answered, kAnswerTimeoutMs, static_cast<int>(ERROR_COM_CONTROL_SILENT))) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        if (m_answer[i] != wanted[i]) {
            errno = static_cast<int>(ERROR_LINE_SETTINGS);
            return false;
        }
    }
    const unsigned char flow = dcb.fOutxCtsFlow ? kHardwareFlowControl
                               : dcb.fOutX      ? kXonXoffFlowControl
                                                : kNoFlowControl;
    if (!SendControl(flow)) {
        return false;
    }
    // As on a local port, a line's control mode acts only when it changes: the first block
    // after opening drops (or raises) DTR and RTS, later ones leave them where they are.
    if (dcb.fDtrControl != m_nDtrControl && dcb.fDtrControl <= 1 &&
        !SendControl(dcb.fDtrControl ? kDtrOn : kDtrOff)) {
        return false;
    }
    if (dcb.fRtsControl != m_nRtsControl && dcb.fRtsControl <= 1 &&
        !SendControl(dcb.fRtsControl ? kRtsOn : kRtsOff)) {
        return false;
    }
    m_nDtrControl = dcb.fDtrControl;
    m_nRtsControl = dcb.fRtsControl;
    return true;
}

bool CRfc2217SerialDevice::Purge(unsigned long flags) {
    if (!CheckConnected()) {
        return false;
    }
    const unsigned char which =
        static_cast<unsigned char>(((flags & PURGE_RXCLEAR) ? kPurgeReceived : 0) |
                                   ((flags & PURGE_TXCLEAR) ? kPurgeToSend : 0));
    if (which != 0 && !SendCommand(PURGE_DATA, {which})) {
        return false;
    }
    return CTcpSerialDevice::Purge(flags);
}

bool CRfc2217SerialDevice::Escape(unsigned long function) {
    if (!CheckConnected()) {
        return false;
    }
    switch (function) {
    case SETRTS:
        return SendControl(kRtsOn);
    case CLRRTS:
        return SendControl(kRtsOff);
    case SETDTR:
        return SendControl(kDtrOn);
    case CLRDTR:
        return SendControl(kDtrOff);
    case SETBREAK:
        return SendControl(kBreakOn);
    case CLRBREAK:
        return SendControl(kBreakOff);
    case SETXOFF:
    case SETXON:
        // As on a terminal, they hold and release our own transmission; the server's port is
        // not asked to stop sending.
        return CTcpSerialDevice::Escape(function);
    default:
        errno = EINVAL;
        return false;
    }
}

bool CRfc2217SerialDevice::GetModemStatus(unsigned long& status) {
    if (!CheckConnected()) {
        return false;
    }
    if (!m_bModemSilent) {
        m_codec.ResetBudget();
        const unsigned before = m_nModemNotices;
        if (!SendCommand(SET_MODEMSTATE_MASK, {0xFF})) {
            return false;
        }
        if (!WaitFor([&] { return m_nModemNotices != before; }, kModemAnswerMs, ETIMEDOUT)) {
            if (IsLost() || errno != ETIMEDOUT) {
                return false;
            }
            m_bModemSilent = true;
        }
    }
    if (!m_bModemKnown) {
        errno = ETIMEDOUT;
        return false;
    }
    status = m_nModemState & kModemLines;
    return true;
}
