#pragma once

#include "base/Export.h"
#include "serial/SerialPort.h"

// A Vask interface module on the serial port: a half-duplex transceiver on a shared medium.
// RTS switches its transmitter and DTR its receiver; it reports a carrier on CTS and, in modules
// with the intelligent-wait capability, a transmission still in progress on DSR. RING tells a
// low transceiver battery. Bytes for the medium travel Manchester-coded.
class LINTARO_API CVaskPort : public CSerialPort {
public:
    // The pseudo-random source of the back-off; the runtime's rand unless replaced.
    using RandomSource = int (*)();

    static constexpr int kCarrierPolls = 100; // further polls while the medium is busy
    static constexpr int kCarrierReturns = 5; // the carrier coming back this often gives up
    static constexpr unsigned long kBusyPollMs = 2;
    static constexpr unsigned long kCollisionMs = 50;
    static constexpr int kTxEmptyPolls = 200;
    static constexpr unsigned long kTxEmptyFallbackMs = 20;

    CVaskPort(char const* port, unsigned long baud, unsigned char parity, unsigned char stop);
    ~CVaskPort() override;

    int TxOn();
    int TxOff();
    int RxOn();
    int RxOff();

    static unsigned short ManchesterEncode(unsigned char byte);
    static unsigned char ManchesterDecode(unsigned short word);

    // Waits 1 to 15 ms, chosen at random.
    void RandomDelay();
    // Listen before talk: 1 when the transmitter is on and the frame may go out, 0 when the
    // medium stayed busy or the lines could not be read or driven.
    int TestCarrierDetect2(int waitForLine);
    // 1 when the module has finished sending, 0 if it did not finish in time.
    int WaitForTxEmpty();
    int TestForIntelligentWaitCapability();
    static void Delay(unsigned long ms) { CSerialPort::Delay(ms); }

    int HasIntelligentWait() const { return m_bIntelligentWait; }
    int IsRxOn() const { return m_bRxOn; }

    // Replaces the back-off's random source for the whole process (null restores rand) and
    // returns the one it replaces.
    static RandomSource SetRandomSource(RandomSource source);

protected:
    // The modem status word, or false when it cannot be read.
    bool ReadModemStatus(unsigned long& status);

    int m_bIntelligentWait;
    int m_bRxOn;
};
