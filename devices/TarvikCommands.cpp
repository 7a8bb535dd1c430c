// The logger's and the wave jig's commands on top of the framing in TarvikPort.cpp.
#include "devices/TarvikPort.h"

#include <cstring>
#include <new>

namespace {

constexpr int kRequestLength = 3;

constexpr int kBitMustMatch = 0;
constexpr int kEitherBit = 1; // the wave jig answers with either handshake bit

using Simple = CTarvikPort::SimpleCommand;

// Logger commands with the reply codes they wait for.
constexpr Simple kLoggerInit{0x01, 0x93, kBitMustMatch};
constexpr Simple kSetSamplePeriod{0x02, 0x9B, kBitMustMatch};
constexpr Simple kSetActiveChannels{0x03, 0x97, kBitMustMatch};
constexpr Simple kStartSampling{0x04, 0x98, kBitMustMatch};
constexpr Simple kStopSampling{0x05, 0x99, kBitMustMatch};
constexpr Simple kGetSerialNumber{0x06, 0x94, kBitMustMatch};
constexpr Simple kGetSWVersion{0x07, 0x95, kBitMustMatch};
constexpr Simple kGetProductCode{0x08, 0x96, kBitMustMatch};
constexpr Simple kGetBatteryLevel{0x09, 0x92, kBitMustMatch};
constexpr Simple kCalibrateFullscale{0x0B, 0x9C, kBitMustMatch};
constexpr Simple kCalibrateZero{0x0C, 0x9D, kBitMustMatch};
constexpr Simple kGetOffsetLow{0x0D, 0x9E, kBitMustMatch};
constexpr Simple kGetOffsetHigh{0x0E, 0x9F, kBitMustMatch};
constexpr Simple kGetGainLow{0x0F, 0xA0, kBitMustMatch};
constexpr Simple kGetGainHigh{0x10, 0xA1, kBitMustMatch};
constexpr Simple kDoConversion{0x11, 0xA2, kBitMustMatch};
constexpr Simple kGetCJTemp{0x12, 0xA3, kBitMustMatch};
constexpr Simple kSetChannel{0x13, 0xA4, kBitMustMatch};
constexpr Simple kSetSerialNumber{0x14, 0x94, kBitMustMatch}; // the getter's reply code
constexpr Simple kSetCalibrationDay{0x16, 0xA5, kBitMustMatch};
constexpr Simple kSetCalibrationMonth{0x17, 0xA6, kBitMustMatch};
constexpr Simple kSetCalibrationYear{0x18, 0xA7, kBitMustMatch};
constexpr Simple kGetCalibrationDay{0x19, 0xA8, kBitMustMatch};
constexpr Simple kGetCalibrationMonth{0x1A, 0xA9, kBitMustMatch};
constexpr Simple kGetCalibrationYear{0x1B, 0xB0, kBitMustMatch};
constexpr Simple kGetBufferCount{0x1C, 0xB3, kBitMustMatch};
constexpr Simple kGetSamplePeriod{0x1E, 0xB6, kBitMustMatch};
constexpr Simple kGetActiveChannels{0x1F, 0xB7, kBitMustMatch};
constexpr Simple kRestoreFactoryDefaults{0x20, 0xB8, kBitMustMatch};
constexpr Simple kChargeTestMode{0x21, 0xB9, kBitMustMatch};
constexpr Simple kChargeMode{0x22, 0xBA, kBitMustMatch};
constexpr Simple kSetLoggerID{0x30, 0xC0, kBitMustMatch};
constexpr Simple kGetLoggerID{0x31, 0xC1, kBitMustMatch};
constexpr Simple kGetAllSettings{0x32, 0xC2, kBitMustMatch};
constexpr Simple kSetAndStartSampling{0x33, 0xC3, kBitMustMatch};
constexpr Simple kSetLoggerRange{0x34, 0xC4, kBitMustMatch};
// The acknowledge-mode request of a stream takes the stop-sampling reply code.
constexpr Simple kAckAcknowledgeMode{0xD1, 0x99, kBitMustMatch};

// Wave-jig commands.
constexpr Simple kWaveJigInit{0x50, 0x60, kEitherBit};
constexpr Simple kGetWaveParallelism{0x51, 0x61, kEitherBit};
constexpr Simple kGetWaveBeltSpeed{0x52, 0x62, kEitherBit};
constexpr Simple kGetWaveHeight{0x53, 0x63, kEitherBit};
constexpr Simple kGetWaveDwellTime{0x54, 0x64, kEitherBit};
constexpr Simple kGetWaveJigStatus{0x55, 0x65, kEitherBit};
constexpr Simple kGetWaveTimeStampPointsHi{0x56, 0x66, kEitherBit};
constexpr Simple kGetWaveTimeStampPointsLo{0x57, 0x67, kEitherBit};
constexpr Simple kGetWaveTimeStampData{0x58, 0x68, kBitMustMatch};
constexpr Simple kGetWaveTimeStampDataNext{0x59, 0x69, kBitMustMatch};
constexpr Simple kWaveJigStartRun{0x5A, 0x6A, kEitherBit};
constexpr Simple kWaveJigStopRun{0x5B, 0x6B, kEitherBit};
constexpr Simple kGetWaveChannelCount{0x5C, 0x6C, kEitherBit};
constexpr Simple kGetWaveJigSWVersion{0x5D, 0x6D, kEitherBit};

// Requests whose replies are not judged by their code.
enum : unsigned char {
    kGetBufferData = 0x1D,
    kAckData = 0xD0,
    kAckRestart = 0xD2,
};

// Stream frames by their first byte.
enum : unsigned char {
    kFrameData = 0xB2,
    kFrameRestart = 0xB1,
    kFrameEnd = 0x91,
};

constexpr int kSettingsReplyLength = 1 + 2 * 9;
constexpr int kAnyLength = -1;

void Request(unsigned char* out, unsigned char command, unsigned short argument) {
    out[0] = command;
    out[1] = static_cast<unsigned char>(argument >> 8);
    out[2] = static_cast<unsigned char>(argument & 0xFF);
}

} // namespace

