// Network ports: names, the Telnet layer, and both devices against servers on loopback.

#include "base/Tick.h"
#include "serial/NetAddress.h"
#include "serial/Rfc2217SerialDevice.h"
#include "serial/SerialPort.h"
#include "serial/TelnetCodec.h"
#include "tests/serial/LoopbackListener.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<unsigned char>;
using Telnet = CTelnetCodec;

long MsSince(Clock::time_point t) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

// A Telnet device server for one client on its own thread: it agrees the options it is made
// for, confirms the line settings, reports the modem lines CTS and DSR, echoes the line's data
// and keeps the COM-port commands and the data it got. It opens with Telnet garbage.
class CComServer {
public:
    enum Mode { normal, refuses, silent };

    explicit CComServer(Mode mode) : m_mode(mode) {
        m_thread = std::thread([this] { Serve(); });
    }
    ~CComServer() {
        m_bStop = true;
        m_thread.join();
    }
    std::string Url() const { return m_listener.Url("rfc2217"); }
    std::vector<Bytes> Commands() {
        std::lock_guard lock(m_mutex);
        return m_commands;
    }
    Bytes Data() {
        std::lock_guard lock(m_mutex);
        return m_data;
    }
    // Sends bytes of the test's own to the client.
    void Push(const Bytes& bytes) {
        std::lock_guard lock(m_mutex);
        m_push.insert(m_push.end(), bytes.begin(), bytes.end());
    }
    // Sends the block over and over from now on, as fast as the client takes it.
    void Flood(const Bytes& block) {
        std::lock_guard lock(m_mutex);
        m_flood = block;
    }
    // Waits until the server has got a command with this code.
    bool WaitForCommand(unsigned char code) {
        const auto start = Clock::now();
        while (MsSince(start) < 5000) {
            for (const Bytes& c : Commands()) {
                if (c.at(0) == code) {
                    return true;
                }
            }
            std::this_thread::yield();
        }
        return false;
    }

private:
    void Send(int fd, const Bytes& bytes) {
        if (m_mode != silent && !bytes.empty()) {
            ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        }
    }
    void Serve() {
        const int fd = m_listener.Accept();
        if (fd < 0) {
            return;
        }
        CTelnetCodec codec({Telnet::OPT_BINARY, Telnet::OPT_SGA},
                           m_mode == refuses ? Bytes{Telnet::OPT_BINARY, Telnet::OPT_SGA}
                                             : Bytes{Telnet::OPT_BINARY, Telnet::OPT_COM_PORT});
        // An IAC before no command, a subnegotiation of an unknown option, an unknown option.
        Send(fd, {Telnet::IAC, 0x05, Telnet::IAC, Telnet::SB, 99, 1, 2, Telnet::IAC, Telnet::SE,
                  Telnet::IAC, Telnet::WILL, 200});
        const auto start = Clock::now();
        while (!m_bStop && MsSince(start) < 10000) {
            Bytes push;
            Bytes flood;
            {
                std::lock_guard lock(m_mutex);
                push.swap(m_push);
                flood = m_flood;
            }
            Send(fd, push);
            Send(fd, flood);
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, flood.empty() ? 20 : 0) != 1) {
                continue;
            }
            unsigned char chunk[512];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                break;
            }
            std::deque<unsigned char> data;
            codec.Feed(chunk, static_cast<std::size_t>(n), data);
            Bytes out = codec.TakeOutbox();
            {
                // What the test pushed goes before the answers to what came after it.
                std::lock_guard lock(m_mutex);
                out.insert(out.begin(), m_push.begin(), m_push.end());
                m_push.clear();
            }
            Bytes echo;
            Telnet::EscapeData(Bytes(data.begin(), data.end()).data(), data.size(), echo);
            out.insert(out.end(), echo.begin(), echo.end());
            std::lock_guard lock(m_mutex);
            m_data.insert(m_data.end(), data.begin(), data.end());
            for (const auto& sub : codec.TakeSubnegotiations()) {
                m_commands.push_back(sub.payload);
                const unsigned char code = sub.payload.at(0);
                if (code >= 1 && code <= 4) {
                    Bytes answer = sub.payload;
                    answer[0] = static_cast<unsigned char>(code + 100);
                    const Bytes wire = Telnet::Subnegotiation(Telnet::OPT_COM_PORT, answer);
                    out.insert(out.end(), wire.begin(), wire.end());
                } else if (code == CRfc2217SerialDevice::SET_MODEMSTATE_MASK) {
                    const Bytes wire = Telnet::Subnegotiation(Telnet::OPT_COM_PORT, {107, 0x30});
                    out.insert(out.end(), wire.begin(), wire.end());
                }
            }
            Send(fd, out);
        }
        ::close(fd);
    }

    Mode m_mode;
    CLoopbackListener m_listener;
    std::atomic<bool> m_bStop{false};
    std::mutex m_mutex;
    std::vector<Bytes> m_commands;
    Bytes m_data;
    Bytes m_push;
    Bytes m_flood;
    std::thread m_thread;
};

