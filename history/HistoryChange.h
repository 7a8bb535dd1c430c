#pragma once

#include <cstdint>
#include <optional>
#include <string>

class CZarnRequest;

// One change the program made (or tried to make) to an analyser.
class CHistoryChange {
public:
    enum class Parameter { blo, tfactor, dfactor, sfactor, teachCycles, resetBatch, newReference };

    Parameter m_parameter = Parameter::blo;
    std::optional<std::int64_t> m_nBefore; // the value read before the change, if it was read
    std::optional<std::int64_t> m_nAfter;  // the value sent; none for a reset or new reference
    bool m_bOk = false;
    std::string m_strUser;      // the operating-system user; empty: the store fills in the current
    std::string m_strError;     // why it failed, when it did
    std::int64_t m_nTimeMs = 0; // UTC milliseconds; 0: the time it is recorded

    // "blo", "tfactor", "dfactor", "sfactor", "teach", "reset", "reference".
    static const char* ParameterName(Parameter parameter);
    static bool ParseParameter(const std::string& name, Parameter& parameter);
    // The parameter a changing request code sets; false for a code that changes nothing.
    static bool ParameterOfCode(unsigned char code, Parameter& parameter);
    // The change a request made by noise on the line stands for: not acknowledged, with why.
    // False for a request that changes nothing.
    static bool FromNoise(const CZarnRequest& carried, CHistoryChange& change);
};