int CTarvikPort::Command(const SimpleCommand& simple, unsigned short argument,
                         unsigned short* value) {
    unsigned char request[kRequestLength];
    Request(request, simple.byCommand, argument);
    return SendCommand(request, kRequestLength, simple.byReply, value, simple.bIgnoreHandshake);
}

int CTarvikPort::LoggerInit(unsigned short argument) {
    return Command(kLoggerInit, argument);
}
int CTarvikPort::SetSamplePeriod(unsigned short period) {
    return Command(kSetSamplePeriod, period);
}
int CTarvikPort::SetActiveChannels(unsigned short mask) {
    return Command(kSetActiveChannels, mask);
}
int CTarvikPort::StartSampling() {
    return Command(kStartSampling);
}
int CTarvikPort::StopSampling() {
    return Command(kStopSampling);
}
int CTarvikPort::GetSerialNumber(unsigned short* value) {
    return Command(kGetSerialNumber, 0, value);
}
int CTarvikPort::GetSWVersion(unsigned short* value) {
    return Command(kGetSWVersion, 0, value);
}
int CTarvikPort::GetProductCode(unsigned short* value) {
    return Command(kGetProductCode, 0, value);
}
int CTarvikPort::GetBatteryLevel(unsigned short* value) {
    return Command(kGetBatteryLevel, 0, value);
}
int CTarvikPort::CalibrateFullscale() {
    return Command(kCalibrateFullscale);
}
int CTarvikPort::CalibrateZero() {
    return Command(kCalibrateZero);
}
int CTarvikPort::DoConversion(unsigned short* value) {
    return Command(kDoConversion, 0, value);
}
int CTarvikPort::GetCJTemp(unsigned short* value) {
    return Command(kGetCJTemp, 0, value);
}
int CTarvikPort::SetChannel(unsigned short channel) {
    return Command(kSetChannel, channel);
}
int CTarvikPort::SetSerialNumber(unsigned short number) {
    return Command(kSetSerialNumber, number);
}
int CTarvikPort::SetCalibrationDay(unsigned short day) {
    return Command(kSetCalibrationDay, day);
}
int CTarvikPort::SetCalibrationMonth(unsigned short month) {
    return Command(kSetCalibrationMonth, month);
}
int CTarvikPort::SetCalibrationYear(unsigned short year) {
    return Command(kSetCalibrationYear, year);
}
int CTarvikPort::GetCalibrationDay(unsigned short* value) {
    return Command(kGetCalibrationDay, 0, value);
}
int CTarvikPort::GetCalibrationMonth(unsigned short* value) {
    return Command(kGetCalibrationMonth, 0, value);
}
int CTarvikPort::GetCalibrationYear(unsigned short* value) {
    return Command(kGetCalibrationYear, 0, value);
}
int CTarvikPort::GetBufferCount(unsigned short* value, unsigned short argument) {
    return Command(kGetBufferCount, argument, value);
}
int CTarvikPort::GetSamplePeriod(unsigned short* value) {
    return Command(kGetSamplePeriod, 0, value);
}
int CTarvikPort::GetActiveChannels(unsigned short* value) {
    return Command(kGetActiveChannels, 0, value);
}
int CTarvikPort::RestoreFactoryDefaults() {
    return Command(kRestoreFactoryDefaults);
}
int CTarvikPort::SetChargeTestMode() {
    // The reply's value means nothing to us, so a reply without one is taken as well.
    return Command(kChargeTestMode, 0xFFFF);
}
int CTarvikPort::ClearChargeTestMode() {
    return Command(kChargeTestMode);
}
int CTarvikPort::SetFastChargeMode() {
    return Command(kChargeMode, 0x0101);
}
int CTarvikPort::SetChargeModeOff() {
    return Command(kChargeMode);
}
int CTarvikPort::SetLoggerID(unsigned short id) {
    return Command(kSetLoggerID, id);
}
int CTarvikPort::GetLoggerID(unsigned short* value) {
    return Command(kGetLoggerID, 0, value);
}
int CTarvikPort::SetLoggerRange(unsigned short range) {
    return Command(kSetLoggerRange, range);
}

