#include "app/network/PressProperties.h"

#include "app/history/HistoryRecorder.h"
#include "network/ZarnPort.h"

#include <chrono>
#include <memory>
#include <thread>
#include <utility>

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

CPressProperties::CPressProperties(const CPress& press, FindPressFn findPress, CHost& host)
    : m_nNodeID(static_cast<unsigned>(press.GetNodeID())),
      m_nTeachCycles(static_cast<unsigned>(press.GetTeachCycles())),
      m_nBLO(static_cast<unsigned>(press.GetBLO())), m_dDFactor(press.GetDFactor()),
      m_dTFactor(press.GetTFactor()), m_dSFactor(press.GetSFactor()),
      m_strSerialNo(press.GetSerialNo()), m_strName(press.GetName()),
      m_strTerminalType(press.GetTerminalType()), m_strWireType(press.GetWireType()),
      m_press(press), m_findPress(std::move(findPress)), m_host(host) {}

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
    const auto node = static_cast<unsigned char>(m_nNodeID);
    m_host.Run(Request::open, {[node](CZarnPort& port) { return port.RequestACK(node) != 0; }},
               [this](bool bOk) {
                   if (!bOk) {
                       SetStatus(false);
                       m_bIconOnline = false;
                       m_host.Refresh();
                       return;
                   }
                   ReadLimitsThen(Request::open, [this] {
                       SetStatus(true);
                       m_bIconOnline = true;
                       m_host.Refresh();
                   });
               });
}

void CPressProperties::ReadLimits() {
    ReadLimitsThen(Request::getLimits, [this] { m_host.Refresh(); });
}

void CPressProperties::ReadLimitsThen(Request request, std::function<void()> then) {
    m_nBLO = 0;
    m_dDFactor = m_dSFactor = m_dTFactor = 0;
    m_readBLO.reset();
    m_readD.reset();
    m_readS.reset();
    m_readT.reset();
    m_host.ShowReadings();
    const unsigned node = m_nNodeID;
    const Poster post = m_host.MakePoster();
    // Each value is shown as it arrives; at the first failure nothing more is asked.
    auto read = [this, node, post](int (CZarnPort::*get)(unsigned int, unsigned short*),
                                   std::function<void(unsigned short)> take) -> CLineWorker::Step {
        return [this, node, post, get, take](CZarnPort& port) {
            unsigned short v = 0;
            if (!(port.*get)(node, &v)) {
                return false;
            }
            post([this, take, v] {
                take(v);
                m_host.ShowReadings();
            });
            return true;
        };
    };
    std::vector<CLineWorker::Step> steps{
        read(&CZarnPort::GetBLO,
             [this](unsigned short v) {
                 m_nBLO = v;
                 m_readBLO = v;
             }),
        read(&CZarnPort::GetDFactor,
             [this](unsigned short v) {
                 m_dDFactor = v * 0.01;
                 m_readD = v;
             }),
        read(&CZarnPort::GetSFactor,
             [this](unsigned short v) {
                 m_dSFactor = v * 0.01;
                 m_readS = v;
             }),
        read(&CZarnPort::GetTFactor,
             [this](unsigned short v) {
                 m_dTFactor = v * 0.01;
                 m_readT = v;
             }),
    };
    m_host.Run(request, std::move(steps), [this, then = std::move(then)](bool bOk) {
        if (!bOk) {
            m_host.Message(kIdsParamReadFailed, {}, Icon::stop);
        }
        then();
    });
}

bool CPressProperties::WriteLimits(const Fields& fields) {
    if (!TakeFields(fields)) {
        return false;
    }
    const unsigned node = m_nNodeID;
    const auto blo = static_cast<unsigned short>(m_nBLO);
    const std::uint16_t d = Hundredths(m_dDFactor);
    const std::uint16_t sf = Hundredths(m_dSFactor);
    const std::uint16_t t = Hundredths(m_dTFactor);
    using P = CHistoryChange::Parameter;
    const CHost::ChangeSink record = m_host.MakeChangeSink();
    std::vector<CLineWorker::Step> steps{
        SetStep(record, node, &CZarnPort::SetBLO, blo, P::blo, m_readBLO),
        SetStep(record, node, &CZarnPort::SetDFactor, d, P::dfactor, m_readD),
        SetStep(record, node, &CZarnPort::SetSFactor, sf, P::sfactor, m_readS),
        SetStep(record, node, &CZarnPort::SetTFactor, t, P::tfactor, m_readT),
    };
    m_host.Run(Request::setLimits, std::move(steps), [this, blo, d, sf, t](bool bOk) {
        // After a failure it is not known which values the analyser holds.
        m_readBLO = bOk ? std::optional<std::int64_t>(blo) : std::nullopt;
        m_readD = bOk ? std::optional<std::int64_t>(d) : std::nullopt;
        m_readS = bOk ? std::optional<std::int64_t>(sf) : std::nullopt;
        m_readT = bOk ? std::optional<std::int64_t>(t) : std::nullopt;
        if (!bOk) {
            m_host.Message(kIdsParamWriteFailed, {}, Icon::stop);
        } else {
            m_host.Confirm("Limits set on " + m_press.GetName());
        }
        m_host.Refresh();
    });
    return true;
}

