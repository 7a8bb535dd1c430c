#pragma once

#include "base/Export.h"
#include "serial/SerialPort.h"

// An IrDA infrared transceiver powered from the modem lines. With RTS low it takes a one-byte
// control word selecting its infrared rate; with RTS high data flows through ReadFrame and
// WriteFrame as usual.
class LINTARO_API CIrDAPort : public CSerialPort {
public:
    CIrDAPort(char const* port, unsigned long baud, unsigned char parity, unsigned char stop);
    ~CIrDAPort() override;

    int PowerDown();
    int ResetAndHoldPower();
    // Switches the transceiver's infrared rate; the port's own rate is set apart with
    // SetBaudRate.
    int SetIRBaudRate(unsigned long rate, unsigned char flags);

    // The rate code of the control word for an infrared rate.
    static unsigned char IRRateCode(unsigned long rate);
};