TEST(NetAddress, ReadsBothSchemesAndRefusesWhatIsNotHostAndPort) {
    CNetAddress a;
    ASSERT_TRUE(CNetAddress::Parse("socket://plc-7.example:4001", a));
    EXPECT_EQ(a.m_nKind, CNetAddress::raw);
    EXPECT_EQ(a.m_strHost, "plc-7.example");
    EXPECT_EQ(a.m_nPort, 4001u);
    ASSERT_TRUE(CNetAddress::Parse("RFC2217://[fd00::7]:2217/", a));
    EXPECT_EQ(a.m_nKind, CNetAddress::rfc2217);
    EXPECT_EQ(a.m_strHost, "fd00::7");
    EXPECT_EQ(a.GetUrl(), "rfc2217://[fd00::7]:2217");
    for (const char* bad : {"socket://host", "socket://:4001", "socket://host:0",
                            "socket://host:65536", "socket://fd00::7:2217", "socket://[1.2.3.4]:9",
                            "rfc2217://host:12a", "socket://ho st:1", "telnet://host:23"}) {
        EXPECT_FALSE(CNetAddress::Parse(bad, a)) << bad;
    }
    EXPECT_TRUE(CNetAddress::IsNetName("Socket://whatever"));
    EXPECT_FALSE(CNetAddress::IsNetName("/dev/ttyUSB0"));

    std::string host = "127.0.0.1";
    unsigned port = 9;
    EXPECT_TRUE(CNetAddress::ParseHostPort("0", true, true, host, port));
    EXPECT_EQ(CNetAddress::JoinHostPort(host, port), "127.0.0.1:0");
    EXPECT_FALSE(CNetAddress::ParseHostPort("0", false, true, host, port));
}

TEST(NetAddress, OpenFailuresSayWhyWithinTheConnectTimeout) {
    CLoopbackListener closed;
    const std::string refused = closed.Url("socket");
    closed.Close();
    const std::pair<std::string, std::vector<unsigned long>> cases[] = {
        {refused, {ECONNREFUSED}},
        {"socket://no-such-host.invalid:4001",
         {lintaro::ERROR_HOST_NOT_FOUND, lintaro::ERROR_HOST_LOOKUP}},
        {"rfc2217://host-without-port", {lintaro::ERROR_BAD_PORT_URL}},
    };
    for (const auto& [name, reasons] : cases) {
        CSerialPort port(name.c_str(), 57600, 0, 0);
        const auto start = Clock::now();
        EXPECT_EQ(port.SetCommPort(), 0) << name;
        EXPECT_LT(MsSince(start), CTcpSerialDevice::kConnectTimeoutMs + 1000) << name;
        EXPECT_NE(std::find(reasons.begin(), reasons.end(), port.GetOpenError()), reasons.end())
            << name << ": " << lintaro::DescribeOpenError(port.GetOpenError());
    }
    EXPECT_EQ(lintaro::DescribeOpenError(lintaro::ERROR_HOST_NOT_FOUND), "unknown host");
}

