#include "history/HistoryChange.h"

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
