#include "app/network/PressProperties.h"

#include "network/ZarnPort.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// String table numbers of the dialog's texts.
constexpr unsigned kIdsNodeInUse = 1003;
constexpr unsigned kIdsResponded = 1004;
constexpr unsigned kIdsNoResponse = 1005;
constexpr unsigned kIdsPassFailFailed = 1006;
constexpr unsigned kIdsPeakFailed = 1007;
constexpr unsigned kIdsParamReadFailed = 1008;
constexpr unsigned kIdsParamWriteFailed = 1010;
constexpr unsigned kIdsTeachValues = 1014;
constexpr unsigned kIdsTeachFailed = 1015;
constexpr unsigned kIdsStatusNoResponse = 1016;
constexpr unsigned kIdsStatusOnline = 1017;

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) {
        return {};
    }
    std::size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool ParseUnsigned(const std::string& text, unsigned long long& value) {
    std::string t = Trim(text);
    if (!t.empty() && t[0] == '+') {
        t.erase(0, 1);
    }
    if (t.empty() || t.size() > 18 || t.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = std::strtoull(t.c_str(), nullptr, 10);
    return true;
}

bool ParseDouble(const std::string& text, double& value) {
    std::string t = Trim(text);
    if (t.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtod(t.c_str(), &end);
    return end && *end == '\0' && errno == 0 && std::isfinite(value);
}

// The factor as the analyser holds it: hundredths, cut toward zero.
std::uint16_t Hundredths(double value) {
    double h = std::trunc(value * 100.0);
    if (h < 0) {
        return 0;
    }
    if (h > 65535) {
        return 65535;
    }
    return static_cast<std::uint16_t>(h);
}

} // namespace

CPressProperties::CPressProperties(const CPress& press, CZarnPort& port, FindPressFn findPress,
                                   CHost& host)
    : m_nNodeID(static_cast<unsigned>(press.GetNodeID())),
      m_nTeachCycles(static_cast<unsigned>(press.GetTeachCycles())),
      m_nBLO(static_cast<unsigned>(press.GetBLO())), m_dDFactor(press.GetDFactor()),
      m_dTFactor(press.GetTFactor()), m_dSFactor(press.GetSFactor()),
      m_strSerialNo(press.GetSerialNo()), m_strName(press.GetName()),
      m_strTerminalType(press.GetTerminalType()), m_strWireType(press.GetWireType()),
      m_press(press), m_port(port), m_findPress(std::move(findPress)), m_host(host) {}

std::string CPressProperties::FormatDouble(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    return buf;
}

CPressProperties::Fields CPressProperties::ShowValues() const {
    Fields f;
    f.strNodeID = std::to_string(m_nNodeID);
    f.strTeachCycles = std::to_string(m_nTeachCycles);
    f.strSerialNo = m_strSerialNo;
    f.strName = m_strName;
    f.strTerminalType = m_strTerminalType;
    f.strPass = m_strPass;
    f.strFail = m_strFail;
    f.strPeak = m_strPeak;
    f.strDFactor = FormatDouble(m_dDFactor);
    f.strTFactor = FormatDouble(m_dTFactor);
    f.strSFactor = FormatDouble(m_dSFactor);
    f.strBLO = std::to_string(m_nBLO);
    f.strWireType = m_strWireType;
    f.strStatus = m_strStatus;
    return f;
}

bool CPressProperties::TakeFields(const Fields& f) {
    auto takeUnsigned = [&](const std::string& text, unsigned lo, unsigned hi, Field field,
                            unsigned& out) {
        unsigned long long v;
        if (!ParseUnsigned(text, v)) {
            m_host.MessageText("Please enter a positive integer.", Icon::exclamation);
            m_host.FocusField(field);
            return false;
        }
        if (v < lo || v > hi) {
            m_host.MessageText("Please enter an integer between " + std::to_string(lo) + " and " +
                                   std::to_string(hi) + ".",
                               Icon::exclamation);
            m_host.FocusField(field);
            return false;
        }
        out = static_cast<unsigned>(v);
        return true;
    };
    auto takeDouble = [&](const std::string& text, double lo, double hi, Field field, double& out) {
        double v;
        if (!ParseDouble(text, v)) {
            m_host.MessageText("Please enter a number.", Icon::exclamation);
            m_host.FocusField(field);
            return false;
        }
        if (v < lo || v > hi) {
            m_host.MessageText("Please enter a number between " + FormatDouble(lo) + " and " +
                                   FormatDouble(hi) + ".",
                               Icon::exclamation);
            m_host.FocusField(field);
            return false;
        }
        out = v;
        return true;
    };
    // In the order of the dialog's fields; values before a bad one are taken.
    if (!takeUnsigned(f.strNodeID, 1, 254, Field::nodeID, m_nNodeID) ||
        !takeUnsigned(f.strTeachCycles, 5, 15, Field::teachCycles, m_nTeachCycles)) {
        return false;
    }
    m_strSerialNo = f.strSerialNo;
    m_strName = f.strName;
    m_strTerminalType = f.strTerminalType;
    m_strPass = f.strPass;
    m_strFail = f.strFail;
    m_strPeak = f.strPeak;
    if (!takeDouble(f.strDFactor, 2, 10, Field::dFactor, m_dDFactor) ||
        !takeDouble(f.strTFactor, 0.5, 1.5, Field::tFactor, m_dTFactor) ||
        !takeDouble(f.strSFactor, 2, 10, Field::sFactor, m_dSFactor) ||
        !takeUnsigned(f.strBLO, 10, 200, Field::blo, m_nBLO)) {
        return false;
    }
    m_strWireType = f.strWireType;
    m_strStatus = f.strStatus;
    return true;
}

void CPressProperties::SetStatus(bool online) {
    m_strStatus = m_host.String(online ? kIdsStatusOnline : kIdsStatusNoResponse);
    m_bAnalyserControls = online;
}

void CPressProperties::Open() {
    m_host.WaitCursor(true);
    if (m_port.RequestACK(static_cast<unsigned char>(m_nNodeID))) {
        ReadLimits();
        SetStatus(true);
        m_bIconOnline = true;
    } else {
        SetStatus(false);
        m_bIconOnline = false;
    }
    m_host.WaitCursor(false);
}

void CPressProperties::ReadLimits() {
    m_host.WaitCursor(true);
    m_nBLO = 0;
    m_dDFactor = m_dSFactor = m_dTFactor = 0;
    unsigned short v = 0;
    bool ok = m_port.GetBLO(m_nNodeID, &v);
    if (ok) {
        m_nBLO = v;
        ok = m_port.GetDFactor(m_nNodeID, &v);
    }
    if (ok) {
        m_dDFactor = v * 0.01;
        ok = m_port.GetSFactor(m_nNodeID, &v);
    }
    if (ok) {
        m_dSFactor = v * 0.01;
        ok = m_port.GetTFactor(m_nNodeID, &v);
    }
    if (ok) {
        m_dTFactor = v * 0.01;
    } else {
        m_host.Message(kIdsParamReadFailed, {}, Icon::stop);
    }
    m_host.WaitCursor(false);
}

bool CPressProperties::WriteLimits(const Fields& fields) {
    if (!TakeFields(fields)) {
        return false;
    }
    m_host.WaitCursor(true);
    const unsigned node = m_nNodeID;
    const bool ok = m_port.SetBLO(node, static_cast<unsigned short>(m_nBLO)) &&
                    m_port.SetDFactor(node, Hundredths(m_dDFactor)) &&
                    m_port.SetSFactor(node, Hundredths(m_dSFactor)) &&
                    m_port.SetTFactor(node, Hundredths(m_dTFactor));
    if (!ok) {
        m_host.Message(kIdsParamWriteFailed, {}, Icon::stop);
    }
    m_host.WaitCursor(false);
    return true;
}

void CPressProperties::ReadProductionAfterTake() {
    int peak = 0;
    if (m_port.GetPeakForce(m_nNodeID, &peak)) {
        m_strPeak = std::to_string(peak);
    } else {
        m_strPeak = "???";
        m_host.Message(kIdsPeakFailed, {}, Icon::stop);
    }
    unsigned int pass = 0, fail = 0;
    if (m_port.GetPassFailCount(m_nNodeID, &pass, &fail)) {
        m_strPass = std::to_string(pass);
        m_strFail = std::to_string(fail);
        m_host.Pause(100);
    } else {
        m_strPass = m_strFail = m_strPeak = "???";
        m_host.Message(kIdsPassFailFailed, {}, Icon::stop);
    }
}

bool CPressProperties::ReadProduction(const Fields& fields) {
    if (!TakeFields(fields)) {
        return false;
    }
    m_host.WaitCursor(true);
    ReadProductionAfterTake();
    m_host.WaitCursor(false);
    return true;
}

bool CPressProperties::SetTeachCycles(const Fields& fields) {
    if (!TakeFields(fields)) {
        return false;
    }
    // The analyser takes 5, 7, 11, 13 or 15 teach cycles, as the message says; 9 is refused too.
    if (m_nTeachCycles % 2 == 0 || m_nTeachCycles == 9) {
        m_host.Message(kIdsTeachValues, {}, Icon::stop);
        return true;
    }
    m_host.WaitCursor(true);
    if (!m_port.SetTeachCycles(m_nNodeID, static_cast<unsigned short>(m_nTeachCycles))) {
        m_host.Message(kIdsTeachFailed, {}, Icon::stop);
    }
    m_host.WaitCursor(false);
    return true;
}

bool CPressProperties::NodeInUse() {
    const CPress* other = m_findPress ? m_findPress(static_cast<int>(m_nNodeID)) : nullptr;
    if (other && other != &m_press) {
        m_host.Message(kIdsNodeInUse, other->GetName(), Icon::information);
        return true;
    }
    return false;
}

bool CPressProperties::CheckID(const Fields& fields) {
    if (!TakeFields(fields)) {
        return false;
    }
    m_host.WaitCursor(true);
    if (NodeInUse()) {
        SetStatus(false);
    } else if (m_port.RequestACK(static_cast<unsigned char>(m_nNodeID))) {
        SetStatus(true);
        ReadProductionAfterTake();
        ReadLimits();
        m_bIconOnline = true;
        m_host.Message(kIdsResponded, {}, Icon::information);
    } else {
        SetStatus(false);
        m_bIconOnline = false;
        m_host.Message(kIdsNoResponse, {}, Icon::information);
    }
    m_host.WaitCursor(false);
    return true;
}

bool CPressProperties::FactorArrow(const Fields& fields, Factor factor, bool up) {
    if (!TakeFields(fields)) {
        return false;
    }
    double* value = factor == Factor::d   ? &m_dDFactor
                    : factor == Factor::s ? &m_dSFactor
                                          : &m_dTFactor;
    const double lo = factor == Factor::t ? 0.5 : 2.0;
    const double hi = factor == Factor::t ? 1.5 : 10.0;
    // The bound is tested before the step, so a value just inside can step past it.
    if (up && *value < hi) {
        *value += 0.1;
    } else if (!up && *value > lo) {
        *value -= 0.1;
    }
    return true;
}

bool CPressProperties::OK(const Fields& fields) {
    if (!TakeFields(fields)) {
        return false;
    }
    return !NodeInUse();
}

bool CPressProperties::ApplyTo(CPress& press) const {
    press.SetNodeID(static_cast<int>(m_nNodeID));
    press.SetTeachCycles(static_cast<int>(m_nTeachCycles));
    press.SetTFactor(m_dTFactor);
    press.SetSFactor(m_dSFactor);
    press.SetDFactor(m_dDFactor);
    press.SetBLO(static_cast<int>(m_nBLO));
    press.SetWireType(m_strWireType);
    press.SetTerminalType(m_strTerminalType);
    press.SetSerialNo(m_strSerialNo);
    if (press.GetName() != m_strName) {
        press.SetName(m_strName);
        return true;
    }
    return false;
}
