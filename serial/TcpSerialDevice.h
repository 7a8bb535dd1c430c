#pragma once

#include "serial/NetAddress.h"
#include "serial/SerialDevice.h"

#include <chrono>
#include <deque>
#include <memory>
#include <vector>

// A serial line behind a device server, over raw TCP (socket://): the line's bytes travel
// unchanged both ways. Reads keep the terminal device's rules (one total deadline on the steady
// clock, interval limits, EINTR retried). The server owns the port's line settings and modem
// lines, so they are accepted and left alone, and the modem status reads all lines low.
//
// A connection that drops fails the call that finds it with ECONNRESET (reading) or EPIPE
// (writing), and every later call with ENOTCONN, as a vanished device fails with EIO.
//
// What the server sends is bounded: at most kReceiveLimit bytes of line data wait to be read
// (beyond that the server waits, as TCP makes it), and every read ends at its deadline however
// fast bytes come. SETXOFF holds our transmission as a terminal's tcflow does: writes are
// queued (up to kSendQueueLimit, then a write waits kWriteStallMs and fails) until SETXON.
class LINTARO_API CTcpSerialDevice : public CSerialDevice {
public:
    // Null with errno set (see CNetAddress::Connect) when the server cannot be reached.
    static std::unique_ptr<CSerialDevice> Open(const CNetAddress& address);
    ~CTcpSerialDevice() override;

    bool SetState(const lintaro::DCB& dcb) override;
    bool GetTimeouts(lintaro::COMMTIMEOUTS& t) override;
    bool SetTimeouts(const lintaro::COMMTIMEOUTS& t) override;
    long Read(unsigned char* buffer, std::size_t count) override;
    long Write(const unsigned char* data, std::size_t count) override;
    bool Purge(unsigned long flags) override;
    bool Escape(unsigned long function) override;
    bool GetModemStatus(unsigned long& status) override;

    bool IsLost() const override { return m_bLost; }
    int LostReason() const override { return m_bLost ? m_nLostError : 0; }

    static constexpr int kConnectTimeoutMs = 3000;
    // Line data received and not yet read, at most.
    static constexpr std::size_t kReceiveLimit = 4096;
    // Line data held back while transmission is suspended, at most.
    static constexpr std::size_t kSendQueueLimit = 4096;
    // A write that makes no progress for this long fails, as on the terminal device.
    static constexpr int kWriteStallMs = 5000;
    // Closing waits this long for the server to close its side, so that a server which takes
    // one client at a time has let the port go before the next open (the logger link reopens
    // its port for every command).
    static constexpr int kCloseWaitMs = 500;

protected:
    using Clock = std::chrono::steady_clock;

    explicit CTcpSerialDevice(int fd) : m_fd(fd) {}

    // Takes bytes as they came from the network; the raw device keeps them all as line data.
    virtual void Absorb(const unsigned char* bytes, std::size_t count);
    // The network bytes that carry count bytes of line data.
    virtual void Encode(const unsigned char* data, std::size_t count,
                        std::vector<unsigned char>& out);
    // How many bytes of line data the first 'sent' network bytes of their encoding carry.
    virtual std::size_t Carried(const unsigned char* data, std::size_t count,
                                std::size_t sent) const;

    // Takes in one piece of what the connection holds (no more than the line data's room),
    // waiting for something until the deadline when it holds nothing. The count of network
    // bytes taken: 0 at the deadline or with no room; -1 when the connection is gone (errno).
    long Receive(Clock::time_point deadline);
    bool IsFull() const { return m_data.size() >= kReceiveLimit; }
    // Called at the start of every read.
    virtual void StartRead() {}

    // Suspends or resumes our transmission for one of two holders (the caller's XOFF, the
    // server's flow control); resuming sends what was held once neither holds it.
    enum Holder : unsigned { heldLocally = 1, heldByServer = 2 };
    bool Hold(Holder holder, bool bHold);
    // Sends every byte, waiting while the connection is full; false when it fails or stalls
    // (the connection is then lost: a half-sent stream cannot be trusted).
    bool SendAll(const unsigned char* bytes, std::size_t count, std::size_t* pSent = nullptr);
    // Marks the connection lost; errno then tells this call why. Returns false.
    bool Lose(int error);
    // False with errno ENOTCONN once the connection is lost.
    bool CheckConnected();

    static int RemainingMs(Clock::time_point deadline);

    std::deque<unsigned char> m_data; // line data received and not yet read

private:
    std::size_t Take(unsigned char* buffer, std::size_t count);
    // Sends line data now; the count carried, as Write reports it.
    long Transmit(const unsigned char* data, std::size_t count);

    int m_fd;
    bool m_bLost = false;
    int m_nLostError = 0;
    unsigned m_nHolders = 0;
    std::vector<unsigned char> m_held; // line data written while transmission is suspended
    lintaro::COMMTIMEOUTS m_timeouts{};
};
