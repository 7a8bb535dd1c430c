#pragma once

#include "app/framework/WinTypes.h"

#include <string>

// The program's string resources: texts addressed by number, held exactly as written (a "\n"
// in a text is a line break). The framework's own texts are built in; the program registers
// its resource script at start-up. Texts are UTF-8.
class CStringTable {
public:
    // The text of a string resource; empty when there is none.
    static std::string Load(UINT nID);
    static bool Has(UINT nID);
    // Adds or replaces a text.
    static void Register(UINT nID, const std::string& strText);

    // The text with every %1 replaced by the argument.
    static std::string Format1(UINT nID, const std::string& strArg);
    static std::string FormatText1(const std::string& strText, const std::string& strArg);

    // A command's string is its status-bar prompt, then after a line break its tool tip.
    static std::string Prompt(UINT nID);
    static std::string ToolTip(UINT nID);
};
