// The logger's and the wave jig's commands on top of the framing in TarvikPort.cpp.
#include "devices/TarvikPort.h"

#include <cstring>
#include <new>

namespace {

constexpr int kRequestLength = 3;

// Logger commands and the reply codes they wait for.
enum : unsigned char {
    kLoggerInit = 0x01,
    kSetSamplePeriod = 0x02,
    kSetActiveChannels = 0x03,
    kStartSampling = 0x04,
    kStopSampling = 0x05,
    kGetSerialNumber = 0x06,
    kGetSWVersion = 0x07,
    kGetProductCode = 0x08,
    kGetBatteryLevel = 0x09,
    kCalibrateFullscale = 0x0B,
    kCalibrateZero = 0x0C,
    kGetOffsetLow = 0x0D,
    kGetOffsetHigh = 0x0E,
    kGetGainLow = 0x0F,
    kGetGainHigh = 0x10,
    kDoConversion = 0x11,
    kGetCJTemp = 0x12,
    kSetChannel = 0x13,
    kSetSerialNumber = 0x14,
    kSetCalibrationDay = 0x16,
    kSetCalibrationMonth = 0x17,
    kSetCalibrationYear = 0x18,
    kGetCalibrationDay = 0x19,
    kGetCalibrationMonth = 0x1A,
    kGetCalibrationYear = 0x1B,
    kGetBufferCount = 0x1C,
    kGetBufferData = 0x1D,
    kGetSamplePeriod = 0x1E,
    kGetActiveChannels = 0x1F,
    kRestoreFactoryDefaults = 0x20,
    kChargeTestMode = 0x21,
    kChargeMode = 0x22,
    kSetLoggerID = 0x30,
    kGetLoggerID = 0x31,
    kGetAllSettings = 0x32,
    kSetAndStartSampling = 0x33,
    kSetLoggerRange = 0x34,
    kWaveJigInit = 0x50,
    kGetWaveParallelism = 0x51,
    kGetWaveBeltSpeed = 0x52,
    kGetWaveHeight = 0x53,
    kGetWaveDwellTime = 0x54,
    kGetWaveJigStatus = 0x55,
    kGetWaveTimeStampPointsHi = 0x56,
    kGetWaveTimeStampPointsLo = 0x57,
    kGetWaveTimeStampData = 0x58,
    kGetWaveTimeStampDataNext = 0x59,
    kWaveJigStartRun = 0x5A,
    kWaveJigStopRun = 0x5B,
    kGetWaveChannelCount = 0x5C,
    kGetWaveJigSWVersion = 0x5D,
    kAckData = 0xD0,
    kAckAcknowledgeMode = 0xD1,
    kAckRestart = 0xD2,
};

enum : unsigned char {
    kReplyBatteryLevel = 0x92,
    kReplyLoggerInit = 0x93,
    kReplySerialNumber = 0x94,
    kReplySWVersion = 0x95,
    kReplyProductCode = 0x96,
    kReplySetActiveChannels = 0x97,
    kReplyStartSampling = 0x98,
    kReplyStopSampling = 0x99,
    kReplySetSamplePeriod = 0x9B,
    kReplyCalibrateFullscale = 0x9C,
    kReplyCalibrateZero = 0x9D,
    kReplyOffsetLow = 0x9E,
    kReplyOffsetHigh = 0x9F,
    kReplyGainLow = 0xA0,
    kReplyGainHigh = 0xA1,
    kReplyDoConversion = 0xA2,
    kReplyCJTemp = 0xA3,
    kReplySetChannel = 0xA4,
    kReplySetCalibrationDay = 0xA5,
    kReplySetCalibrationMonth = 0xA6,
    kReplySetCalibrationYear = 0xA7,
    kReplyCalibrationDay = 0xA8,
    kReplyCalibrationMonth = 0xA9,
    kReplyCalibrationYear = 0xB0,
    kReplyBufferCount = 0xB3,
    kReplySamplePeriod = 0xB6,
    kReplyActiveChannels = 0xB7,
    kReplyFactoryDefaults = 0xB8,
    kReplyChargeTestMode = 0xB9,
    kReplyChargeMode = 0xBA,
    kReplySetLoggerID = 0xC0,
    kReplyLoggerID = 0xC1,
    kReplyAllSettings = 0xC2,
    kReplySetAndStartSampling = 0xC3,
    kReplySetLoggerRange = 0xC4,
    kReplyWaveJigInit = 0x60,
    kReplyWaveParallelism = 0x61,
    kReplyWaveBeltSpeed = 0x62,
    kReplyWaveHeight = 0x63,
    kReplyWaveDwellTime = 0x64,
    kReplyWaveJigStatus = 0x65,
    kReplyWaveTimeStampPointsHi = 0x66,
    kReplyWaveTimeStampPointsLo = 0x67,
    kReplyWaveTimeStampData = 0x68,
    kReplyWaveTimeStampDataNext = 0x69,
    kReplyWaveJigStartRun = 0x6A,
    kReplyWaveJigStopRun = 0x6B,
    kReplyWaveChannelCount = 0x6C,
    kReplyWaveJigSWVersion = 0x6D,
};

// Stream frames by their first byte.
enum : unsigned char {
    kFrameData = 0xB2,
    kFrameRestart = 0xB1,
    kFrameEnd = 0x91,
};

constexpr int kSettingsReplyLength = 1 + 2 * 9;
constexpr int kAnyLength = -1;
constexpr int kWaveJigHandshake = 1; // the jig answers with either handshake bit

void Request(unsigned char* out, unsigned char command, unsigned short argument) {
    out[0] = command;
    out[1] = static_cast<unsigned char>(argument >> 8);
    out[2] = static_cast<unsigned char>(argument & 0xFF);
}

} // namespace