TEST(TelnetCodec, SeparatesDataFromCommandsAndNegotiatesWithoutLooping) {
    CTelnetCodec codec({Telnet::OPT_BINARY, Telnet::OPT_COM_PORT}, {Telnet::OPT_BINARY});
    codec.RequestLocal(Telnet::OPT_COM_PORT);
    EXPECT_EQ(codec.TakeOutbox(), (Bytes{Telnet::IAC, Telnet::WILL, Telnet::OPT_COM_PORT}));
    const Bytes stream = {'a',         Telnet::IAC,  Telnet::IAC,
                          'b',                                             // escaped 0xFF
                          Telnet::IAC, Telnet::DO,   Telnet::OPT_COM_PORT, // the answer: no reply
                          Telnet::IAC, Telnet::WILL, Telnet::OPT_ECHO,     // refused
                          Telnet::IAC, Telnet::WILL, Telnet::OPT_BINARY,   // agreed
                          Telnet::IAC, Telnet::WILL, Telnet::OPT_BINARY, // agreed already: no reply
                          Telnet::IAC, Telnet::DO,   77,                 // refused
                          Telnet::IAC, 0x07,         'c',                // no command: dropped
                          Telnet::IAC, Telnet::SB,   44,
                          107,         Telnet::IAC,  Telnet::IAC,
                          Telnet::IAC, Telnet::SE,   Telnet::IAC,
                          Telnet::SB,  44,           1,
                          Telnet::IAC, Telnet::DONT, Telnet::OPT_BINARY, // cut off
                          'd'};
    std::deque<unsigned char> data;
    // In two pieces, split inside an IAC sequence.
    codec.Feed(stream.data(), 2, data);
    codec.Feed(stream.data() + 2, stream.size() - 2, data);
    EXPECT_EQ(Bytes(data.begin(), data.end()), (Bytes{'a', 0xFF, 'b', 'c', 'd'}));
    EXPECT_EQ(codec.Local(Telnet::OPT_COM_PORT), CTelnetCodec::State::yes);
    EXPECT_EQ(codec.Remote(Telnet::OPT_BINARY), CTelnetCodec::State::yes);
    EXPECT_EQ(codec.TakeOutbox(),
              (Bytes{Telnet::IAC, Telnet::DONT, Telnet::OPT_ECHO, Telnet::IAC, Telnet::DO,
                     Telnet::OPT_BINARY, Telnet::IAC, Telnet::WONT, 77}));
    const auto subs = codec.TakeSubnegotiations();
    ASSERT_EQ(subs.size(), 1u);
    EXPECT_EQ(subs[0].nOption, 44);
    EXPECT_EQ(subs[0].payload, (Bytes{107, 0xFF}));
}

TEST(TelnetCodec, WithoutBinaryACarriageReturnTravelsAsTheVirtualTerminalsCrNul) {
    CTelnetCodec codec({Telnet::OPT_BINARY}, {Telnet::OPT_BINARY});
    codec.RequestLocal(Telnet::OPT_BINARY);
    codec.RequestRemote(Telnet::OPT_BINARY);
    const Bytes refused = {Telnet::IAC, Telnet::DONT, Telnet::OPT_BINARY,
                           Telnet::IAC, Telnet::WONT, Telnet::OPT_BINARY,
                           'a',         '\r',         0,
                           '\r',        '\n',         0};
    std::deque<unsigned char> data;
    codec.Feed(refused.data(), refused.size(), data);
    EXPECT_EQ(Bytes(data.begin(), data.end()), (Bytes{'a', '\r', '\r', '\n', 0}));
    const Bytes line = {'\r', 0xFF, 'b'};
    Bytes wire;
    codec.Encode(line.data(), line.size(), wire);
    EXPECT_EQ(wire, (Bytes{'\r', 0, 0xFF, 0xFF, 'b'}));

    // Once the server's side is binary, a NUL after a CR is data.
    const Bytes agreed = {Telnet::IAC, Telnet::WILL, Telnet::OPT_BINARY, '\r', 0};
    data.clear();
    codec.Feed(agreed.data(), agreed.size(), data);
    EXPECT_EQ(Bytes(data.begin(), data.end()), (Bytes{'\r', 0}));
}

