#include "service/ServiceLog.h"

#include <cstdlib>
#include <mutex>
#include <unistd.h>

namespace {

std::mutex g_mutex;

const char* LevelWord(CServiceLog::Level level) {
    switch (level) {
    case CServiceLog::Level::error:
        return "error";
    case CServiceLog::Level::warning:
        return "warning";
    case CServiceLog::Level::notice:
        return "notice";
    case CServiceLog::Level::info:
        return "info";
    case CServiceLog::Level::debug:
        return "debug";
    }
    return "info";
}

} // namespace

bool CServiceLog::IsJournal() {
    static const bool bJournal = std::getenv("JOURNAL_STREAM") != nullptr;
    return bJournal;
}

void CServiceLog::Write(Level level, const std::string& text) {
    std::string line = IsJournal() ? "<" + std::to_string(static_cast<int>(level)) + ">" + text
                                   : std::string("zarnd: ") + LevelWord(level) + ": " + text;
    // A line never spans two: the service writes every message as one line.
    for (char& c : line) {
        if (c == '\n') {
            c = ' ';
        }
    }
    line += '\n';
    std::lock_guard lock(g_mutex);
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}
