#include "app/shell/CommandLineInfo.h"

#include <algorithm>
#include <array>

namespace {

// Options of the user-interface layer, and whether each takes a value.
struct QtOption {
    const char* name;
    bool bValue;
};
constexpr std::array<QtOption, 16> kQtOptions = {{
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"qwindowicon", true},
    {"qwindowtitle", true},
    {"reverse", false},
    {"session", true},
    {"style", true},
    {"stylesheet", true},
    {"widgetcount", false},
    {"display", true},
    {"geometry", true},
    {"name", true},
    {"title", true},
}};

const QtOption* FindQtOption(const std::string& name) {
    auto it = std::find_if(kQtOptions.begin(), kQtOptions.end(),
                           [&](const QtOption& o) { return name == o.name; });
    return it == kQtOptions.end() ? nullptr : &*it;
}

} // namespace

bool CCommandLineInfo::Parse(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] != nullptr ? argv[i] : "";
        if (arg == "--") {
            for (++i; i < argc; ++i) {
                m_ignoredFiles.emplace_back(argv[i]);
            }
            break;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            m_ignoredFiles.push_back(arg); // a file name: not opened
            continue;
        }
        std::string name = arg.substr(arg[1] == '-' ? 2 : 1);
        std::string value;
        bool bInlineValue = false;
        std::string::size_type eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            bInlineValue = true;
        }
        if (name == "port") {
            if (!bInlineValue) {
                if (i + 1 >= argc) {
                    m_strError = "--port needs a port name";
                    return false;
                }
                value = argv[++i];
            }
            m_strPort = value;
            m_bPortGiven = true;
        } else if (name == "history") {
            if (!bInlineValue) {
                if (i + 1 >= argc) {
                    m_strError = "--history needs a file or a postgresql:// address";
                    return false;
                }
                value = argv[++i];
            }
            m_strHistory = value;
            m_bHistoryGiven = true;
        } else if (name == "simulate" && !bInlineValue) {
            m_bSimulate = true;
        } else if (name == "no-splash" && !bInlineValue) {
            m_bShowSplash = false;
        } else if (name == "measure-startup" && !bInlineValue) {
            m_bMeasureStartup = true;
        } else if ((name == "help" || name == "h") && !bInlineValue) {
            m_bHelp = true;
        } else if (name == "version" && !bInlineValue) {
            m_bVersion = true;
        } else if (const QtOption* qt = FindQtOption(name)) {
            if (qt->bValue && !bInlineValue) {
                ++i; // the user-interface layer reads the value itself
            }
        } else {
            m_strError = "unknown option " + arg;
            return false;
        }
    }
    if (m_bSimulate && m_bPortGiven) {
        m_strError = "--port and --simulate cannot be used together";
        return false;
    }
    return true;
}

std::string CCommandLineInfo::Usage(const std::string& strProgram) {
    return "Usage: " + strProgram +
           " [--port NAME] [--simulate] [--history TARGET] [--no-splash] [--measure-startup]\n"
           "   or: " +
           strProgram +
           " --help | --version\n"
           "  --port NAME        use this serial port for this run (COMn or a device path);\n"
           "                     it is remembered at exit like a choice in Serial Port Settings\n"
           "  --simulate         run on the built-in simulated analyser line (nodes 1-12)\n"
           "  --history TARGET   record the history for this run in this SQLite file or\n"
           "                     postgresql:// database instead of the one in History Settings\n"
           "  --no-splash        start without the splash screen\n"
           "  --measure-startup  print the time to the main window and end\n"
           "  --help             print this text and end\n"
           "  --version          print the version and end\n"
           "File names on the command line are ignored.\n";
}
