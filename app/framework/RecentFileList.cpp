#include "app/framework/RecentFileList.h"

#include <algorithm>

CRecentFileList::CRecentFileList(int nSize) : m_nSize(std::max(nSize, 0)) {}

void CRecentFileList::Add(const std::string& strPath) {
    if (strPath.empty() || m_nSize == 0) {
        return;
    }
    auto it = std::find(m_files.begin(), m_files.end(), strPath);
    if (it != m_files.end()) {
        m_files.erase(it);
    }
    m_files.insert(m_files.begin(), strPath);
    if (static_cast<int>(m_files.size()) > m_nSize) {
        m_files.resize(static_cast<std::size_t>(m_nSize));
    }
}

void CRecentFileList::Remove(int nIndex) {
    if (nIndex >= 0 && nIndex < GetCount()) {
        m_files.erase(m_files.begin() + nIndex);
    }
}

std::string CRecentFileList::GetMenuText(int nIndex, const std::string& strCurrentDir,
                                         std::size_t nMaxLength) const {
    std::string name = m_files.at(nIndex);
    std::string dir = strCurrentDir;
    if (!dir.empty() && dir.back() != '/') {
        dir += '/';
    }
    if (!dir.empty() && name.size() > dir.size() && name.compare(0, dir.size(), dir) == 0) {
        name = name.substr(dir.size());
    }
    if (nMaxLength > 5 && name.size() > nMaxLength) {
        // Keep the file name whole where possible and cut from the folders.
        std::size_t keepTail = std::min(name.size() - name.rfind('/'), nMaxLength - 4);
        std::size_t keepHead = nMaxLength - 3 - keepTail;
        name = name.substr(0, keepHead) + "..." + name.substr(name.size() - keepTail);
    }
    // An ampersand in a name would be taken for a mnemonic.
    std::string escaped;
    for (char c : name) {
        escaped += c;
        if (c == '&') {
            escaped += '&';
        }
    }
    std::string number = std::to_string(nIndex + 1);
    return (nIndex < 9 ? "&" + number : number) + " " + escaped;
}

void CRecentFileList::ReadList(const CSettingsStore& store, HKEY hive, const std::string& strKey) {
    m_files.clear();
    for (int i = 0; i < m_nSize; ++i) {
        std::string path;
        if (store.ReadString(hive, strKey, "File" + std::to_string(i + 1), path) && !path.empty() &&
            std::find(m_files.begin(), m_files.end(), path) == m_files.end()) {
            m_files.push_back(path);
        }
    }
}

bool CRecentFileList::WriteList(CSettingsStore& store, HKEY hive, const std::string& strKey) const {
    bool ok = store.CreateKey(hive, strKey);
    for (int i = 0; i < m_nSize; ++i) {
        std::string name = "File" + std::to_string(i + 1);
        if (i < GetCount()) {
            ok = store.WriteString(hive, strKey, name, m_files[static_cast<std::size_t>(i)]) && ok;
        } else {
            std::string old;
            if (store.ReadString(hive, strKey, name, old)) {
                ok = store.DeleteValue(hive, strKey, name) && ok;
            }
        }
    }
    return ok;
}
