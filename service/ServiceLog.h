#pragma once

#include <string>

// The service's log on standard error, one line a message. Under systemd (JOURNAL_STREAM set)
// each line carries the sd-daemon level prefix ("<4>") for the journal; in a terminal the level
// is spelt out ("warning: ...").
class CServiceLog {
public:
    enum class Level { error = 3, warning = 4, notice = 5, info = 6, debug = 7 };

    static void Write(Level level, const std::string& text);
    static void Error(const std::string& text) { Write(Level::error, text); }
    static void Warning(const std::string& text) { Write(Level::warning, text); }
    static void Notice(const std::string& text) { Write(Level::notice, text); }
    static void Info(const std::string& text) { Write(Level::info, text); }
    // Whether lines go to the journal (and so carry the prefix).
    static bool IsJournal();
};
