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
