#pragma once

#include <string>
#include <vector>

// The program's command line:
//   --port NAME        use this serial port for this run, as if chosen in Serial Port Settings
//   --simulate         run on the built-in simulated analyser line (nodes 1 to 12)
//   --history TARGET   record the history in this file or postgresql:// database for this run
//   --no-splash        start without the splash screen
//   --measure-startup  report the time to the main window and end
//   --help             print the usage and end
//   --version          print the version and end
// File names are accepted and ignored; options of the Qt user-interface layer pass through.
class CCommandLineInfo {
public:
    bool Parse(int argc, const char* const* argv);
    static std::string Usage(const std::string& strProgram);

    bool m_bShowSplash = true;
    bool m_bSimulate = false;
    bool m_bPortGiven = false;
    std::string m_strPort;
    bool m_bHistoryGiven = false;
    std::string m_strHistory;
    bool m_bMeasureStartup = false;
    bool m_bHelp = false;
    bool m_bVersion = false;
    std::vector<std::string> m_ignoredFiles;
    std::string m_strError;
};
