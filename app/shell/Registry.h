#pragma once

#include "app/framework/SettingsStore.h"
#include "app/framework/WinTypes.h"

#include <string>

// The program's keys, below their hives.
constexpr const char* REG_KEY_SETTINGS = "Software\\Velmora\\Quorvel\\Settings";
constexpr const char* REG_KEY_MAIN_WINDOW = "Software\\Velmora\\Quorvel\\MainWindow";
constexpr const char* REG_KEY_NETWORK_VIEW = "Software\\Velmora\\Quorvel\\QuorvelView";

// The program's settings store (Velmora/Quorvel in the user's configuration folder).
CSettingsStore& ProgramSettings();

// Removes what killed earlier runs left of their file writes beside the program's own files: in
// the working folder (station file, statistics list) and in the settings folder.
void RemoveLeftoverTemporaries();

// Reads a string value; FALSE when the key or value cannot be read, and then the string keeps
// what it held.
BOOL ReadRegString(HKEY hive, const std::string& strKey, const std::string& strValue,
                   std::string& str);
// Reads a 32-bit number into *pdw; FALSE and *pdw untouched when it cannot be read.
BOOL ReadRegDword(HKEY hive, const std::string& strKey, const std::string& strValue, DWORD* pdw);
// Creates or opens the key and writes the string; an empty string writes nothing. FALSE when
// the key cannot be created or the value cannot be written.
BOOL WriteRegString(HKEY hive, const std::string& strKey, const std::string& strValue,
                    const std::string& str);
BOOL WriteRegDword(HKEY hive, const std::string& strKey, const std::string& strValue, DWORD dw);
