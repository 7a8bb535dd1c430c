#pragma once

#include "base/Export.h"

namespace lintaro {

// The platform's millisecond tick, sleep and per-thread last-error code, on the installed clock.
LINTARO_API unsigned long GetTickCount();
LINTARO_API void Sleep(unsigned long ms);
LINTARO_API void SetLastError(unsigned long code);
LINTARO_API unsigned long GetLastError();

} // namespace lintaro