TEST(TelnetCodec, WhatNoServerNeedsIsAFaultThatEndsTheReading) {
    // A subnegotiation of escaped bytes that never ends: the limit counts them too.
    CTelnetCodec longSub({}, {});
    Bytes endless = {'a', Telnet::IAC, Telnet::SB, 44};
    for (std::size_t i = 0; i <= CTelnetCodec::kMaxSubnegotiation; ++i) {
        endless.insert(endless.end(), {Telnet::IAC, Telnet::IAC});
    }
    endless.push_back('b');
    std::deque<unsigned char> data;
    longSub.Feed(endless.data(), endless.size(), data);
    EXPECT_EQ(longSub.GetFault(), CTelnetCodec::Fault::longSubnegotiation);
    EXPECT_EQ(Bytes(data.begin(), data.end()), Bytes{'a'});
    EXPECT_TRUE(longSub.TakeSubnegotiations().empty());

    // Option negotiation beyond the budget; a new budget (a new read) starts the count again.
    CTelnetCodec storm({}, {});
    const Bytes offer = {Telnet::IAC, Telnet::WILL, 200};
    for (unsigned i = 0; i < CTelnetCodec::kNegotiationBudget; ++i) {
        storm.Feed(offer.data(), offer.size(), data);
    }
    storm.ResetBudget();
    for (unsigned i = 0; i < CTelnetCodec::kNegotiationBudget; ++i) {
        storm.Feed(offer.data(), offer.size(), data);
    }
    EXPECT_EQ(storm.GetFault(), CTelnetCodec::Fault::none);
    EXPECT_EQ(storm.TakeOutbox().size(), 2 * 3 * CTelnetCodec::kNegotiationBudget);
    storm.Feed(offer.data(), offer.size(), data);
    EXPECT_EQ(storm.GetFault(), CTelnetCodec::Fault::negotiationStorm);
    EXPECT_TRUE(storm.TakeOutbox().empty());
}

TEST(TcpDevice, ReadsUnderOneDeadlineAndADroppedServerIsALostLine) {
    CLoopbackListener listener;
    CSerialPort port(listener.Url("socket").c_str(), 57600, 0, 0);
    ASSERT_EQ(port.SetCommPort(), 1) << lintaro::DescribeOpenError(port.GetOpenError());
    const int server = listener.Accept();
    ASSERT_GE(server, 0);

    unsigned char out[4] = {0xFF, 0x0D, 0x0A, 0x00};
    ASSERT_EQ(port.WriteFrame(out, 4), 1);
    unsigned char got[4] = {};
    ASSERT_EQ(::recv(server, got, 4, MSG_WAITALL), 4);
    EXPECT_EQ(Bytes(got, got + 4), Bytes(out, out + 4));

    port.SetRxTimeout(300);
    ASSERT_EQ(::send(server, "abc", 3, 0), 3);
    unsigned char in[8] = {};
    auto start = Clock::now();
    EXPECT_EQ(port.ReadFrame(in, 8, nullptr), 3u);
    EXPECT_GE(MsSince(start), 295);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(in), 3), "abc");

    // A purge drops what has arrived and not been read.
    ASSERT_EQ(::send(server, "AB", 2, 0), 2);
    EXPECT_EQ(port.ReadFrame(in, 1, nullptr), 1u);
    EXPECT_EQ(in[0], 'A');
    EXPECT_EQ(port.FlushComms(), 1);
    port.SetRxTimeout(50);
    EXPECT_EQ(port.ReadFrame(in, 1, nullptr), 0u);

    // The server goes: the read that finds it fails at once, later calls too, never SIGPIPE.
    ::close(server);
    port.SetRxTimeout(2000);
    start = Clock::now();
    EXPECT_EQ(port.ReadFrame(in, 8, nullptr), 0u);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(lintaro::GetLastError(), static_cast<unsigned long>(ECONNRESET));
    EXPECT_EQ(port.WriteFrame(out, 4), 0);
    EXPECT_EQ(lintaro::GetLastError(), static_cast<unsigned long>(ENOTCONN));
}

