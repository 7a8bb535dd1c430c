#pragma once

#include "base/Export.h"
#include "devices/LoggerSetting.h"
#include "devices/VaskPort.h"

// A temperature data logger (or a wave-solder test jig) reached either through a Vask interface
// module, with Manchester-coded frames addressed by a packet ID, or over a direct RS-232 cable
// with plain frames. Every request carries an alternating handshake bit in bit 7 of its
// checksum, so that the logger can tell a repeated request from a new one.
//
// Results are 1 for success and 0 for failure unless stated; the header and stream readers
// return a length or a negative status.
//
// Buffers: nothing is ever written past the length a frame announces, nor past a caller's
// buffer. A payload is at most kMaxPayload bytes. Members that fill a caller's buffer without
// being told its size need room for the largest payload they can receive (stated with each);
// each has an overload taking the buffer's capacity, which fails instead when a frame does not
// fit. The buffer GetBufferData allocates is freed with FreeBufferData (or delete[]).
class LINTARO_API CTarvikPort : public CVaskPort {
public:
    static constexpr int kMaxPayload = 255;
    static constexpr int kSyncSearchBytes = 2000; // bytes searched for a frame start per call
    static constexpr int kForeignFrameSkips = 100;
    static constexpr int kAttempts = 3;
    static constexpr unsigned long kVaskRxTimeout = 500;
    static constexpr unsigned long kSerialRxTimeout = 200;
    static constexpr unsigned long kVaskBufferRxTimeout = 1500;
    static constexpr unsigned long kSerialBufferRxTimeout = 1000;
    static constexpr unsigned long kVaskBaudRate = 19200;
    static constexpr unsigned long kSerialBaudRate = 38400;
    static constexpr unsigned char kSerialStart = 0x3C;
    static constexpr unsigned char kHandshakeBit = 0x80;
    static constexpr unsigned char kDefaultPacketID = 0x11;

    // Negative results of the header and stream readers.
    static constexpr int kNothing = -1;      // nothing usable arrived, or a frame was damaged
    static constexpr int kForeignFrame = -2; // a frame for another packet ID (Vask)
    static constexpr int kStreamEnd = -3;    // the logger ended its stream
    static constexpr int kLinkReset = -4;    // the line was lost; the port was re-opened
    static constexpr int kAcknowledged = -5; // acknowledge mode: the logger took the ack
    static constexpr int kAckFailed = -6;    // acknowledge mode: the ack was not taken

    // A request code, the code its reply must start with, and 1 when the reply may carry
    // either handshake bit.
    struct SimpleCommand {
        unsigned char byCommand;
        unsigned char byReply;
        int bIgnoreHandshake;
    };

    CTarvikPort(char const* port, unsigned long baud, unsigned char parity, unsigned char stop);
    ~CTarvikPort() override;

    void UseVask(int flag) { m_bUsingVask = flag ? 1 : 0; }
    int UsingVask() const { return m_bUsingVask; }
    void SetPacketID(unsigned char id) { m_byPacketID = id; }
    unsigned char GetPacketID() const { return m_byPacketID; }
    unsigned char GetPCID() const { return static_cast<unsigned char>(m_byPacketID >> 4); }
    unsigned char GetLoggerID() const { return static_cast<unsigned char>(m_byPacketID & 0x0F); }
    // Only bit 7 travels; the other bits are dropped.
    void SetHandshake(unsigned char bit) { m_byHandshake = bit & kHandshakeBit; }
    unsigned char GetHandshake() const { return m_byHandshake; }
    unsigned char GetReceivedHandshake() const { return m_byRxHandshake; }
    int DetectLogger() { return 1; }

    // Opens or re-opens the port with transmitter and receiver off.
    int SetCommPort() override;

    // Framing over the Vask module. A payload is 0 to kMaxPayload bytes.
    int WriteVaskData(const unsigned char* payload, int length, unsigned char handshake,
                      int waitForLine);
    // The announced payload length, kNothing or kForeignFrame.
    int ReadFrameHeader();
    // Reads a payload of the length a header announced into buffer, which holds at least that
    // many bytes.
    int ReadVaskData(unsigned char* buffer, int length, unsigned char* received);
    int SendVaskCommand(const unsigned char* request, int length, unsigned char reply,
                        unsigned short* value, int ignoreHandshake);

    // Framing over a direct cable.
    int WriteRS232Data(const unsigned char* payload, unsigned char length, unsigned char handshake);
    int ReadSerialFrameHeader();
    int ReadSerialData(unsigned char* buffer, int length, unsigned char* received);
    int SendRS232Command(const unsigned char* request, int length, unsigned char reply,
                         unsigned short* value, int ignoreHandshake);

    // One request with up to kAttempts tries; the handshake bit flips on success. A reply that
    // should carry a value but is shorter than 3 bytes is rejected.
    int SendCommand(const unsigned char* request, int length, unsigned char reply,
                    unsigned short* value, int ignoreHandshake);

