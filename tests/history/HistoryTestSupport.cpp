#include "tests/history/HistoryTestSupport.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

CTempFolder::CTempFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/quorvel-hist-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) {
        m_strPath = pattern;
    }
}

CTempFolder::~CTempFolder() {
    if (!m_strPath.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_strPath, ignored);
    }
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}