int CTarvikPort::Command(unsigned char command, unsigned short argument, unsigned char reply,
                         unsigned short* value, int ignoreHandshake) {
    unsigned char request[kRequestLength];
    Request(request, command, argument);
    return SendCommand(request, kRequestLength, reply, value, ignoreHandshake);
}

int CTarvikPort::LoggerInit(unsigned short argument) {
    return Command(kLoggerInit, argument, kReplyLoggerInit);
}
int CTarvikPort::SetSamplePeriod(unsigned short period) {
    return Command(kSetSamplePeriod, period, kReplySetSamplePeriod);
}
int CTarvikPort::SetActiveChannels(unsigned short mask) {
    return Command(kSetActiveChannels, mask, kReplySetActiveChannels);
}
int CTarvikPort::StartSampling() {
    return Command(kStartSampling, 0, kReplyStartSampling);
}
int CTarvikPort::StopSampling() {
    return Command(kStopSampling, 0, kReplyStopSampling);
}
int CTarvikPort::GetSerialNumber(unsigned short* value) {
    return Command(kGetSerialNumber, 0, kReplySerialNumber, value);
}
int CTarvikPort::GetSWVersion(unsigned short* value) {
    return Command(kGetSWVersion, 0, kReplySWVersion, value);
}
int CTarvikPort::GetProductCode(unsigned short* value) {
    return Command(kGetProductCode, 0, kReplyProductCode, value);
}
int CTarvikPort::GetBatteryLevel(unsigned short* value) {
    return Command(kGetBatteryLevel, 0, kReplyBatteryLevel, value);
}
int CTarvikPort::CalibrateFullscale() {
    return Command(kCalibrateFullscale, 0, kReplyCalibrateFullscale);
}
int CTarvikPort::CalibrateZero() {
    return Command(kCalibrateZero, 0, kReplyCalibrateZero);
}
int CTarvikPort::DoConversion(unsigned short* value) {
    return Command(kDoConversion, 0, kReplyDoConversion, value);
}
int CTarvikPort::GetCJTemp(unsigned short* value) {
    return Command(kGetCJTemp, 0, kReplyCJTemp, value);
}
int CTarvikPort::SetChannel(unsigned short channel) {
    return Command(kSetChannel, channel, kReplySetChannel);
}
int CTarvikPort::SetSerialNumber(unsigned short number) {
    return Command(kSetSerialNumber, number, kReplySerialNumber);
}
int CTarvikPort::SetCalibrationDay(unsigned short day) {
    return Command(kSetCalibrationDay, day, kReplySetCalibrationDay);
}
int CTarvikPort::SetCalibrationMonth(unsigned short month) {
    return Command(kSetCalibrationMonth, month, kReplySetCalibrationMonth);
}
int CTarvikPort::SetCalibrationYear(unsigned short year) {
    return Command(kSetCalibrationYear, year, kReplySetCalibrationYear);
}
int CTarvikPort::GetCalibrationDay(unsigned short* value) {
    return Command(kGetCalibrationDay, 0, kReplyCalibrationDay, value);
}
int CTarvikPort::GetCalibrationMonth(unsigned short* value) {
    return Command(kGetCalibrationMonth, 0, kReplyCalibrationMonth, value);
}
int CTarvikPort::GetCalibrationYear(unsigned short* value) {
    return Command(kGetCalibrationYear, 0, kReplyCalibrationYear, value);
}
int CTarvikPort::GetBufferCount(unsigned short* value, unsigned short argument) {
    return Command(kGetBufferCount, argument, kReplyBufferCount, value);
}
int CTarvikPort::GetSamplePeriod(unsigned short* value) {
    return Command(kGetSamplePeriod, 0, kReplySamplePeriod, value);
}
int CTarvikPort::GetActiveChannels(unsigned short* value) {
    return Command(kGetActiveChannels, 0, kReplyActiveChannels, value);
}
int CTarvikPort::RestoreFactoryDefaults() {
    return Command(kRestoreFactoryDefaults, 0, kReplyFactoryDefaults);
}
int CTarvikPort::SetChargeTestMode() {
    // The reply's value means nothing to us, so a reply without one is taken as well.
    return Command(kChargeTestMode, 0xFFFF, kReplyChargeTestMode);
}
int CTarvikPort::ClearChargeTestMode() {
    return Command(kChargeTestMode, 0, kReplyChargeTestMode);
}
int CTarvikPort::SetFastChargeMode() {
    return Command(kChargeMode, 0x0101, kReplyChargeMode);
}
int CTarvikPort::SetChargeModeOff() {
    return Command(kChargeMode, 0, kReplyChargeMode);
}
int CTarvikPort::SetLoggerID(unsigned short id) {
    return Command(kSetLoggerID, id, kReplySetLoggerID);
}
int CTarvikPort::GetLoggerID(unsigned short* value) {
    return Command(kGetLoggerID, 0, kReplyLoggerID, value);
}
int CTarvikPort::SetLoggerRange(unsigned short range) {
    return Command(kSetLoggerRange, range, kReplySetLoggerRange);
}

