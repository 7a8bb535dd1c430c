#pragma once

#include "serial/TcpSerialDevice.h"
#include "serial/TelnetCodec.h"

#include <functional>

// A serial line behind a device server that speaks Telnet with the COM-port control option of
// RFC 2217 (rfc2217://): the line settings, purges, modem lines and break go to the server's
// port as COM-port commands, and 0xFF is escaped both ways. Opening agrees the option with the
// server; the line settings wait for the server to confirm them. Purges and line controls are
// sent without waiting, in order with the data, so an exchange costs no extra round trip.
class LINTARO_API CRfc2217SerialDevice : public CTcpSerialDevice {
public:
    // Null with errno set: see CNetAddress::Connect, and ERROR_NO_COM_CONTROL when the server
    // refuses the option, ERROR_COM_CONTROL_SILENT when it does not answer in time, ECONNRESET
    // when it closes the connection instead (ser2net does so when its port is in use), and
    // ERROR_RECEIVE_OVERRUN, ERROR_LONG_SUBNEGOTIATION or ERROR_NEGOTIATION_STORM when it sends
    // what no serial line needs. Those last two, met later, make the device lost.
    static std::unique_ptr<CSerialDevice> Open(const CNetAddress& address);

    // Sends baud rate, data size, parity and stop size and waits for the server to confirm all
    // four (ERROR_COM_CONTROL_SILENT when it does not, ERROR_LINE_SETTINGS when it set other
    // values); then flow control and, where their modes change, DTR and RTS.
    bool SetState(const lintaro::DCB& dcb) override;
    bool Purge(unsigned long flags) override;
    bool Escape(unsigned long function) override;
    // The server's modem lines: asked afresh each time (ser2net answers a repeated
    // modem-state mask with the lines' state); a server that does not answer is asked no more
    // and its last notification stands.
    bool GetModemStatus(unsigned long& status) override;

    // How long the server may take to take up the option. A server that serves one client at
    // a time may accept the connection and start talking seconds later, once it has let the
    // previous client go (pyserial's example server takes up to three).
    static constexpr int kAgreeTimeoutMs = 5000;
    // How long the server may take to answer the line settings.
    static constexpr int kAnswerTimeoutMs = 2000;
    // How long a modem-status question waits for the answer.
    static constexpr int kModemAnswerMs = 500;

    // COM-port command codes (client to server; the server answers with the code + 100).
    enum ComCode : unsigned char {
        SIGNATURE = 0,
        SET_BAUDRATE = 1,
        SET_DATASIZE = 2,
        SET_PARITY = 3,
        SET_STOPSIZE = 4,
        SET_CONTROL = 5,
        NOTIFY_LINESTATE = 6,
        NOTIFY_MODEMSTATE = 7,
        FLOWCONTROL_SUSPEND = 8,
        FLOWCONTROL_RESUME = 9,
        SET_LINESTATE_MASK = 10,
        SET_MODEMSTATE_MASK = 11,
        PURGE_DATA = 12,
    };
    static constexpr unsigned char kServerOffset = 100;

protected:
    explicit CRfc2217SerialDevice(int fd);

    void Absorb(const unsigned char* bytes, std::size_t count) override;
    void StartRead() override { m_codec.ResetBudget(); }
    void Encode(const unsigned char* data, std::size_t count,
                std::vector<unsigned char>& out) override;
    std::size_t Carried(const unsigned char* data, std::size_t count,
                        std::size_t sent) const override;

private:
    bool Agree();
    bool SendCommand(ComCode code, const std::vector<unsigned char>& value);
    bool SendControl(unsigned char value) { return SendCommand(SET_CONTROL, {value}); }
    // Takes in what the server sends until done() holds; false at the deadline or when the
    // connection drops (errno set either way).
    bool WaitFor(const std::function<bool()>& done, int timeoutMs, int timeoutError);
    void OnComPort(const std::vector<unsigned char>& payload);

    CTelnetCodec m_codec;
    // The server's latest answer to each of SET-BAUDRATE .. SET-STOPSIZE, and how many came.
    std::uint32_t m_answer[4] = {};
    unsigned m_nAnswers[4] = {};
    unsigned char m_nModemState = 0;
    bool m_bModemKnown = false;
    bool m_bModemSilent = false; // the server has let a modem-status question go unanswered
    unsigned m_nModemNotices = 0;
    // The lines' control modes last applied; a port opens with both lines raised.
    unsigned m_nDtrControl = 1;
    unsigned m_nRtsControl = 1;
};