CLineWorker::Step CPressProperties::SetStep(const CHost::ChangeSink& record, unsigned node,
                                            int (CZarnPort::*set)(unsigned int, unsigned short),
                                            unsigned short value,
                                            CHistoryChange::Parameter parameter,
                                            std::optional<std::int64_t> before) {
    CHistoryChange change;
    change.m_parameter = parameter;
    change.m_nBefore = before;
    change.m_nAfter = value;
    // A value sent as it was read is no change; one sent without a reading before it is
    // recorded with its value before unknown.
    const bool bChange = !before || *before != static_cast<std::int64_t>(value);
    std::function<void(const CHistoryChange&)> sink;
    if (record && bChange) {
        sink = [record, node](const CHistoryChange& done) { record(node, done); };
    }
    return CHistoryRecorder::RecordedStep(
        std::move(change),
        [node, set, value](CZarnPort& port) { return (port.*set)(node, value) != 0; },
        std::move(sink));
}

void CPressProperties::ReadProductionThen(Request request, std::function<void()> then) {
    const unsigned node = m_nNodeID;
    auto peak = std::make_shared<int>(0);
    // The pass and fail counts are asked whatever the peak force gave, after its message.
    m_host.Run(request,
               {[node, peak](CZarnPort& port) { return port.GetPeakForce(node, peak.get()) != 0; }},
               [this, node, peak, request, then = std::move(then)](bool bOk) {
                   if (bOk) {
                       m_strPeak = std::to_string(*peak);
                   } else {
                       m_strPeak = "???";
                       m_host.Message(kIdsPeakFailed, {}, Icon::stop);
                   }
                   m_host.ShowReadings();
                   auto counts = std::make_shared<std::pair<unsigned int, unsigned int>>();
                   m_host.Run(
                       request, {[node, counts](CZarnPort& port) {
                           if (!port.GetPassFailCount(node, &counts->first, &counts->second)) {
                               return false;
                           }
                           // The analyser is given a moment before anything else is asked.
                           std::this_thread::sleep_for(std::chrono::milliseconds(100));
                           return true;
                       }},
                       [this, counts, then](bool bCountsOk) {
                           if (bCountsOk) {
                               m_strPass = std::to_string(counts->first);
                               m_strFail = std::to_string(counts->second);
                           } else {
                               m_strPass = m_strFail = m_strPeak = "???";
                               m_host.Message(kIdsPassFailFailed, {}, Icon::stop);
                           }
                           m_host.ShowReadings();
                           then();
                       });
               });
}

bool CPressProperties::ReadProduction(const Fields& fields) {
    if (!TakeFields(fields)) {
        return false;
    }
    ReadProductionThen(Request::getProduction, [this] { m_host.Refresh(); });
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
    const unsigned node = m_nNodeID;
    const auto cycles = static_cast<unsigned short>(m_nTeachCycles);
    // The analyser's teach cycles cannot be read: the change has no value before it.
    m_host.Run(Request::setTeachCycles,
               {SetStep(m_host.MakeChangeSink(), node, &CZarnPort::SetTeachCycles, cycles,
                        CHistoryChange::Parameter::teachCycles, std::nullopt)},
               [this](bool bOk) {
                   if (!bOk) {
                       m_host.Message(kIdsTeachFailed, {}, Icon::stop);
                   }
               });
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
    if (NodeInUse()) {
        SetStatus(false);
        m_host.Refresh();
        return true;
    }
    const auto node = static_cast<unsigned char>(m_nNodeID);
    m_host.Run(Request::checkID, {[node](CZarnPort& port) { return port.RequestACK(node) != 0; }},
               [this](bool bOk) {
                   if (!bOk) {
                       SetStatus(false);
                       m_bIconOnline = false;
                       m_host.Refresh();
                       m_host.Message(kIdsNoResponse, {}, Icon::information);
                       return;
                   }
                   SetStatus(true);
                   ReadProductionThen(Request::checkID, [this] {
                       ReadLimitsThen(Request::checkID, [this] {
                           m_bIconOnline = true;
                           m_host.Refresh();
                           m_host.Message(kIdsResponded, {}, Icon::information);
                       });
                   });
               });
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
