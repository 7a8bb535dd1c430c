#pragma once

#include "history/HistoryStatus.h"
#include "testsupport/WaitFor.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

// A temporary folder removed with everything in it.
class CTempFolder {
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;
    const std::string& Path() const { return m_strPath; }
    std::string File(const std::string& name) const { return m_strPath + "/" + name; }

private:
    std::string m_strPath;
};