int CTarvikPort::TwoStepRead(const SimpleCommand& first, const SimpleCommand& second,
                             unsigned long* value) {
    unsigned short low = 0;
    unsigned short high = 0;
    if (!Command(first, 0, &low) || !Command(second, 0, &high)) {
        return 0;
    }
    if (value) {
        *value = static_cast<unsigned long>((high & 0xFF) << 8 | (low & 0xFF));
    }
    return 1;
}

int CTarvikPort::GetCalibrationOffset(unsigned long* value) {
    return TwoStepRead(kGetOffsetLow, kGetOffsetHigh, value);
}
int CTarvikPort::GetCalibrationGain(unsigned long* value) {
    return TwoStepRead(kGetGainLow, kGetGainHigh, value);
}

int CTarvikPort::ExchangeWithRetries(const unsigned char* request, int length, unsigned char reply,
                                     unsigned char* payload, int requiredLength) {
    SetRxTimeout(m_bUsingVask ? kVaskRxTimeout : kSerialRxTimeout);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        unsigned char received = 0;
        const int n = m_bUsingVask ? ExchangeVask(request, length, payload, &received, true, true)
                                   : ExchangeRS232(request, length, payload, &received, false);
        if (n > 0 && (requiredLength < 0 || n == requiredLength) &&
            Accept(payload, n, received, reply, nullptr, 0)) {
            RxOff();
            return 1;
        }
    }
    RxOff();
    return 0;
}

int CTarvikPort::GetAllSettings(LOGGER_SETTING* settings) {
    unsigned char request[kRequestLength];
    Request(request, kGetAllSettings.byCommand, 0);
    unsigned char payload[kMaxPayload];
    if (!ExchangeWithRetries(request, kRequestLength, kGetAllSettings.byReply, payload,
                             kSettingsReplyLength)) {
        return 0;
    }
    if (settings) {
        for (int i = 0; i < 9; ++i) {
            settings->wValue[i] =
                static_cast<std::uint16_t>(payload[2 * i + 1] << 8 | payload[2 * i + 2]);
        }
    }
    return 1;
}

int CTarvikPort::SetAndStartSampling(unsigned short first, unsigned short second) {
    // The logger takes the second value first.
    const unsigned char request[5] = {
        kSetAndStartSampling.byCommand, static_cast<unsigned char>(second >> 8),
        static_cast<unsigned char>(second & 0xFF), static_cast<unsigned char>(first >> 8),
        static_cast<unsigned char>(first & 0xFF)};
    unsigned char payload[kMaxPayload];
    return ExchangeWithRetries(request, 5, kSetAndStartSampling.byReply, payload, kAnyLength);
}

void CTarvikPort::FreeBufferData(unsigned char* buffer) {
    delete[] buffer;
}

