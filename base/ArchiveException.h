#pragma once

#include "base/Export.h"

#include <stdexcept>
#include <string>

// Thrown inside an archive on damaged or truncated data; caught where the file is read.
class LINTARO_API CArchiveException : public std::runtime_error {
public:
    enum Cause { endOfFile, badClass, badSchema, badIndex, badString };
    CArchiveException(Cause cause, const std::string& what)
        : std::runtime_error(what), m_cause(cause) {}
    Cause GetCause() const { return m_cause; }

private:
    Cause m_cause;
};
