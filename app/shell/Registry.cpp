#include "app/shell/Registry.h"

#include "app/stats/StatsDoc.h"
#include "base/FileIO.h"
#include "records/StationFile.h"

CSettingsStore& ProgramSettings() {
    static CSettingsStore store("Velmora", "Quorvel");
    return store;
}

void RemoveLeftoverTemporaries() {
    RemoveStaleTemporaryFiles(".", {StationFile::kFileName, CStatsDoc::kListFile});
    std::vector<std::string> settings;
    for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        const std::string path = ProgramSettings().GetFilePath(hive);
        settings.push_back(path.substr(path.rfind('/') + 1));
    }
    RemoveStaleTemporaryFiles(ProgramSettings().GetFolder(), settings);
}

BOOL ReadRegString(HKEY hive, const std::string& strKey, const std::string& strValue,
                   std::string& str) {
    if (!ProgramSettings().KeyExists(hive, strKey)) {
        return FALSE;
    }
    return ProgramSettings().ReadString(hive, strKey, strValue, str) ? TRUE : FALSE;
}

BOOL ReadRegDword(HKEY hive, const std::string& strKey, const std::string& strValue, DWORD* pdw) {
    if (pdw == nullptr || !ProgramSettings().KeyExists(hive, strKey)) {
        return FALSE;
    }
    std::uint32_t value = 0;
    if (!ProgramSettings().ReadDword(hive, strKey, strValue, value)) {
        return FALSE;
    }
    *pdw = value;
    return TRUE;
}

BOOL WriteRegString(HKEY hive, const std::string& strKey, const std::string& strValue,
                    const std::string& str) {
    if (str.empty()) {
        return ProgramSettings().CreateKey(hive, strKey) ? TRUE : FALSE;
    }
    return ProgramSettings().WriteString(hive, strKey, strValue, str) ? TRUE : FALSE;
}

BOOL WriteRegDword(HKEY hive, const std::string& strKey, const std::string& strValue, DWORD dw) {
    return ProgramSettings().WriteDword(hive, strKey, strValue, dw) ? TRUE : FALSE;
}