TEST(Rfc2217Device, AgreesTheOptionAndSendsSettingsControlsAndEscapedData) {
    CComServer server(CComServer::normal);
    CSerialPort port(server.Url().c_str(), 57600, lintaro::EVENPARITY, lintaro::TWOSTOPBITS);
    ASSERT_EQ(port.SetCommPort(), 1) << lintaro::DescribeOpenError(port.GetOpenError());

    unsigned char out[5] = {0xFF, 0x01, 0xFF, 0x0D, 0x00};
    ASSERT_EQ(port.WriteFrame(out, 5), 1);
    unsigned char in[5] = {};
    EXPECT_EQ(port.ReadFrame(in, 5, nullptr), 5u);
    EXPECT_EQ(Bytes(in, in + 5), Bytes(out, out + 5));
    EXPECT_EQ(port.FlushComms(), 1);
    EXPECT_EQ(port.SetDTR(), 1);
    EXPECT_EQ(port.SetBreak(), 1);
    unsigned long status = 0;
    EXPECT_EQ(lintaro::GetCommModemStatus(port.GetPortHandle(), &status), 1);
    EXPECT_EQ(status, lintaro::MS_CTS_ON | lintaro::MS_DSR_ON);

    // The modem-status answer comes after everything sent before it.
    EXPECT_EQ(server.Data(), Bytes(out, out + 5));
    const std::vector<Bytes> expected = {
        {1, 0x00, 0x00, 0xE1, 0x00}, // 57600 baud
        {2, 8},                      // data bits
        {3, 3},                      // even parity
        {4, 2},                      // two stop bits
        {5, 1},                      // no flow control
        {5, 9},                      // the control block drops DTR
        {5, 12},                     // and RTS
        {12, 3},                     // purge both buffers
        {5, 8},                      // DTR on
        {5, 5},                      // break on
        {11, 0xFF},                  // modem lines, please
    };
    EXPECT_EQ(server.Commands(), expected);
}

TEST(Rfc2217Device, ARefusedOrUnansweredOptionFailsTheOpenInTime) {
    {
        CComServer server(CComServer::refuses);
        CSerialPort port(server.Url().c_str(), 57600, 0, 0);
        EXPECT_EQ(port.SetCommPort(), 0);
        EXPECT_EQ(port.GetOpenError(), lintaro::ERROR_NO_COM_CONTROL);
    }
    CComServer server(CComServer::silent);
    CSerialPort port(server.Url().c_str(), 57600, 0, 0);
    const auto start = Clock::now();
    EXPECT_EQ(port.SetCommPort(), 0);
    EXPECT_EQ(port.GetOpenError(), lintaro::ERROR_COM_CONTROL_SILENT);
    EXPECT_GE(MsSince(start), CRfc2217SerialDevice::kAgreeTimeoutMs - 10);
    EXPECT_LT(MsSince(start), CRfc2217SerialDevice::kAgreeTimeoutMs + 1500);
}

} // namespace