int CTarvikPort::GetCalibrationOffset(unsigned long* value) {
    unsigned short low = 0;
    unsigned short high = 0;
    if (!Command(kGetOffsetLow, 0, kReplyOffsetLow, &low) ||
        !Command(kGetOffsetHigh, 0, kReplyOffsetHigh, &high)) {
        return 0;
    }
    if (value) {
        *value = static_cast<unsigned long>((high & 0xFF) << 8 | (low & 0xFF));
    }
    return 1;
}

int CTarvikPort::GetCalibrationGain(unsigned long* value) {
    unsigned short low = 0;
    unsigned short high = 0;
    if (!Command(kGetGainLow, 0, kReplyGainLow, &low) ||
        !Command(kGetGainHigh, 0, kReplyGainHigh, &high)) {
        return 0;
    }
    if (value) {
        *value = static_cast<unsigned long>((high & 0xFF) << 8 | (low & 0xFF));
    }
    return 1;
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
    Request(request, kGetAllSettings, 0);
    unsigned char payload[kMaxPayload];
    if (!ExchangeWithRetries(request, kRequestLength, kReplyAllSettings, payload,
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
    const unsigned char request[5] = {kSetAndStartSampling, static_cast<unsigned char>(second >> 8),
                                      static_cast<unsigned char>(second & 0xFF),
                                      static_cast<unsigned char>(first >> 8),
                                      static_cast<unsigned char>(first & 0xFF)};
    unsigned char payload[kMaxPayload];
    return ExchangeWithRetries(request, 5, kReplySetAndStartSampling, payload, kAnyLength);
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
        unsigned char request[kRequestLength];
        Request(request, kAckAcknowledgeMode, 0);
        return SendCommand(request, kRequestLength, kReplyStopSampling, nullptr, 0) ? kAcknowledged
                                                                                    : kAckFailed;
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
    return Command(kWaveJigInit, 0, kReplyWaveJigInit, nullptr, kWaveJigHandshake);
}
int CTarvikPort::GetWaveParallelism(unsigned short* value) {
    return Command(kGetWaveParallelism, 0, kReplyWaveParallelism, value, kWaveJigHandshake);
}
int CTarvikPort::GetWaveBeltSpeed(unsigned short* value) {
    return Command(kGetWaveBeltSpeed, 0, kReplyWaveBeltSpeed, value, kWaveJigHandshake);
}
int CTarvikPort::GetWaveHeight(unsigned short* value) {
    return Command(kGetWaveHeight, 0, kReplyWaveHeight, value, kWaveJigHandshake);
}
int CTarvikPort::GetWaveDwellTime(unsigned short* value) {
    return Command(kGetWaveDwellTime, 0, kReplyWaveDwellTime, value, kWaveJigHandshake);
}
int CTarvikPort::GetWaveJigStatus(unsigned short* value) {
    return Command(kGetWaveJigStatus, 0, kReplyWaveJigStatus, value, kWaveJigHandshake);
}
int CTarvikPort::GetWaveTimeStampPointsHi(unsigned short* value) {
    return Command(kGetWaveTimeStampPointsHi, 0, kReplyWaveTimeStampPointsHi, value,
                   kWaveJigHandshake);
}
int CTarvikPort::GetWaveTimeStampPointsLo(unsigned short* value) {
    return Command(kGetWaveTimeStampPointsLo, 0, kReplyWaveTimeStampPointsLo, value,
                   kWaveJigHandshake);
}
int CTarvikPort::WaveJigStartRun() {
    return Command(kWaveJigStartRun, 0, kReplyWaveJigStartRun, nullptr, kWaveJigHandshake);
}
int CTarvikPort::WaveJigStopRun() {
    return Command(kWaveJigStopRun, 0, kReplyWaveJigStopRun, nullptr, kWaveJigHandshake);
}
int CTarvikPort::GetWaveChannelCount(unsigned short* value) {
    return Command(kGetWaveChannelCount, 0, kReplyWaveChannelCount, value, kWaveJigHandshake);
}
int CTarvikPort::GetWaveJigSWVersion(unsigned short* value) {
    return Command(kGetWaveJigSWVersion, 0, kReplyWaveJigSWVersion, value, kWaveJigHandshake);
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
    return GetTimeData(kGetWaveTimeStampData, kReplyWaveTimeStampData, destination, count);
}
int CTarvikPort::GetWaveTimeStampData(unsigned char* destination, int* count,
                                      unsigned long capacity) {
    return GetTimeData(kGetWaveTimeStampData, kReplyWaveTimeStampData, destination, count,
                       capacity);
}
int CTarvikPort::GetWaveTimeStampDataNext(unsigned char* destination, int* count) {
    return GetTimeData(kGetWaveTimeStampDataNext, kReplyWaveTimeStampDataNext, destination, count);
}
int CTarvikPort::GetWaveTimeStampDataNext(unsigned char* destination, int* count,
                                          unsigned long capacity) {
    return GetTimeData(kGetWaveTimeStampDataNext, kReplyWaveTimeStampDataNext, destination, count,
                       capacity);
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
    return ok && !(status & MS_RING_ON) ? 1 : 0;
}
