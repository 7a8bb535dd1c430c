#pragma once

#include "base/Export.h"
#include "network/Point.h"
#include "network/Stats.h"
#include "network/ZarnCall.h"
#include "network/ZarnError.h"
#include "network/ZarnPacket.h"
#include "network/ZarnRequest.h"
#include "network/ZarndReport.h"
#include "serial/SerialPort.h"

#include <optional>
#include <string>

// The analyser network: one controller (node 0) and many analysers on one shared line. Every
// request is one packet to one node, read back from the line's echo before the reply is
// awaited. Results are 1 for success and 0 for failure; GetLastError tells why a request failed.
class CZarndLink;

// A port named "zarnd://PATH" reaches the line through the line service: each request member
// is then one call the service runs on its own port, with the same results and failure reasons
// (and ZarnError::refused where the service does not let this user change an analyser).
class LINTARO_API CZarnPort : public CSerialPort {
public:
    static constexpr unsigned long kRxTimeout = 1200;
    static constexpr unsigned long kTxTimeout = 1000;
    static constexpr unsigned long kCurveRxTimeout = 6000;
    static constexpr int kCurvePoints = 500;

    CZarnPort(char const* port, unsigned long baud, unsigned char parity, unsigned char stop);
    ~CZarnPort() override;

    // Opens the port by its name, the line service's socket included.
    int SetCommPort() override;

    void SetMaxNodeID(int node) { m_nMaxNodeID = node; }
    int GetMaxNodeID() const { return m_nMaxNodeID; }

    int RequestACK(unsigned char node);
    // The presence test under a receive time-out of its own, for a quick sweep of many node
    // IDs; the receive time-out is back as it was afterwards.
    int RequestACKWithin(unsigned char node, unsigned long rxTimeoutMs);

    // Parameters and results of one analyser.
    int GetBLO(unsigned int node, unsigned short* value);
    int SetBLO(unsigned int node, unsigned short value);
    int GetTFactor(unsigned int node, unsigned short* value);
    int SetTFactor(unsigned int node, unsigned short value);
    int GetDFactor(unsigned int node, unsigned short* value);
    int SetDFactor(unsigned int node, unsigned short value);
    int GetSFactor(unsigned int node, unsigned short* value);
    int SetSFactor(unsigned int node, unsigned short value);
    int SetTeachCycles(unsigned int node, unsigned short value);
    int GetPeakForce(unsigned int node, int* value);
    int GetZoneInfo(unsigned int node, int* z1, int* z2, int* z3, int* z4, int* z5);
    int GetResultInfo(unsigned int node, short* rs1, short* rs2, short* rs3, short* rso,
                      unsigned short* ru1, unsigned short* ru2, unsigned short* ru3,
                      unsigned short* ruo);
    int GetPassFailCount(unsigned int node, unsigned int* pass, unsigned int* fail);
    int ResetBatchBuffer(unsigned int node);
    int NewReference(unsigned int node);

    // Downloads. Curves fill exactly kCurvePoints points. The batch fills at most capacity
    // points and fails when the analyser sends more.
    int DownloadForceCurve(unsigned char node, tagPOINT* points);
    int DownloadReference(unsigned char node, tagPOINT* points);
    int DownloadBatchBuffer(unsigned char node, tagPOINT* points, unsigned short* count,
                            CStats& stats, unsigned int capacity);
    int GetStatistics(unsigned int node, CStats& stats);

    // On the line service's port: its report of the line, without an exchange on the line.
    // Fails with portClosed on any other port, and as a lost line when the service is gone.
    int GetServiceReport(CZarndReport& report);

    // Why the last request failed; ZarnError::none after a success.
    ZarnError GetLastError() const { return m_lastError; }
    // After a failure with ZarnError::otherRequest: the request the line carried in place of
    // the last one sent, as its echo showed it. The analyser at that node may have carried it
    // out, and if it ChangesAnalyser(), the operator has to know. Empty otherwise; the next
    // request clears it.
    const std::optional<CZarnRequest>& GetCarriedRequest() const { return m_carried; }
    // The reason for people: ZarnErrorText, naming the carried request where there was one
    // (or, for a refusal, who was refused and why).
    std::string GetLastErrorText() const;

    // Runs a call as the member it names would, and gathers its outputs and failure reason;
    // what the line service does for its clients. The port's own last error is the outcome's.
    int Perform(const CZarnCall& call, CZarnOutcome& outcome);

protected:
    unsigned char csum_of(COAXNWKPACKET* packet);
    unsigned char lrc_of(COAXNWKPACKET* packet);
    int TransmitPacket(unsigned char command, unsigned char node, unsigned char lo,
                       unsigned char hi);
    int ReceivePacket(COAXNWKPACKET* buffer, int count);
    int ValidatePacket(COAXNWKPACKET* packet, unsigned char src, unsigned char dest);
    int CheckACKPacket(unsigned char node);
    int ReceiveAndValidate(COAXNWKPACKET* packet, unsigned int node);
    int GetParameter(unsigned int node, unsigned int code, unsigned short* value);
    int SetParameter(unsigned int node, unsigned int code, unsigned short value);
    int DownloadCurve(unsigned char node, tagPOINT* points);

    int Fail(ZarnError error) {
        // Whatever the exchange saw, a device that failed under it is the reason.
        m_lastError = IsLineLost() ? ZarnError::lineLost : error;
        return 0;
    }
    int Succeed() {
        m_lastError = ZarnError::none;
        return 1;
    }

    int m_nMaxNodeID;
    ZarnError m_lastError = ZarnError::none;
    std::optional<CZarnRequest> m_carried;
    std::string m_strErrorDetail;

private:
    // The line service behind the port, when it is open on one.
    CZarndLink* Link() const;
    // Runs the call through the service; 1 or 0 with the outcome's failure reason.
    int Remote(CZarndLink& link, const CZarnCall& call, CZarnOutcome& outcome);
    int RemoteWord(CZarndLink& link, const CZarnCall& call, unsigned short* value);
    int RemoteCurve(CZarndLink& link, const CZarnCall& call, tagPOINT* points);

    // Receives one whole packet and validates it; sets the failure reason.
    int ReceiveWhole(COAXNWKPACKET* packet, unsigned char node);
    int OrderWithAck(unsigned char code, unsigned int node, std::uint16_t value);
};