namespace {

Bytes ComPort(std::initializer_list<unsigned char> payload) {
    return Telnet::Subnegotiation(Telnet::OPT_COM_PORT, payload);
}

// The server has the line data once it has a command sent after it; until then, not.
bool DataArrivesWith(CComServer& server, CSerialPort& port, const Bytes& data) {
    const std::size_t before = server.Commands().size();
    port.SetDTR();
    const auto start = Clock::now();
    while (server.Commands().size() == before && MsSince(start) < 5000) {
        std::this_thread::yield();
    }
    return server.Data() == data;
}

TEST(Rfc2217Device, XoffHoldsOurTransmissionAsOnATerminalAndSoDoesTheServersSuspend) {
    CComServer server(CComServer::normal);
    CSerialPort port(server.Url().c_str(), 57600, 0, 0);
    ASSERT_EQ(port.SetCommPort(), 1) << lintaro::DescribeOpenError(port.GetOpenError());
    const lintaro::HANDLE h = port.GetPortHandle();
    unsigned char a[2] = {'a', 0xFF};
    unsigned char b[1] = {'b'};

    // Our own XOFF: the write is taken and held, the server is asked for nothing.
    ASSERT_EQ(lintaro::EscapeCommFunction(h, lintaro::SETXOFF), 1);
    EXPECT_EQ(port.WriteFrame(a, 2), 1);
    EXPECT_TRUE(DataArrivesWith(server, port, {}));
    ASSERT_EQ(lintaro::EscapeCommFunction(h, lintaro::SETXON), 1);
    EXPECT_TRUE(DataArrivesWith(server, port, {'a', 0xFF}));
    for (const Bytes& c : server.Commands()) {
        EXPECT_NE(c.at(0), CRfc2217SerialDevice::FLOWCONTROL_SUSPEND);
    }

    // The server's suspend, taken in with the modem-status answer: held until it resumes.
    server.Push(ComPort({108}));
    unsigned long status = 0;
    ASSERT_EQ(lintaro::GetCommModemStatus(h, &status), 1);
    EXPECT_EQ(port.WriteFrame(b, 1), 1);
    EXPECT_TRUE(DataArrivesWith(server, port, {'a', 0xFF}));
    server.Push(ComPort({109}));
    ASSERT_EQ(lintaro::GetCommModemStatus(h, &status), 1);
    EXPECT_TRUE(DataArrivesWith(server, port, {'a', 0xFF, 'b'}));

    // A purge drops what is held, as a terminal's does.
    ASSERT_EQ(lintaro::EscapeCommFunction(h, lintaro::SETXOFF), 1);
    EXPECT_EQ(port.WriteFrame(b, 1), 1);
    EXPECT_EQ(port.FlushComms(), 1);
    ASSERT_EQ(lintaro::EscapeCommFunction(h, lintaro::SETXON), 1);
    EXPECT_TRUE(DataArrivesWith(server, port, {'a', 0xFF, 'b'}));
}

TEST(Rfc2217Device, TelnetCommandsWithoutPauseCannotStretchARead) {
    CComServer server(CComServer::normal);
    CSerialPort port(server.Url().c_str(), 57600, 0, 0);
    ASSERT_EQ(port.SetCommPort(), 1) << lintaro::DescribeOpenError(port.GetOpenError());
    Bytes nops;
    for (int i = 0; i < 4096; ++i) {
        nops.insert(nops.end(), {Telnet::IAC, 241});
    }
    server.Flood(nops);
    port.SetRxTimeout(300);
    unsigned char in[4] = {};
    const auto start = Clock::now();
    EXPECT_EQ(port.ReadFrame(in, 4, nullptr), 0u);
    EXPECT_GE(MsSince(start), 295);
    EXPECT_LT(MsSince(start), 1500);
    EXPECT_FALSE(port.IsLineLost());
}

TEST(Rfc2217Device, AServerBreakingTheProtocolMidwayLosesTheLineWithTheReason) {
    CComServer server(CComServer::normal);
    CSerialPort port(server.Url().c_str(), 57600, 0, 0);
    ASSERT_EQ(port.SetCommPort(), 1) << lintaro::DescribeOpenError(port.GetOpenError());
    Bytes endless = {'x', Telnet::IAC, Telnet::SB, Telnet::OPT_COM_PORT};
    for (int i = 0; i < 4000; ++i) {
        endless.insert(endless.end(), {Telnet::IAC, Telnet::IAC});
    }
    server.Push(endless);
    port.SetRxTimeout(3000);
    unsigned char in[4] = {};
    const auto start = Clock::now();
    EXPECT_EQ(port.ReadFrame(in, 4, nullptr), 1u);
    EXPECT_EQ(in[0], 'x');
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_EQ(port.ReadFrame(in, 4, nullptr), 0u);
    EXPECT_TRUE(port.IsLineLost());
    EXPECT_EQ(port.GetLineLostReason(), lintaro::ERROR_LONG_SUBNEGOTIATION);
    EXPECT_EQ(lintaro::DescribeOpenError(port.GetLineLostReason()),
              "the device server sent an overlong Telnet subnegotiation");
}

} // namespace
