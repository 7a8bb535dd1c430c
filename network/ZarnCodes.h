#pragma once

// Request codes of the analyser network, for both ends of the line. Each readable parameter
// has an even code and its setter the next odd one.
namespace ZarnCode {

constexpr unsigned char kReqAck = 1;
constexpr unsigned char kReqForceCurve = 2;
constexpr unsigned char kReqReference = 3;
constexpr unsigned char kReqBatch = 4;
constexpr unsigned char kReqResetBatch = 5;
constexpr unsigned char kReqPassFail = 6;
constexpr unsigned char kReqNewReference = 7;
constexpr unsigned char kSetTeachCycles = 19;
constexpr unsigned char kGetPeakForce = 29;
constexpr unsigned char kGetZone1 = 50; // to kGetZone5, one code a value
constexpr unsigned char kGetZone5 = 54;
constexpr unsigned char kGetResult1 = 55; // RS1 to RSO signed, then RU1 to RUO unsigned
constexpr unsigned char kGetResultSigned4 = 58;
constexpr unsigned char kGetResult8 = 62;
constexpr unsigned char kGetBLO = 66;
constexpr unsigned char kSetBLO = 67;
constexpr unsigned char kGetTFactor = 68;
constexpr unsigned char kSetTFactor = 69;
constexpr unsigned char kGetDFactor = 70;
constexpr unsigned char kSetDFactor = 71;
constexpr unsigned char kGetSFactor = 72;
constexpr unsigned char kSetSFactor = 73;
constexpr unsigned char kReqStatistics = 74;

} // namespace ZarnCode
