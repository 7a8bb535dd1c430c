#pragma once

#include "app/framework/SettingsStore.h"

#include <string>
#include <vector>

// The recently used files, newest first, kept in the settings store as "File1", "File2", ...
// under one key.
class CRecentFileList {
public:
    explicit CRecentFileList(int nSize = 4);

    int GetSize() const { return m_nSize; }
    int GetCount() const { return static_cast<int>(m_files.size()); }
    const std::string& operator[](int nIndex) const { return m_files.at(nIndex); }

    // Puts the file first; a file already listed moves up, the oldest drops off the end.
    void Add(const std::string& strPath);
    void Remove(int nIndex);

    // The text of the menu entry for one file: "&1 name", the name relative to the current
    // folder when the file lies below it, shortened in the middle beyond nMaxLength.
    std::string GetMenuText(int nIndex, const std::string& strCurrentDir,
                            std::size_t nMaxLength = 60) const;

    void ReadList(const CSettingsStore& store, HKEY hive, const std::string& strKey);
    bool WriteList(CSettingsStore& store, HKEY hive, const std::string& strKey) const;

private:
    int m_nSize;
    std::vector<std::string> m_files;
};