    // Logger commands.
    int LoggerInit(unsigned short argument);
    int SetSamplePeriod(unsigned short period);
    int SetActiveChannels(unsigned short mask);
    int StartSampling();
    int StopSampling();
    int GetSerialNumber(unsigned short* value);
    int GetSWVersion(unsigned short* value);
    int GetProductCode(unsigned short* value);
    int GetBatteryLevel(unsigned short* value);
    int CalibrateFullscale();
    int CalibrateZero();
    int DoConversion(unsigned short* value);
    int GetCJTemp(unsigned short* value);
    int SetChannel(unsigned short channel);
    int SetSerialNumber(unsigned short number);
    int SetCalibrationDay(unsigned short day);
    int SetCalibrationMonth(unsigned short month);
    int SetCalibrationYear(unsigned short year);
    int GetCalibrationDay(unsigned short* value);
    int GetCalibrationMonth(unsigned short* value);
    int GetCalibrationYear(unsigned short* value);
    int GetBufferCount(unsigned short* value, unsigned short argument);
    int GetSamplePeriod(unsigned short* value);
    int GetActiveChannels(unsigned short* value);
    int RestoreFactoryDefaults();
    int SetChargeTestMode();
    int ClearChargeTestMode();
    int SetFastChargeMode();
    int SetChargeModeOff();
    int SetLoggerID(unsigned short id);
    int GetLoggerID(unsigned short* value);
    int SetLoggerRange(unsigned short range);
    int GetCalibrationOffset(unsigned long* value);
    int GetCalibrationGain(unsigned long* value);
    int GetAllSettings(LOGGER_SETTING* settings);
    int SetAndStartSampling(unsigned short first, unsigned short second);

    // Reads the logger's buffer. On success *buffer is a new array of the returned length (the
    // whole reply) that the caller frees with FreeBufferData; on failure *buffer is null and
    // the result is 0 or less.
    int GetBufferData(unsigned char** buffer, unsigned char handshake, unsigned char* received);
    static void FreeBufferData(unsigned char* buffer);

    // Frames the logger sends on its own while it streams its buffer: the payload length or a
    // negative status. buffer holds kMaxPayload bytes, or capacity bytes in the second form
    // (a longer frame then gives kNothing and is not acknowledged).
    int ReadVaskDataStream(int acknowledge, unsigned char* received, unsigned char* buffer);
    int ReadVaskDataStream(int acknowledge, unsigned char* received, unsigned char* buffer,
                           unsigned long capacity);
    int ReadRS232DataStream(int acknowledge, unsigned char* received, unsigned char* buffer);
    int ReadRS232DataStream(int acknowledge, unsigned char* received, unsigned char* buffer,
                            unsigned long capacity);

    // Wave jig.
    int WaveJigInit();
    int GetWaveParallelism(unsigned short* value);
    int GetWaveBeltSpeed(unsigned short* value);
    int GetWaveHeight(unsigned short* value);
    int GetWaveDwellTime(unsigned short* value);
    int GetWaveJigStatus(unsigned short* value);
    int GetWaveTimeStampPointsHi(unsigned short* value);
    int GetWaveTimeStampPointsLo(unsigned short* value);
    int WaveJigStartRun();
    int WaveJigStopRun();
    int GetWaveChannelCount(unsigned short* value);
    int GetWaveJigSWVersion(unsigned short* value);
    // Time stamps: destination holds kMaxPayload - 1 bytes, or capacity bytes in the second
    // form; *count tells how many were stored.
    int GetWaveTimeStampData(unsigned char* destination, int* count);
    int GetWaveTimeStampData(unsigned char* destination, int* count, unsigned long capacity);
    int GetWaveTimeStampDataNext(unsigned char* destination, int* count);
    int GetWaveTimeStampDataNext(unsigned char* destination, int* count, unsigned long capacity);

    // The link and its rate: Vask at 19200, direct cable at 38400; the port is re-opened.
    int SetVaskMode();
    int SetSerialMode();
    // 1 when the transceiver's battery is good, 0 when it is low or cannot be asked.
    int TestTransceiverBattery();

    // The Vask frame synchronisation, one for the whole process (0 hunting, 1 half way,
    // 2 synchronised).
    static int GetSyncState();
    static void SetSyncState(int state);

protected:
    int GetTimeData(unsigned char command, unsigned char reply, unsigned char* destination,
                    int* count);
    int GetTimeData(unsigned char command, unsigned char reply, unsigned char* destination,
                    int* count, unsigned long capacity);

    // A simple command: [command, argument high, argument low] through SendCommand.
    int Command(const SimpleCommand& simple, unsigned short argument = 0,
                unsigned short* value = nullptr);
    // Two simple commands whose values' low bytes make one value, the second's the high byte.
    int TwoStepRead(const SimpleCommand& first, const SimpleCommand& second, unsigned long* value);
    // Reads headers over Vask, passing over up to kForeignFrameSkips frames of other stations.
    int ReadOwnFrameHeader();
    // One request and its reply frame, without judging the reply: the reply's length (1 or
    // more) or 0 or less. Over Vask the receiver is left on.
    int ExchangeVask(const unsigned char* request, int length, unsigned char* reply,
                     unsigned char* received, bool reopen, bool skipForeign);
    int ExchangeRS232(const unsigned char* request, int length, unsigned char* reply,
                      unsigned char* received, bool reopen);
    int Accept(const unsigned char* reply, int length, unsigned char received,
               unsigned char expected, unsigned short* value, int ignoreHandshake) const;
    int ReadDataStream(bool vask, int acknowledge, unsigned char* received, unsigned char* buffer,
                       unsigned long capacity);
    int Acknowledge(bool vask, unsigned char code, unsigned char handshake);
    // Up to kAttempts exchanges until a reply with the code, the host's handshake bit and,
    // unless requiredLength is negative, that length arrives; the bit is not flipped.
    int ExchangeWithRetries(const unsigned char* request, int length, unsigned char reply,
                            unsigned char* payload, int requiredLength);

    unsigned char m_byHandshake;
    unsigned char m_byRxHandshake;
    int m_bUsingVask;
    unsigned char m_byPacketID;
};
