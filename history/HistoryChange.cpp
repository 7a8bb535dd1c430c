#include "history/HistoryChange.h"

#include "network/ZarnCodes.h"
#include "network/ZarnRequest.h"

namespace {

const char* const kNames[] = {"blo",   "tfactor", "dfactor",  "sfactor",
                              "teach", "reset",   "reference"};

} // namespace

const char* CHistoryChange::ParameterName(Parameter parameter) {
    const auto i = static_cast<std::size_t>(parameter);
    return i < std::size(kNames) ? kNames[i] : "unknown";
}

bool CHistoryChange::ParseParameter(const std::string& name, Parameter& parameter) {
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
        if (name == kNames[i]) {
            parameter = static_cast<Parameter>(i);
            return true;
        }
    }
    return false;
}

bool CHistoryChange::ParameterOfCode(unsigned char code, Parameter& parameter) {
    using namespace ZarnCode;
    switch (code) {
    case kSetBLO:
        parameter = Parameter::blo;
        return true;
    case kSetTFactor:
        parameter = Parameter::tfactor;
        return true;
    case kSetDFactor:
        parameter = Parameter::dfactor;
        return true;
    case kSetSFactor:
        parameter = Parameter::sfactor;
        return true;
    case kSetTeachCycles:
        parameter = Parameter::teachCycles;
        return true;
    case kReqResetBatch:
        parameter = Parameter::resetBatch;
        return true;
    case kReqNewReference:
        parameter = Parameter::newReference;
        return true;
    default:
        return false;
    }
}

bool CHistoryChange::FromNoise(const CZarnRequest& carried, CHistoryChange& change) {
    if (!ParameterOfCode(carried.m_nCode, change.m_parameter)) {
        return false;
    }
    change.m_nBefore.reset();
    change.m_nAfter.reset();
    if (change.m_parameter != Parameter::resetBatch &&
        change.m_parameter != Parameter::newReference) {
        change.m_nAfter = carried.m_nData;
    }
    // Nobody ordered it and nothing acknowledged it; whether the analyser obeyed is unknown.
    change.m_bOk = false;
    change.m_strError = "made by noise on the line from another request (\"" + carried.Describe() +
                        "\"); the analyser may have carried it out";
    return true;
}
