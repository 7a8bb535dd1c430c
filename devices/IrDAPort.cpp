#include "devices/IrDAPort.h"

CIrDAPort::CIrDAPort(char const* port, unsigned long baud, unsigned char parity, unsigned char stop)
    : CSerialPort(port, baud, parity, stop) {}

CIrDAPort::~CIrDAPort() {
    PowerDown();
}

int CIrDAPort::PowerDown() {
    ClearRequestToSend();
    ClearDTR();
    return 1;
}

int CIrDAPort::ResetAndHoldPower() {
    SetRequestToSend();
    ClearDTR();
    SetDTR();
    Delay(1);
    ClearDTR();
    return 1;
}

unsigned char CIrDAPort::IRRateCode(unsigned long rate) {
    switch (rate) {
    case 115200:
        return 0;
    case 57600:
        return 1;
    case 38400:
        return 2;
    case 19200:
        return 3;
    default:
        return 6;
    }
}

int CIrDAPort::SetIRBaudRate(unsigned long rate, unsigned char flags) {
    unsigned char control = static_cast<unsigned char>(flags | IRRateCode(rate));
    ClearRequestToSend();
    WriteFrame(&control, 1);
    Delay(1);
    SetRequestToSend();
    return 1;
}
