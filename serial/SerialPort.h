#pragma once

#include "base/Export.h"
#include "base/Object.h"
#include "serial/CommApi.h"

#include <string>

// One serial port with fixed line settings, raw frame reads and writes under the shared read
// time-out, hand-driven modem lines, purging and tick-counter waits. Results are 1 for success
// and 0 for failure.
class LINTARO_API CSerialPort : public CObject {
public:
    CSerialPort(char const* port, unsigned long baud, unsigned char parity, unsigned char stop);
    ~CSerialPort() override;
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    void Serialize(CArchive& ar) override;
    virtual unsigned long ReadFrame(unsigned char* buffer, unsigned long count,
                                    lintaro::OVERLAPPED* overlapped);
    virtual int WriteFrame(unsigned char* data, int count);
    virtual int SetCommPort();

    char const* GetCommPort() const { return m_strPort.c_str(); }
    int ChangeComPort(char const* name);
    unsigned long GetBaudRate() const { return m_dcb.BaudRate; }
    int SetBaudRate(unsigned long rate, int reopen);
    int SetPortInfo(lintaro::DCB* dcb);
    void* GetPortHandle() const { return m_hPort; }
    // Closes the device; requests then fail at once until the port is opened again.
    void ClosePort();
    // True when the open device has failed for good (unplugged, hung up, closed by the other
    // side): only opening it again can help.
    bool IsLineLost() const;
    // Why the line was lost (see DescribeOpenError), 0 when it is not or nobody knows.
    unsigned long GetLineLostReason() const;

    int FlushComms();
    int SetBreak();
    int ClearBreak();
    int SetRequestToSend();
    int ClearRequestToSend();
    int SetDTR();
    int ClearDTR();

    unsigned long GetRxTimeout() const { return m_dwRxTimeout; }
    void SetRxTimeout(unsigned long ms);
    unsigned long GetTxTimeout() const { return m_dwTxTimeout; }
    void SetTxTimeout(unsigned long ms) { m_dwTxTimeout = ms; }

    static void Delay(unsigned long ms);
    int WaitForCommEvent(unsigned long mask);
    int PerformFileDownload(char const* path);
    void LoopRead();

    // Why the last open failed (an errno value or an ERROR_ code; the device may also have
    // refused the line settings), 0 after a successful one.
    unsigned long GetOpenError() const { return m_dwOpenError; }

    // The library-wide time-out records shared by every port object.
    static lintaro::COMMTIMEOUTS& ReadTimeouts();
    static lintaro::COMMTIMEOUTS& WriteTimeouts();
    static lintaro::COMMTIMEOUTS& SavedTimeouts();

protected:
    int EscapeIfOpen(unsigned long function);

    lintaro::HANDLE m_hPort;
    std::string m_strPort;
    lintaro::DCB m_dcb;
    unsigned long m_dwTxTimeout;
    unsigned long m_dwRxTimeout;
    unsigned long m_dwOpenError = 0;
};