int CTarvikPort::GetBufferData(unsigned char** buffer, unsigned char handshake,
                               unsigned char* received) {
    if (buffer == nullptr) {
        return 0;
    }
    *buffer = nullptr;
    unsigned char request[kRequestLength];
    Request(request, kGetBufferData, 0);
    int header = 0;
    if (m_bUsingVask) {
        SetRxTimeout(kVaskBufferRxTimeout);
        RxOn();
        header = WriteVaskData(request, kRequestLength, handshake, 1) ? ReadFrameHeader() : 0;
    } else {
        SetRxTimeout(kSerialBufferRxTimeout);
        header = WriteRS232Data(request, kRequestLength, handshake) ? ReadSerialFrameHeader() : 0;
    }
    if (header > 0) {
        unsigned char* data = new (std::nothrow) unsigned char[static_cast<std::size_t>(header)];
        unsigned char rx = 0;
        const int ok = data && (m_bUsingVask ? ReadVaskData(data, header, &rx)
                                             : ReadSerialData(data, header, &rx));
        if (ok) {
            *buffer = data;
            if (received) {
                *received = rx;
            }
        } else {
            // Nothing half-read reaches the caller, and nothing is left for it to free.
            delete[] data;
            header = kNothing;
        }
    }
    if (m_bUsingVask) {
        RxOff();
    }
    return header;
}

int CTarvikPort::Acknowledge(bool vask, unsigned char code, unsigned char handshake) {
    unsigned char request[kRequestLength];
    Request(request, code, 0);
    return vask ? WriteVaskData(request, kRequestLength, handshake, 0)
                : WriteRS232Data(request, kRequestLength, handshake);
}

int CTarvikPort::ReadDataStream(bool vask, int acknowledge, unsigned char* received,
                                unsigned char* buffer, unsigned long capacity) {
    const int header = vask ? ReadFrameHeader() : ReadSerialFrameHeader();
    if (vask && header <= 0 && header != kForeignFrame) {
        // The stream was lost: start the line afresh and listen again.
        FlushComms();
        SetCommPort();
        RxOn();
        return kLinkReset;
    }
    if (header <= 0) {
        return header;
    }
    // The frame goes through a buffer of our own, so a caller's short buffer is never
    // overrun; a frame that does not fit is not acknowledged and comes again.
    unsigned char payload[kMaxPayload];
    unsigned char rx = 0;
    if (!(vask ? ReadVaskData(payload, header, &rx) : ReadSerialData(payload, header, &rx))) {
        return kNothing;
    }
    if (received) {
        *received = rx;
    }
    if (buffer == nullptr || static_cast<unsigned long>(header) > capacity) {
        return kNothing;
    }
    std::memcpy(buffer, payload, static_cast<std::size_t>(header));
    if (acknowledge) {
        m_byHandshake = rx;
        return Command(kAckAcknowledgeMode) ? kAcknowledged : kAckFailed;
    }
    switch (payload[0]) {
    case kFrameData:
        Acknowledge(vask, kAckData, rx);
        return header;
    case kFrameRestart:
        FlushComms();
        Acknowledge(vask, kAckRestart, rx);
        return kForeignFrame;
    case kFrameEnd:
        Acknowledge(vask, kAckData, rx);
        return kStreamEnd;
    default:
        if (vask) {
            return kNothing;
        }
        Acknowledge(vask, kAckData, rx);
        return header;
    }
}

int CTarvikPort::ReadVaskDataStream(int acknowledge, unsigned char* received,
                                    unsigned char* buffer) {
    return ReadDataStream(true, acknowledge, received, buffer, kMaxPayload);
}
int CTarvikPort::ReadVaskDataStream(int acknowledge, unsigned char* received, unsigned char* buffer,
                                    unsigned long capacity) {
    return ReadDataStream(true, acknowledge, received, buffer, capacity);
}
int CTarvikPort::ReadRS232DataStream(int acknowledge, unsigned char* received,
                                     unsigned char* buffer) {
    return ReadDataStream(false, acknowledge, received, buffer, kMaxPayload);
}
int CTarvikPort::ReadRS232DataStream(int acknowledge, unsigned char* received,
                                     unsigned char* buffer, unsigned long capacity) {
    return ReadDataStream(false, acknowledge, received, buffer, capacity);
}

int CTarvikPort::WaveJigInit() {
    return Command(kWaveJigInit);
}
int CTarvikPort::GetWaveParallelism(unsigned short* value) {
    return Command(kGetWaveParallelism, 0, value);
}
int CTarvikPort::GetWaveBeltSpeed(unsigned short* value) {
    return Command(kGetWaveBeltSpeed, 0, value);
}
int CTarvikPort::GetWaveHeight(unsigned short* value) {
    return Command(kGetWaveHeight, 0, value);
}
int CTarvikPort::GetWaveDwellTime(unsigned short* value) {
    return Command(kGetWaveDwellTime, 0, value);
}
int CTarvikPort::GetWaveJigStatus(unsigned short* value) {
    return Command(kGetWaveJigStatus, 0, value);
}
int CTarvikPort::GetWaveTimeStampPointsHi(unsigned short* value) {
    return Command(kGetWaveTimeStampPointsHi, 0, value);
}
int CTarvikPort::GetWaveTimeStampPointsLo(unsigned short* value) {
    return Command(kGetWaveTimeStampPointsLo, 0, value);
}
int CTarvikPort::WaveJigStartRun() {
    return Command(kWaveJigStartRun);
}
int CTarvikPort::WaveJigStopRun() {
    return Command(kWaveJigStopRun);
}
int CTarvikPort::GetWaveChannelCount(unsigned short* value) {
    return Command(kGetWaveChannelCount, 0, value);
}
int CTarvikPort::GetWaveJigSWVersion(unsigned short* value) {
    return Command(kGetWaveJigSWVersion, 0, value);
}

int CTarvikPort::GetTimeData(unsigned char command, unsigned char reply, unsigned char* destination,
                             int* count) {
    return GetTimeData(command, reply, destination, count, kMaxPayload - 1);
}

int CTarvikPort::GetTimeData(unsigned char command, unsigned char reply, unsigned char* destination,
                             int* count, unsigned long capacity) {
    if (count) {
        *count = 0;
    }
    unsigned char request[kRequestLength];
    Request(request, command, 0);
    unsigned char payload[kMaxPayload];
    unsigned char received = 0;
    int n = 0;
    if (m_bUsingVask) {
        RxOn();
        if (WriteVaskData(request, kRequestLength, m_byHandshake, 1)) {
            n = ReadFrameHeader();
            if (n > 0 && !ReadVaskData(payload, n, &received)) {
                n = 0;
            }
        }
    } else if (WriteRS232Data(request, kRequestLength, m_byHandshake)) {
        n = ReadSerialFrameHeader();
        if (n > 0 && !ReadSerialData(payload, n, &received)) {
            n = 0;
        }
    }
    if (n <= 0 || !Accept(payload, n, received, reply, nullptr, 0)) {
        return 0;
    }
    const std::size_t stamps = static_cast<std::size_t>(n - 1);
    if (stamps > capacity || (destination == nullptr && stamps > 0)) {
        return 0;
    }
    if (stamps > 0) {
        std::memcpy(destination, payload + 1, stamps);
    }
    if (count) {
        *count = static_cast<int>(stamps);
    }
    m_byHandshake ^= kHandshakeBit;
    return 1;
}

int CTarvikPort::GetWaveTimeStampData(unsigned char* destination, int* count) {
    return GetWaveTimeStampData(destination, count, kMaxPayload - 1);
}
int CTarvikPort::GetWaveTimeStampData(unsigned char* destination, int* count,
                                      unsigned long capacity) {
    return GetTimeData(kGetWaveTimeStampData.byCommand, kGetWaveTimeStampData.byReply, destination,
                       count, capacity);
}
int CTarvikPort::GetWaveTimeStampDataNext(unsigned char* destination, int* count) {
    return GetWaveTimeStampDataNext(destination, count, kMaxPayload - 1);
}
int CTarvikPort::GetWaveTimeStampDataNext(unsigned char* destination, int* count,
                                          unsigned long capacity) {
    return GetTimeData(kGetWaveTimeStampDataNext.byCommand, kGetWaveTimeStampDataNext.byReply,
                       destination, count, capacity);
}

int CTarvikPort::SetVaskMode() {
    m_bUsingVask = 1;
    return SetBaudRate(kVaskBaudRate, 1);
}

int CTarvikPort::SetSerialMode() {
    m_bUsingVask = 0;
    return SetBaudRate(kSerialBaudRate, 1);
}

int CTarvikPort::TestTransceiverBattery() {
    RxOn();
    Delay(20);
    unsigned long status = 0;
    const bool ok = ReadModemStatus(status);
    RxOff();
    return ok && !(status & lintaro::MS_RING_ON) ? 1 : 0;
}
